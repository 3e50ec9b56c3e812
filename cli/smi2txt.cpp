// smi2txt: the subtitle filter from the command line, for batch use on Linux and Windows.
#include "console_text.h"
#include "conversion_state.h"
#include "convert_file.h"
#include "output_file.h"
#include "velmora_version.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// As GNU programs print it: the name and version, then the licence.
static const char VERSION_TEXT[] = "smi2txt (Velmora) " VELMORA_VERSION "\nLicense: MIT\n";
static const char USAGE_TEXT[] =
    "Usage: smi2txt [--sync] [--class NAME] [-u | --from ENCODING] INPUT [-o OUTPUT]\n"
    "       smi2txt [--sync] [--class NAME] [-u | --from ENCODING] INPUT1 INPUT2 ...\n"
    "       smi2txt --classes INPUT...\n"
    "Extract the text of SAMI subtitle files (.smi), byte for byte in their own encoding\n"
    "(UTF-16 files are written back as UTF-16).\n"
    "To get UTF-8 whatever the encoding, give -u (a UTF-8 terminal gets it without).\n"
    "\n"
    "  -u, --utf8    write the text in UTF-8, the input's encoding found by itself\n"
    "  --from ENCODING  read the input as ENCODING (cp949, shift_jis...), write UTF-8\n"
    "  --sync        one line per subtitle, opened by its start time (HH :MM :SS)\n"
    "  --class NAME  only the text of paragraphs of class NAME (<P Class=NAME>), such as\n"
    "                ENCC or KRCC in a bilingual file; a file with none is an error\n"
    "  --classes     list the classes the paragraphs use (NAME, a tab, how many P tags)\n"
    "  -o OUTPUT     write OUTPUT instead of standard output (one INPUT only)\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "With one INPUT the text goes to standard output; '-' reads standard input.\n"
    "With several, each INPUT.smi is written beside it as INPUT.txt.\n"
    "Example: smi2txt --sync -u --class KRCC movie.smi -o movie.ko.txt\n"
    "Exit status: 0 when every file was converted, 1 when any failed, 2 on a usage error.\n";

constexpr int EXIT_CONVERTED = 0;
constexpr int EXIT_FILE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// What the command line asked for.
struct CommandLine {
    ConversionMode mode;
    std::vector<std::string> inputs;
    std::string output; // empty: standard output, or beside each input when there are several
    bool has_output;
    std::string chosen_class;    // empty: the text of every paragraph
    bool list_classes;           // --classes: list, convert nothing
    bool utf8_output;            // -u: UTF-8 whatever the input's encoding
    std::string source_encoding; // --from: the input's encoding; empty: found by itself
};

static CommandLine command_line;

static const std::string STANDARD_OUTPUT_NAME = "standard output";

/* ReportError
 *     Prints «smi2txt: NAME: reason» on standard error. */
static void ReportError(const std::string &name, const char *reason)
{
    fprintf(stderr, "smi2txt: %s: %s\n", name.c_str(), reason);
}

static int ReportUsageError(const char *what, const std::string &argument)
{
    fprintf(stderr, "smi2txt: %s%s\nTry 'smi2txt --help' for more information.\n", what,
            argument.c_str());
    return EXIT_USAGE;
}

/* RemoveTempFileAndExit
 *     On SIGINT or SIGTERM: the half-written temporary file goes, the target stays as it was. */
