// A batch's one file: its name, the file that exists left alone, the conversion into it.
#include "convert_into_folder.h"

#include "output_file.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#endif

/* NameOutputFile
 *     The input's name without its extension, in the chosen folder, with the class and the
 *     format's extension. */
std::string NameOutputFile(const std::string &input, const FolderChoices &choices)
{
    size_t name_start = input.find_last_of("/\\");
    name_start = name_start == std::string::npos ? 0 : name_start + 1;
    size_t dot = input.rfind('.');
    std::string stem = dot == std::string::npos || dot <= name_start ? input : input.substr(0, dot);
    if (!choices.output_dir.empty()) {
        const std::string &folder = choices.output_dir;
        bool ends_in_separator = folder.back() == '/' || folder.back() == '\\';
        stem = folder + (ends_in_separator ? "" : "/") + stem.substr(name_start);
    }
    std::string tag;
    for (char c : choices.chosen_class) {
        bool separator = c == '/' || c == '\\' || c == ':'; // a class names no folder
        if (c == ',')
            tag += '+'; // a list: «movie.encc+krcc.srt»
        else
            tag += separator ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (!tag.empty())
        stem += "." + tag;
    return stem + choices.extension;
}

/* OutputExists
 *     Whether a file or anything else stands at path (UTF-8 on Windows, as every path here). */
static bool OutputExists(const std::string &path)
{
#if defined(_WIN32)
    static wchar_t wide[OUTPUT_PATH_SIZE];
    if (!WidenPath(path.c_str(), wide, OUTPUT_PATH_SIZE))
        return false; // the conversion then says why the name cannot be used
    return GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat info;
    return stat(path.c_str(), &info) == 0;
#endif
}

/* CountWrittenCues
 *     The timing lines of a SubRip or WebVTT file just written: one a cue, each beginning
 *     with a digit and holding " --> ". */
static long CountWrittenCues(const std::string &path)
{
#if defined(_WIN32)
    FILE *stream = OpenPathStream(path.c_str(), "rb");
#else
    FILE *stream = fopen(path.c_str(), "rb");
#endif
    if (stream == nullptr)
        return 0;
    long cues = 0;
    static char line[4096];
    bool line_start = true;
    while (fgets(line, sizeof line, stream) != nullptr) {
        if (line_start && line[0] >= '0' && line[0] <= '9' && std::strstr(line, " --> "))
            cues++;
        line_start = std::strchr(line, '\n') != nullptr;
    }
    fclose(stream);
    return cues;
}

/* ConvertIntoFolder
 *     The existing file is looked for before the input is opened: a skipped file costs no
 *     reading. */
FolderResult ConvertIntoFolder(const std::string &input, const FolderChoices &choices)
{
    FolderResult result = {NameOutputFile(input, choices), false, ConversionOutcome::Succeeded, 0};
    if (!choices.force && OutputExists(result.output)) {
        result.skipped = true;
        return result;
    }
    result.outcome = OpenSubtitle(input.c_str());
    if (result.outcome == ConversionOutcome::Succeeded)
        result.outcome = ConvertIntoFile(result.output.c_str(), choices.mode);
    CueFormat format = conversion_state.options.cue_format;
    if (choices.counts_cues && result.outcome == ConversionOutcome::Succeeded &&
        (format == CueFormat::Srt || format == CueFormat::Vtt))
        result.cues = CountWrittenCues(result.output);
    return result;
}
