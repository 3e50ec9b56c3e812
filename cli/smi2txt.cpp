// smi2txt: the subtitle filter from the command line, for batch use on Linux and Windows.
#include "console_text.h"
#include "conversion.h"
#include "convert_file.h"
#include "convert_into_folder.h"
#include "cue_path.h"
#include "output_file.h"
#include "velmora_version.h"
#if defined(_WIN32)
#include "windows_arguments.h"
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

// Which encoding comes out, in one sentence: the rule differs between the platforms.
#if defined(_WIN32)
#define ENCODING_RULE                                                                              \
    "Text and sync are UTF-8 on a console or with -u, else (or with --keep-encoding) the\n"        \
    "input's own bytes and encoding; srt, vtt, tsv and json are always UTF-8.\n"
#else
#define ENCODING_RULE                                                                              \
    "Text and sync are UTF-8 under a UTF-8 locale or with -u, else (or with --keep-encoding)\n"    \
    "the input's own bytes and encoding; srt, vtt, tsv and json are always UTF-8.\n"
#endif

// As GNU programs print it: the name and version, then the licence.
static const char VERSION_TEXT[] = "smi2txt (Velmora) " VELMORA_VERSION "\nLicense: MIT\n";
static const char USAGE_TEXT[] =
    "Usage: smi2txt [OPTION]... [INPUT]...\n"
    "       smi2txt --classes INPUT...\n"
    "Extract the text of SAMI subtitle files (.smi).\n" ENCODING_RULE "\n"
    "      --format=FORMAT  what to write (txt by default):\n"
    "                         txt   the text, markup removed\n"
    "                         sync  one line per subtitle behind its start (HH :MM :SS)\n"
    "                         srt   SubRip cues, start and end to the millisecond\n"
    "                         vtt   WebVTT cues\n"
    "                         tsv   start, end (ms), class and text, a row per paragraph\n"
    "                         json  the rows of tsv as JSON Lines\n"
    "      --sync           the same as --format=sync\n"
    "      --class=NAME     only the text of paragraphs of class NAME (<P Class=NAME>), such\n"
    "                       as ENCC or KRCC in a bilingual file; a file with none is an error;\n"
    "                       NAME,NAME... keeps several, in that order with --merge-classes\n"
    "      --merge-classes  sync and the timed formats: one cue per moment holding every\n"
    "                       class on screen then (both languages at once), in UTF-8\n"
    "      --classes        list the classes the paragraphs use (NAME, a tab, how many P tags)\n"
    "      --no-styles      srt and vtt without the italic, bold, underline and colour of the\n"
    "                       subtitle's <i>, <b>, <u> and <font color> tags\n"
    "  -u, --utf8           write UTF-8, the input's encoding found by itself\n"
    "      --from=ENCODING  read the input as ENCODING (cp949, shift_jis...), write UTF-8\n"
    "      --keep-encoding  write the input's own bytes (UTF-16 as UTF-16), not UTF-8\n"
    "  -o, --output=FILE    write FILE, replacing it (one INPUT only)\n"
    "  -d, --output-dir=DIR write each INPUT into DIR\n"
    "  -f, --force          replace files that exist in DIR or beside the inputs\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Where it goes: several INPUTs, or -d: files; one INPUT: standard output.\n"
    "Files are named after each INPUT: NAME.txt (txt, sync), NAME.srt, NAME.vtt, NAME.tsv,\n"
    "NAME.jsonl, with --class ENCC NAME.encc.srt, with --class ENCC,KRCC NAME.encc+krcc.srt.\n"
    "A file that exists is not replaced\n"
    "without --force. With no INPUT, or '-', standard input is read.\n"
    "\n"
    "Examples:\n"
    "  smi2txt movie.smi                          the text to standard output\n"
    "  smi2txt --sync movie.smi -o movie.txt      stamped lines into movie.txt\n"
    "  smi2txt -u --sync movie.smi > movie.txt    the same in UTF-8, from CP949 or any encoding\n"
    "  smi2txt --format=srt --class=ENCC *.smi    NAME.encc.srt beside each subtitle\n"
    "  smi2txt --format=vtt -d subs movie.smi     subs/movie.vtt\n"
    "  smi2txt --format=tsv movie.smi             a table to pivot by class\n"
    "  smi2txt --format=json < movie.smi          JSON Lines from standard input\n"
    "  smi2txt --format=srt --merge-classes m.smi both languages in each cue\n"
    "Exit status: 0 when every file was converted, 1 when any failed, 2 on a usage error.\n";

