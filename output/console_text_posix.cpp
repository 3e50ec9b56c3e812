// On Linux and other POSIX systems the locale says which encoding text is read in.
#include "console_text.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <string>

bool WritesUtf8ByDefault(bool)
{
    // The user's locale is asked for only here: everything else reads bytes in the C locale.
    std::string previous = std::setlocale(LC_CTYPE, nullptr);
    bool utf8 =
        std::setlocale(LC_CTYPE, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, previous.c_str());
    return utf8;
}

bool WriteTextToConsole()
{
    return false; // a terminal reads the bytes of standard output
}
