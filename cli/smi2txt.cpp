// smi2txt: the subtitle filter from the command line, for batch use on Linux and Windows.
#include "conversion_state.h"
#include "convert_file.h"
#include "output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static const char VERSION_TEXT[] = "smi2txt (Velmora) 1.1\n";
static const char USAGE_TEXT[] =
    "Usage: smi2txt [--sync] INPUT [-o OUTPUT]\n"
    "       smi2txt [--sync] INPUT1 INPUT2 ...\n"
    "Extract the text of SAMI subtitle files (.smi), byte for byte in their own encoding.\n"
    "\n"
    "  --sync        one line per subtitle, opened by its start time (HH :MM :SS)\n"
    "  -o OUTPUT     write OUTPUT instead of standard output (one INPUT only)\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "With one INPUT the text goes to standard output; '-' reads standard input.\n"
    "With several, each INPUT.smi is written beside it as INPUT.txt.\n"
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
    for (const std::string &input : command_line.inputs) {
        if (input == "-" && command_line.inputs.size() > 1)
            return ReportUsageError("'-' cannot be converted beside other inputs", "");
        if (input.empty())
            return ReportUsageError("an input name is empty", "");
    }
    return -1;
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
    case ConversionOutcome::Utf16Refused:
        ReportError(input, "UTF-16 files are not supported; save the subtitle as UTF-8 or in "
                           "its legacy code page first");
        break;
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
    return ReportOutcome(outcome, input, output);
}

int main(int argc, char **argv)
{
    command_line.mode = ConversionMode::Plain;
    int status = ParseCommandLine(argc, argv);
    if (status >= 0)
        return status;

    std::signal(SIGINT, RemoveTempFileAndExit);
    std::signal(SIGTERM, RemoveTempFileAndExit);

    bool all_converted = true;
    if (command_line.inputs.size() == 1 && !command_line.has_output) {
        all_converted = ConvertToStandardOutput(command_line.inputs[0]);
    } else if (command_line.has_output) {
        all_converted = ConvertToFile(command_line.inputs[0], command_line.output);
    } else {
        for (const std::string &input : command_line.inputs)
            all_converted = ConvertToFile(input, ReplaceExtension(input)) && all_converted;
    }
    return all_converted ? EXIT_CONVERTED : EXIT_FILE_FAILED;
}