constexpr int EXIT_CONVERTED = 0;
constexpr int EXIT_FILE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// What --format takes, and what each writes and names its files.
struct OutputFormat {
    const char *name;
    ConversionMode mode;
    CueFormat cue_format;
    const char *extension;
};
static const OutputFormat OUTPUT_FORMATS[] = {
    {"txt", ConversionMode::Plain, CueFormat::None, ".txt"},
    {"sync", ConversionMode::Sync, CueFormat::None, ".txt"},
    {"srt", ConversionMode::Sync, CueFormat::Srt, ".srt"},
    {"vtt", ConversionMode::Sync, CueFormat::Vtt, ".vtt"},
    {"tsv", ConversionMode::Sync, CueFormat::Tsv, ".tsv"},
    {"json", ConversionMode::Sync, CueFormat::Json, ".jsonl"},
};

// What the command line asked for.
struct CommandLine {
    const OutputFormat *format; // nullptr until --format or --sync names one
    std::vector<std::string> inputs;
    std::string output; // -o: the one output file
    bool has_output;
    std::string output_dir; // -d: where each input's file goes
    bool has_output_dir;
    bool force;                  // files that exist are replaced in batch and -d mode
    std::string chosen_class;    // empty: the text of every paragraph
    bool list_classes;           // --classes: list, convert nothing
    bool utf8_output;            // -u: UTF-8 whatever the input's encoding
    bool keep_encoding;          // --keep-encoding: the input's bytes whatever the locale
    bool drops_styles;           // --no-styles: srt and vtt as plain text
    bool merges_classes;         // --merge-classes: one cue per moment, every class in it
    std::string source_encoding; // --from: the input's encoding; empty: found by itself
};

static CommandLine command_line;

static const std::string STANDARD_OUTPUT_NAME = "standard output";

// Options without a short form.
enum LongOption {
    OPTION_SYNC = 256,
    OPTION_FORMAT,
    OPTION_CLASS,
    OPTION_CLASSES,
    OPTION_VERSION,
    OPTION_FROM,
    OPTION_KEEP_ENCODING,
    OPTION_NO_STYLES,
    OPTION_MERGE_CLASSES,
};