static void RemoveTempFileAndExit(int signal_number)
{
    RemoveTempFile();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

/* ParseCommandLine
 *     Fills command_line; returns -1 to go on, or the exit status for help, version and
 *     usage errors. */
static int ParseCommandLine(int argc, char **argv)
{
    bool options_ended = false;
    for (int k = 1; k < argc; k++) {
        std::string argument = argv[k];
        if (options_ended || argument == "-" || argument.empty() || argument[0] != '-') {
            command_line.inputs.push_back(argument);
        } else if (argument == "--") {
            options_ended = true;
        } else if (argument == "--sync") {
            command_line.mode = ConversionMode::Sync;
        } else if (argument == "--help") {
            fputs(USAGE_TEXT, stdout);
            return fflush(stdout) == 0 ? EXIT_CONVERTED : EXIT_FILE_FAILED;
        } else if (argument == "--version") {
            fputs(VERSION_TEXT, stdout);
            return fflush(stdout) == 0 ? EXIT_CONVERTED : EXIT_FILE_FAILED;
        } else if (argument == "--class") {
            if (k + 1 >= argc)
                return ReportUsageError("option requires an argument: ", argument);
            if (!command_line.chosen_class.empty())
                return ReportUsageError("only one class may be given", "");
            command_line.chosen_class = argv[++k];
            if (command_line.chosen_class.empty())
                return ReportUsageError("the class name is empty", "");
            if (command_line.chosen_class.size() >= CLASS_NAME_SIZE)
                return ReportUsageError("the class name is too long: ", command_line.chosen_class);
        } else if (argument == "--classes") {
            command_line.list_classes = true;
        } else if (argument == "-u" || argument == "--utf8") {
            command_line.utf8_output = true;
        } else if (argument == "--from") {
            if (k + 1 >= argc)
                return ReportUsageError("option requires an argument: ", argument);
            command_line.source_encoding = argv[++k];
            if (!IsReadableEncoding(command_line.source_encoding.c_str()))
                return ReportUsageError("unknown encoding: ", command_line.source_encoding);
        } else if (argument == "-o" || argument == "--output") {
            if (k + 1 >= argc)
                return ReportUsageError("option requires an argument: ", argument);
            if (command_line.has_output)
                return ReportUsageError("only one output may be given", "");
            command_line.output = argv[++k];
            command_line.has_output = true;
            if (command_line.output.empty())
                return ReportUsageError("the output name is empty", "");
        } else {
            return ReportUsageError("unknown option: ", argument);
        }
    }
    if (command_line.inputs.empty())
        return ReportUsageError("no input file given", "");
    if (command_line.inputs.size() > 1 && command_line.has_output)
        return ReportUsageError("-o takes a single input", "");
    if (command_line.list_classes &&
        (command_line.has_output || command_line.mode == ConversionMode::Sync ||
         !command_line.chosen_class.empty()))
        return ReportUsageError("--classes converts nothing: it takes no --sync, --class or -o",
                                "");
    for (const std::string &input : command_line.inputs) {
        if (input == "-" && command_line.inputs.size() > 1)
            return ReportUsageError("'-' cannot be converted beside other inputs", "");
        if (input.empty())
            return ReportUsageError("an input name is empty", "");
    }
    return -1;
}

/* ChooseUtf8Output
 *     Whether the text is written in UTF-8: -u or --from asks for it, and so does a terminal
 *     that shows it (a Windows console always); a file or a pipe gets the input's bytes. */
static bool ChooseUtf8Output()
{
    if (command_line.utf8_output || !command_line.source_encoding.empty())
        return true;
    bool to_standard_output = command_line.inputs.size() == 1 && !command_line.has_output;
    return to_standard_output && !command_line.list_classes && StandardOutputShowsUtf8();
}

/* ReportInvalidBytes
 *     Says once for input how many of its bytes were not valid in its encoding. */
static void ReportInvalidBytes(const std::string &input)
{
    long long count = decoding_report.invalid_bytes;
    if (count == 0)
        return;
    fprintf(stderr, "smi2txt: %s: %lld %s not valid %s; each sequence written as U+FFFD\n",
            input.c_str(), count, count == 1 ? "byte is" : "bytes are",
            decoding_report.encoding_name);
}

/* ReplaceExtension
 *     The name beside an input: its extension replaced by .txt (added when it has none). */
static std::string ReplaceExtension(const std::string &input)
{
    size_t name_start = input.find_last_of("/\\");
    name_start = name_start == std::string::npos ? 0 : name_start + 1;
    size_t dot = input.rfind('.');
    if (dot == std::string::npos || dot <= name_start)
        return input + ".txt";
    return input.substr(0, dot) + ".txt";
}

/* OpenInput
 *     Opens the input, a file or standard input ('-'), and looks at its first bytes. */
static ConversionOutcome OpenInput(const std::string &input)
{
    if (input == "-")
        return OpenStandardInput();
    return OpenSubtitle(input.c_str());
}

/* NameClasses
 *     «classes: ENCC, KRCC», the classes of the file just read in alphabetical order, or
 *     «no classes». */
static std::string NameClasses()
{
    std::vector<std::string> names;
    for (int k = 0; k < class_list.length; k++)
        names.push_back(class_list.classes[k].name);
    if (names.empty())
        return "no classes";
    std::sort(names.begin(), names.end());
    std::string text = "classes: ";
    for (size_t k = 0; k < names.size(); k++)
        text += (k == 0 ? "" : ", ") + names[k];
    return text;
}

/* ReportOutcome
 *     Explains why converting input into output (a file, or standard output when empty)
 *     failed. Returns whether it succeeded. */
static bool ReportOutcome(ConversionOutcome outcome, const std::string &input,
                          const std::string &output)
{
    const std::string &output_name = output.empty() ? STANDARD_OUTPUT_NAME : output;
    switch (outcome) {
    case ConversionOutcome::Succeeded: return true;
    case ConversionOutcome::CannotOpenInput: ReportError(input, std::strerror(errno)); break;
    case ConversionOutcome::OutputIsInput:
        if (output.empty())
            ReportError(input, "the input file is also standard output");
        else
            ReportError(output, "is the input file itself; choose another output");
        break;
    case ConversionOutcome::CannotCreateOutput:
    case ConversionOutcome::WriteFailed: ReportError(output_name, std::strerror(errno)); break;
    case ConversionOutcome::ReadFailed:
        ReportError(input, errno != 0 ? std::strerror(errno) : "read error");
        break;
    case ConversionOutcome::NoSyncTag:
        ReportError(input, "no SYNC tag: not a SAMI subtitle");
        break;
    case ConversionOutcome::NoParagraphOfClass:
        ReportError(input, ("no paragraph of class " + command_line.chosen_class + " (" +
                            NameClasses() + ")")
                               .c_str());
        break;
    }
    return false;
}

/* ConvertToStandardOutput
 *     Converts one input to standard output. Returns whether it succeeded. */
static bool ConvertToStandardOutput(const std::string &input)
{
    ConversionOutcome outcome = OpenInput(input);
    if (outcome == ConversionOutcome::Succeeded)
        outcome = ConvertIntoStandardOutput(command_line.mode);
    bool read = ReportOutcome(outcome, input, "");
    if (read)
        ReportInvalidBytes(input);
    if (outcome != ConversionOutcome::Succeeded && outcome != ConversionOutcome::ReadFailed)
        return false;
    // Once the conversion ran, what standard output still holds is written, failed read or not.
    bool written = fflush(stdout) == 0 && !ferror(stdout);
    if (!written)
        ReportError(STANDARD_OUTPUT_NAME, errno != 0 ? std::strerror(errno) : "write error");
    return read && written;
}

/* ConvertToFile
 *     Converts one input into output, replacing it only when everything succeeded.
 *     Returns whether it succeeded. */
static bool ConvertToFile(const std::string &input, const std::string &output)
{
    ConversionOutcome outcome = OpenInput(input);
    if (outcome == ConversionOutcome::Succeeded)
        outcome = ConvertIntoFile(output.c_str(), command_line.mode);
    bool converted = ReportOutcome(outcome, input, output);
    if (converted)
        ReportInvalidBytes(input);
    return converted;
}

/* ListClasses
 *     Prints the classes of input's P tags, «NAME<TAB>COUNT» a line, after a line «INPUT:»
 *     when there are several inputs. Returns whether it could read input. */
static bool ListClasses(const std::string &input)
{
    ConversionOutcome outcome = OpenInput(input);
    if (outcome == ConversionOutcome::Succeeded)
        outcome = ListSubtitleClasses();
    if (!ReportOutcome(outcome, input, ""))
        return false;
    if (command_line.inputs.size() > 1)
        printf("%s:\n", input.c_str());
    for (int k = 0; k < class_list.length; k++)
        printf("%s\t%ld\n", class_list.classes[k].name, class_list.classes[k].count);
    bool written = fflush(stdout) == 0 && !ferror(stdout);
    if (!written)
        ReportError(STANDARD_OUTPUT_NAME, errno != 0 ? std::strerror(errno) : "write error");
    return written;
}

int main(int argc, char **argv)
{
    command_line.mode = ConversionMode::Plain;
    int status = ParseCommandLine(argc, argv);
    if (status >= 0)
        return status;

    std::signal(SIGINT, RemoveTempFileAndExit);
    std::signal(SIGTERM, RemoveTempFileAndExit);

    std::strcpy(conversion_state.options.chosen_class, command_line.chosen_class.c_str());
    conversion_state.options.utf8_output = ChooseUtf8Output();
    std::snprintf(conversion_state.options.source_encoding,
                  sizeof conversion_state.options.source_encoding, "%s",
                  command_line.source_encoding.c_str());
    bool all_converted = true;
    if (command_line.list_classes) {
        for (const std::string &input : command_line.inputs)
            all_converted = ListClasses(input) && all_converted;
    } else if (command_line.inputs.size() == 1 && !command_line.has_output) {
        all_converted = ConvertToStandardOutput(command_line.inputs[0]);
    } else if (command_line.has_output) {
        all_converted = ConvertToFile(command_line.inputs[0], command_line.output);
    } else {
        for (const std::string &input : command_line.inputs)
            all_converted = ConvertToFile(input, ReplaceExtension(input)) && all_converted;
    }
    return all_converted ? EXIT_CONVERTED : EXIT_FILE_FAILED;
}