// Short options: the letters of the table below; a colon after one that takes an argument.
static const char SHORT_OPTIONS[] = ":o:d:fhu";
static const struct option LONG_OPTIONS[] = {
    {"format", required_argument, nullptr, OPTION_FORMAT},
    {"sync", no_argument, nullptr, OPTION_SYNC},
    {"class", required_argument, nullptr, OPTION_CLASS},
    {"classes", no_argument, nullptr, OPTION_CLASSES},
    {"output", required_argument, nullptr, 'o'},
    {"output-dir", required_argument, nullptr, 'd'},
    {"force", no_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {"utf8", no_argument, nullptr, 'u'},
    {"from", required_argument, nullptr, OPTION_FROM},
    {"keep-encoding", no_argument, nullptr, OPTION_KEEP_ENCODING},
    {"no-styles", no_argument, nullptr, OPTION_NO_STYLES},
    {"merge-classes", no_argument, nullptr, OPTION_MERGE_CLASSES},
    {"version", no_argument, nullptr, OPTION_VERSION},
    {nullptr, 0, nullptr, 0},
};

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

static int PrintText(const char *text)
{
    fputs(text, stdout);
    return fflush(stdout) == 0 ? EXIT_CONVERTED : EXIT_FILE_FAILED;
}

/* ChooseFormat
 *     Chooses the format named: -1 to go on, or the usage status when there is none of that
 *     name or another was chosen. */
static int ChooseFormat(const std::string &name)
{
    for (const OutputFormat &format : OUTPUT_FORMATS) {
        if (name != format.name)
            continue;
        if (command_line.format != nullptr && command_line.format != &format)
            return ReportUsageError("only one format may be given", "");
        command_line.format = &format;
        return -1;
    }
    return ReportUsageError("unknown format (txt, sync, srt, vtt, tsv or json): ", name);
}

/* TakeClassList
 *     --class's argument: one name, or names separated by commas, none empty or given twice
 *     (in any case); -1 to go on, or the usage status. */
static int TakeClassList(const std::string &list)
{
    if (list.size() >= CLASS_NAME_SIZE)
        return ReportUsageError("the class name is too long: ", list);
    std::vector<std::string> names;
    for (size_t from = 0;;) {
        size_t comma = list.find(',', from);
        std::string name = list.substr(from, comma == std::string::npos ? comma : comma - from);
        if (name.empty())
            return ReportUsageError("the class name is empty", "");
        for (const std::string &before : names)
            if (SameClassName(before.c_str(), name.c_str()))
                return ReportUsageError("a class is listed twice: ", name);
        names.push_back(name);
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    command_line.chosen_class = list;
    return -1;
}

/* TakeOption
 *     One option getopt_long returned, its argument in argument; -1 to go on, or the exit
 *     status for help, version and usage errors. */
static int TakeOption(int option, const char *argument, const char *as_written)
{
    switch (option) {
    case OPTION_SYNC: return ChooseFormat("sync");
    case OPTION_FORMAT: return ChooseFormat(argument);
    case OPTION_CLASS:
        if (!command_line.chosen_class.empty())
            return ReportUsageError("only one class may be given", "");
        return TakeClassList(argument);
    case OPTION_CLASSES: command_line.list_classes = true; return -1;
    case 'o':
        if (command_line.has_output)
            return ReportUsageError("only one output may be given", "");
        command_line.output = argument;
        command_line.has_output = true;
        if (command_line.output.empty())
            return ReportUsageError("the output name is empty", "");
        return -1;
    case 'd':
        if (command_line.has_output_dir)
            return ReportUsageError("only one output folder may be given", "");
        command_line.output_dir = argument;
        command_line.has_output_dir = true;
        if (command_line.output_dir.empty())
            return ReportUsageError("the output folder name is empty", "");
        return -1;
    case 'f': command_line.force = true; return -1;
    case 'u': command_line.utf8_output = true; return -1;
    case OPTION_FROM:
        command_line.source_encoding = argument;
        if (!IsReadableEncoding(argument))
            return ReportUsageError("unknown encoding: ", command_line.source_encoding);
        return -1;
    case OPTION_KEEP_ENCODING: command_line.keep_encoding = true; return -1;
    case OPTION_NO_STYLES: command_line.drops_styles = true; return -1;
    case OPTION_MERGE_CLASSES: command_line.merges_classes = true; return -1;
    case 'h': return PrintText(USAGE_TEXT);
    case OPTION_VERSION: return PrintText(VERSION_TEXT);
    case ':': return ReportUsageError("option requires an argument: ", as_written);
    default: return ReportUsageError("unknown option: ", as_written);
    }
}

/* CheckCommandLine
 *     The options and inputs together; -1 when they make sense, else the usage status. */
static int CheckCommandLine()
{
    if (command_line.inputs.empty()) {
        if (isatty(fileno(stdin)))
            return ReportUsageError("no input file given", "");
        command_line.inputs.push_back("-");
    }
    if (command_line.inputs.size() > 1 && command_line.has_output)
        return ReportUsageError("-o takes a single input", "");
    if (command_line.has_output && command_line.has_output_dir)
        return ReportUsageError("-o and -d cannot be given together", "");
    if (command_line.list_classes &&
        (command_line.has_output || command_line.has_output_dir || command_line.format != nullptr ||
         !command_line.chosen_class.empty()))
        return ReportUsageError(
            "--classes converts nothing: it takes no --format, --sync, --class, -o or -d", "");
    if (command_line.list_classes && command_line.merges_classes)
        return ReportUsageError("--classes converts nothing: it takes no --merge-classes", "");
    if (command_line.merges_classes &&
        (command_line.format == nullptr || command_line.format == &OUTPUT_FORMATS[0]))
        return ReportUsageError("--merge-classes needs times: txt has none; use --sync or "
                                "--format=srt, vtt, tsv or json",
                                "");
    if (command_line.merges_classes && command_line.keep_encoding)
        return ReportUsageError("--merge-classes writes UTF-8: it takes no --keep-encoding", "");
    if (command_line.keep_encoding && command_line.utf8_output)
        return ReportUsageError("--keep-encoding and -u cannot be given together", "");
    if (command_line.keep_encoding && !command_line.source_encoding.empty())
        return ReportUsageError("--keep-encoding and --from cannot be given together", "");
    if (command_line.keep_encoding && command_line.format != nullptr &&
        command_line.format->cue_format != CueFormat::None)
        return ReportUsageError("--keep-encoding is for txt and sync: srt, vtt, tsv and json are "
                                "always UTF-8",
                                "");
    for (const std::string &input : command_line.inputs) {
        if (input == "-" && command_line.inputs.size() > 1)
            return ReportUsageError("'-' cannot be converted beside other inputs", "");
        if (input == "-" && command_line.has_output_dir)
            return ReportUsageError("standard input has no name to write into a folder; use -o",
                                    "");
        if (input.empty())
            return ReportUsageError("an input name is empty", "");
    }
    if (command_line.format == nullptr)
        command_line.format = &OUTPUT_FORMATS[0];
    return -1;
}

/* ChooseUtf8Output
 *     Whether the text is written in UTF-8: -u or --from asks for it, --keep-encoding for the
 *     input's bytes; else a UTF-8 locale (on Windows a console) decides. */
static bool ChooseUtf8Output()
{
    if (command_line.utf8_output || !command_line.source_encoding.empty() ||
        command_line.merges_classes)
        return true;
    if (command_line.format->cue_format != CueFormat::None)
        return true; // the timed formats are UTF-8
    if (command_line.keep_encoding || command_line.list_classes)
        return false;
    bool to_standard_output =
        command_line.inputs.size() == 1 && !command_line.has_output && !command_line.has_output_dir;
    return WritesUtf8ByDefault(to_standard_output);
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

/* ParseCommandLine
 *     Fills command_line; returns -1 to go on, or the exit status for help, version and
 *     usage errors. Options and inputs may mix; "--" ends the options. */
static int ParseCommandLine(int argc, char **argv)
{
    opterr = 0; // errors are reported in this program's own words
    for (;;) {
        int option = getopt_long(argc, argv, SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        if (option == -1)
            break;
        // What the user wrote, for a message: a short option's letter, else the word.
        std::string as_written = optopt > 0 && optopt < 256
                                     ? std::string("-") + static_cast<char>(optopt)
                                     : std::string(argv[optind - 1]);
        int status = TakeOption(option, optarg, as_written.c_str());
        if (status >= 0)
            return status;
    }
    for (int k = optind; k < argc; k++)
        command_line.inputs.push_back(argv[k]);
    return CheckCommandLine();
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

/* DescribeCueFailure
 *     Why the cues of the file just read were not written. */
static const char *DescribeCueFailure()
{
    switch (FailedCues()) {
    case CueFailure::CueTooLong: return "a subtitle holds more than 64 KiB of text";
    case CueFailure::TooManyHeld:
        return "its starts go back, and its subtitles hold more than 64 MiB of text to put in "
               "order";
    case CueFailure::StartsWentBack:
        return "a start goes back behind subtitles already written (after 1 MiB of them); "
               "convert from a file into a file (-o, -d) to put them in order";
    case CueFailure::ClassesFirst:
        return "merged tsv names every class before its first row, so the input is read twice: "
               "convert a file, not a pipe or standard input";
    default: return "the subtitles could not be written";
    }
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
    case ConversionOutcome::CuesFailed: ReportError(input, DescribeCueFailure()); break;
    case ConversionOutcome::NoParagraphOfClass: {
        char missed[CLASS_NAME_SIZE];
        if (!MissedClassName(missed))
            std::strcpy(missed, command_line.chosen_class.c_str());
        ReportError(
            input,
            ("no paragraph of class " + std::string(missed) + " (" + NameClasses() + ")").c_str());
        break;
    }
    }
    return false;
}

/* ConvertToStandardOutput
 *     Converts one input to standard output. Returns whether it succeeded. */
static bool ConvertToStandardOutput(const std::string &input)
{
    ConversionOutcome outcome = OpenInput(input);
    if (outcome == ConversionOutcome::Succeeded)
        outcome = ConvertIntoStandardOutput(command_line.format->mode);
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
        outcome = ConvertIntoFile(output.c_str(), command_line.format->mode);
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

/* ConvertBesideInput
 *     Converts one input of a batch or -d into the file named after it, which must not exist
 *     unless --force. Returns whether it succeeded. */
static bool ConvertBesideInput(const std::string &input)
{
    FolderChoices choices = {command_line.has_output_dir ? command_line.output_dir : "",
                             command_line.chosen_class,
                             command_line.format->extension,
                             command_line.format->mode,
                             command_line.force,
                             false};
    FolderResult result = ConvertIntoFolder(input, choices);
    if (result.skipped) {
        ReportError(result.output, "exists; use --force to replace it");
        return false;
    }
    bool converted = ReportOutcome(result.outcome, input, result.output);
    if (converted)
        ReportInvalidBytes(input);
    return converted;
}

/* ChooseOptions
 *     Hands what the command line chose to the filter. */
static void ChooseOptions()
{
    ConversionState::Options &options = conversion_state.options;
    std::strcpy(options.chosen_class, command_line.chosen_class.c_str());
    options.cue_format = command_line.format->cue_format;
    options.utf8_output = ChooseUtf8Output();
    options.drops_styles = command_line.drops_styles;
    options.merges_classes = command_line.merges_classes;
    std::snprintf(options.source_encoding, sizeof options.source_encoding, "%s",
                  command_line.source_encoding.c_str());
}

int main(int argc, char **argv)
{
#if defined(_WIN32)
    argv = ReadWindowsArguments(&argc);
    if (argv == nullptr)
        return EXIT_FILE_FAILED;
#endif
    int status = ParseCommandLine(argc, argv);
    if (status >= 0)
        return status;

    std::signal(SIGINT, RemoveTempFileAndExit);
    std::signal(SIGTERM, RemoveTempFileAndExit);

    ChooseOptions();
    bool all_converted = true;
    if (command_line.list_classes) {
        for (const std::string &input : command_line.inputs)
            all_converted = ListClasses(input) && all_converted;
    } else if (command_line.has_output) {
        all_converted = ConvertToFile(command_line.inputs[0], command_line.output);
    } else if (command_line.inputs.size() == 1 && !command_line.has_output_dir) {
        all_converted = ConvertToStandardOutput(command_line.inputs[0]);
    } else {
        for (const std::string &input : command_line.inputs)
            all_converted = ConvertBesideInput(input) && all_converted;
    }
    return all_converted ? EXIT_CONVERTED : EXIT_FILE_FAILED;
}
