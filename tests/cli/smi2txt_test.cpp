// smi2txt run as a user runs it: arguments, standard streams, exit status and the files it
// leaves behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <pty.h>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace
{

const char SUBTITLE[] = "<SAMI><BODY>\n"
                        "<SYNC Start=1000><P Class=ENCC>\nHello<br>\nworld\n"
                        "<SYNC Start=3000><P Class=ENCC>&nbsp;\n"
                        "<SYNC Start=61000><P Class=ENCC>\nBye &amp; <i>thanks</i>\n"
                        "</BODY></SAMI>\n";
const char SUBTITLE_PLAIN[] = "\n\nHello\nworld\n \n\nBye & thanks\n\n";
const char SUBTITLE_SYNC[] = "00 :00 :01  Hello world\n00 :01 :01  Bye & thanks\n";
// Text and tags, but no SYNC tag: Save writes the text, Sync Save refuses it.
const char NOT_SAMI[] = "<HTML><BODY>\n1\n00:00:01,000 --> 00:00:02,000\nHello\n</BODY></HTML>\n";
// «<SYNC Start=1000>Hi» and a CR LF, in UTF-16 LE, and what both modes make of it.
const char UTF16_SUBTITLE[] = "\xFF\xFE<\0S\0Y\0N\0C\0 \0S\0t\0a\0r\0t\0=\0"
                              "1\0000\0000\0000\0>\0H\0i\0\r\0\n\0";
const char UTF16_PLAIN[] = "\xFF\xFEH\0i\0\n\0";
const char UTF16_SYNC[] = "\xFF\xFE"
                          "0\0000\0 \0:\0000\0000\0 \0:\0000\0001\0 \0 \0H\0i\0\n\0";
const char BILINGUAL_SUBTITLE[] = "<SYNC Start=1000><P Class=KRCC>\xBE\xC8\xB3\xE7</P>"
                                  "<P Class=ENCC>Hello</P>\n"
                                  "<SYNC Start=2000><P Class=encc>Bye</P>\n";

struct RunResult {
    int status; // exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    ASSERT_TRUE(file.good()) << path;
}

bool IsCharacterDevice(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISCHR(info.st_mode);
}

class Smi2txtTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        // The subtitle's own bytes come out under a locale that is not UTF-8; the tests of
        // UTF-8 output say so.
        setenv("LC_ALL", "C", 1);
        char pattern[] = "/tmp/velmora-smi2txt-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        work_ = root_ + "/work";
        ASSERT_EQ(mkdir(work_.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        std::string command = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    std::string WorkPath(const std::string &name) const
    {
        return work_ + "/" + name;
    }

    /* RunSmi2txt
     *     Runs the program in the work folder with input on its standard input; standard
     *     output goes to stdout_path when given (opened with stdout_flags); stdin_path
     *     replaces input when given. */
    RunResult RunSmi2txt(const std::vector<std::string> &arguments, const std::string &input = "",
                         const char *stdout_path = nullptr, int stdout_flags = O_WRONLY | O_TRUNC,
                         const char *stdin_path = nullptr)
    {
        std::string in_path = stdin_path != nullptr ? stdin_path : root_ + "/stdin";
        std::string out_path = root_ + "/stdout";
        std::string err_path = root_ + "/stderr";
        if (stdin_path == nullptr)
            WriteFile(in_path, input);
        if (stdout_path == nullptr) {
            stdout_path = out_path.c_str();
            stdout_flags = O_WRONLY | O_CREAT | O_TRUNC;
        }
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(SMI2TXT_PATH));
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);

        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            alarm(20); // survives exec: a hung program ends instead of outliving the test
            int in = open(in_path.c_str(), O_RDONLY);
            int out = open(stdout_path, stdout_flags, 0644);
            int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
                dup2(err, 2) < 0 || chdir(work_.c_str()) != 0)
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        RunResult run{-1, "", ""};
        int wait_status = 0;
        if (child > 0 && waitpid(child, &wait_status, 0) == child) {
            run.status =
                WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
        }
        run.out = ReadFile(out_path);
        run.err = ReadFile(err_path);
        return run;
    }

    /* WorkFiles
     *     The names in the work folder: a leftover temporary file shows up here. */
    std::set<std::string> WorkFiles() const
    {
        std::set<std::string> names;
        DIR *folder = opendir(work_.c_str());
        if (folder == nullptr)
            return names;
        while (dirent *entry = readdir(folder)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(folder);
        return names;
    }

    std::string root_; // holds the work folder and the captured standard streams
    std::string work_; // the program's current folder
};

TEST_F(Smi2txtTest, WritesTextToStandardOutput)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    RunResult plain = RunSmi2txt({"in.smi"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, SUBTITLE_PLAIN);
    EXPECT_EQ(plain.err, "");
    RunResult sync = RunSmi2txt({"--sync", "in.smi"});
    EXPECT_EQ(sync.status, 0);
    EXPECT_EQ(sync.out, SUBTITLE_SYNC);
    EXPECT_EQ(WorkFiles(), std::set<std::string>{"in.smi"});
}

TEST_F(Smi2txtTest, DashReadsStandardInput)
{
    RunResult run = RunSmi2txt({"--sync", "-"}, SUBTITLE);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, SUBTITLE_SYNC);
    RunResult to_file = RunSmi2txt({"-", "-o", "out.txt"}, SUBTITLE);
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(ReadFile(WorkPath("out.txt")), SUBTITLE_PLAIN);
}

TEST_F(Smi2txtTest, OutputOptionWritesFileAndReplacesOldOne)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    WriteFile(WorkPath("out.txt"), "an older and much longer text than the new one\n");
    RunResult run = RunSmi2txt({"in.smi", "--sync", "-o", "out.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(WorkPath("out.txt")), SUBTITLE_SYNC);
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"in.smi", "out.txt"}));
}

// The replaced file keeps its permissions; a new one gets those of any new file.
TEST_F(Smi2txtTest, OutputKeepsPermissions)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    WriteFile(WorkPath("old.txt"), "old\n");
    ASSERT_EQ(chmod(WorkPath("old.txt").c_str(), 0640), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(RunSmi2txt({"in.smi", "-o", "old.txt"}).status, 0);
    EXPECT_EQ(RunSmi2txt({"in.smi", "-o", "new.txt"}).status, 0);
    struct stat info;
    ASSERT_EQ(stat(WorkPath("old.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(WorkPath("new.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666u & ~mask);
}

TEST_F(Smi2txtTest, SeveralInputsAreWrittenBesideThem)
{
    ASSERT_EQ(mkdir(WorkPath("sub.d").c_str(), 0755), 0);
    for (const char *name : {"a.smi", "b.sami", "plain", "sub.d/c.x.smi", "sub.d/d"})
        WriteFile(WorkPath(name), SUBTITLE);
    RunResult run = RunSmi2txt({"--sync", "a.smi", "b.sami", "plain", "sub.d/c.x.smi", "sub.d/d"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    for (const char *name : {"a.txt", "b.txt", "plain.txt", "sub.d/c.x.txt", "sub.d/d.txt"})
        EXPECT_EQ(ReadFile(WorkPath(name)), SUBTITLE_SYNC) << name;
}

/* RealFileNames
 *     The names of the subtitles in the folder of real files other people wrote. */
std::vector<std::string> RealFileNames()
{
    std::vector<std::string> names;
    DIR *folder = opendir(VELMORA_CORPUS_DIR);
    if (folder == nullptr)
        return names;
    while (dirent *entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name.find(".smi") != std::string::npos || name.find(".sami") != std::string::npos)
            names.push_back(name);
    }
    closedir(folder);
    return names;
}

// Files other people wrote convert, UTF-16 ones into UTF-16; Sync Save refuses the SRT under a
// .smi name, which has no SYNC tag, and writes nothing for it.
TEST_F(Smi2txtTest, RealFilesConvert)
{
    std::vector<std::string> names = RealFileNames();
    ASSERT_FALSE(names.empty());
    int converted = 0;
    for (const std::string &name : names) {
        std::string input = std::string(VELMORA_CORPUS_DIR) + "/" + name;
        for (bool sync : {false, true}) {
            std::vector<std::string> arguments{input, "-o", "out.txt"};
            if (sync)
                arguments.push_back("--sync");
            RunResult run = RunSmi2txt(arguments);
            bool refused = sync && name.rfind("trap_srt", 0) == 0;
            EXPECT_EQ(run.status, refused ? 1 : 0) << name << ": " << run.err;
            if (refused) {
                EXPECT_EQ(run.err, "smi2txt: " + input + ": no SYNC tag: not a SAMI subtitle\n");
                EXPECT_TRUE(WorkFiles().empty());
                continue;
            }
            // A UTF-16 subtitle gives UTF-16 text of the same byte order.
            EXPECT_EQ(ReadFile(WorkPath("out.txt")).substr(0, 2) == "\xFF\xFE",
                      ReadFile(input).substr(0, 2) == "\xFF\xFE")
                << name;
            unlink(WorkPath("out.txt").c_str());
        }
        converted++;
    }
    EXPECT_GE(converted, 20);
    EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(Smi2txtTest, FailedInputIsReportedAndOthersConverted)
{
    WriteFile(WorkPath("a.smi"), SUBTITLE);
    WriteFile(WorkPath("wide.smi"), std::string(UTF16_SUBTITLE, sizeof UTF16_SUBTITLE - 1));
    WriteFile(WorkPath("z.smi"), SUBTITLE);
    RunResult run = RunSmi2txt({"a.smi", "missing.smi", "wide.smi", "z.smi"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "smi2txt: missing.smi: " + std::string(strerror(ENOENT)) + "\n");
    EXPECT_EQ(ReadFile(WorkPath("a.txt")), SUBTITLE_PLAIN);
    EXPECT_EQ(ReadFile(WorkPath("wide.txt")), std::string(UTF16_PLAIN, sizeof UTF16_PLAIN - 1));
    EXPECT_EQ(ReadFile(WorkPath("z.txt")), SUBTITLE_PLAIN);
    EXPECT_EQ(WorkFiles(),
              (std::set<std::string>{"a.smi", "a.txt", "wide.smi", "wide.txt", "z.smi", "z.txt"}));

    // A file without a SYNC tag: Sync Save reports it, before a missing class, and writes
    // nothing for it; standard output gets nothing either.
    WriteFile(WorkPath("srt.smi"), NOT_SAMI);
    RunResult sync = RunSmi2txt({"--sync", "--class", "ENCC", "a.smi", "srt.smi", "z.smi"});
    EXPECT_EQ(sync.status, 1);
    EXPECT_EQ(sync.err, "smi2txt: srt.smi: no SYNC tag: not a SAMI subtitle\n");
    EXPECT_EQ(ReadFile(WorkPath("z.encc.txt")), SUBTITLE_SYNC);
    EXPECT_FALSE(WorkFiles().count("srt.encc.txt"));
    // A file that exists is kept unless --force; that input fails and the others go on.
    RunResult kept = RunSmi2txt({"--sync", "a.smi", "z.smi"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "smi2txt: a.txt: exists; use --force to replace it\n"
                        "smi2txt: z.txt: exists; use --force to replace it\n");
    EXPECT_EQ(ReadFile(WorkPath("z.txt")), SUBTITLE_PLAIN);
    EXPECT_EQ(RunSmi2txt({"z.smi", "--sync", "-f", "-d", "."}).status, 0);
    EXPECT_EQ(ReadFile(WorkPath("z.txt")), SUBTITLE_SYNC);
    RunResult piped = RunSmi2txt({"--sync", "-"}, NOT_SAMI);
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "smi2txt: -: no SYNC tag: not a SAMI subtitle\n");
    EXPECT_EQ(RunSmi2txt({"srt.smi", "-o", "srt.txt"}).status, 0); // Save keeps its text
    EXPECT_EQ(ReadFile(WorkPath("srt.txt")), "\n1\n00:00:01,000 --> 00:00:02,000\nHello\n\n");
}

// UTF-16 comes back as UTF-16, through standard input and output too.
TEST_F(Smi2txtTest, Utf16SubtitleGivesUtf16Text)
{
    std::string wide(UTF16_SUBTITLE, sizeof UTF16_SUBTITLE - 1);
    RunResult run = RunSmi2txt({"--sync", "-"}, wide);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(UTF16_SYNC, sizeof UTF16_SYNC - 1));
}

// --classes lists a file's classes; --class keeps one of them, or writes nothing at all.
TEST_F(Smi2txtTest, ClassesAreListedAndChosen)
{
    WriteFile(WorkPath("bi.smi"), BILINGUAL_SUBTITLE);
    WriteFile(WorkPath("en.smi"), SUBTITLE);
    RunResult list = RunSmi2txt({"--classes", "bi.smi"});
    EXPECT_EQ(list.out, "KRCC\t1\nENCC\t2\n");
    RunResult lists = RunSmi2txt({"--classes", "bi.smi", "en.smi"});
    EXPECT_EQ(lists.out, "bi.smi:\nKRCC\t1\nENCC\t2\nen.smi:\nENCC\t3\n");
    RunResult chosen = RunSmi2txt({"--sync", "--class", "ENCC", "bi.smi"});
    EXPECT_EQ(chosen.out, "00 :00 :01  Hello\n00 :00 :02  Bye\n");
    RunResult missing = RunSmi2txt({"--class", "JPCC", "bi.smi"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "smi2txt: bi.smi: no paragraph of class JPCC (classes: ENCC, KRCC)\n");
    RunResult beside = RunSmi2txt({"--class", "KRCC", "bi.smi", "en.smi"});
    EXPECT_EQ(beside.status, 1);
    EXPECT_EQ(beside.err, "smi2txt: en.smi: no paragraph of class KRCC (classes: ENCC)\n");
    EXPECT_EQ(ReadFile(WorkPath("bi.krcc.txt")), "\xBE\xC8\xB3\xE7\n");
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"bi.krcc.txt", "bi.smi", "en.smi"}));
}

// Merged cues of real files never overlap: every start is at or after the end before it.
bool CuesOverlap(const std::string &json)
{
    std::regex times("\\{\"start\":([0-9]+),\"end\":([0-9]+)");
    long long end = -1;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), times);
         it != std::sregex_iterator(); ++it) {
        long long start = std::stoll((*it)[1]);
        if (start < end || std::stoll((*it)[2]) <= start)
            return true;
        end = std::stoll((*it)[2]);
    }
    return false;
}

// Both languages in one cue per moment, over real files and one made bilingual from a film of
// one language, its second language 23 ms behind in SYNC tags of its own.
TEST_F(Smi2txtTest, RealFilesMergeTheirClasses)
{
    const std::string corpus = std::string(VELMORA_CORPUS_DIR) + "/";
    const std::string film =
        corpus + "bi_krcc_encc_transformers2009_full_film_sequential_blocks.smi";
    for (const char *name :
         {"bi_krcc_encc_transformers2009_full_film_sequential_blocks.smi",
          "bi_krcc_encc_two_p_per_sync_quoted_tiny.smi",
          "bi_encc_krcc_twinkle_tabs_closed_tags_crlf.smi",
          "en_small_starwars_enuscc_closed_tags.smi", "malformed_broken_tags_lorem.smi"}) {
        RunResult json = RunSmi2txt({"--format=json", "--merge-classes", corpus + name});
        EXPECT_EQ(json.status, 0) << name << json.err;
        EXPECT_FALSE(CuesOverlap(json.out)) << name;
    }
    // One class: nothing merges.
    const std::string one = corpus + "en_small_starwars_enuscc_closed_tags.smi";
    for (const char *format : {"--format=srt", "--format=vtt"})
        EXPECT_EQ(RunSmi2txt({format, "--merge-classes", one}).out, RunSmi2txt({format, one}).out);
    EXPECT_EQ(RunSmi2txt({"--sync", "--merge-classes", one}).out,
              RunSmi2txt({"--sync", "-u", one}).out);

    std::string krcc_first = RunSmi2txt({"--format=json", "--merge-classes", film}).out;
    EXPECT_NE(krcc_first.find("{\"start\":57099,\"end\":61149,\"text\":{\"KRCC\":\""),
              std::string::npos);
    std::string encc_first =
        RunSmi2txt({"--format=json", "--merge-classes", "--class=encc,KRCC", film}).out;
    EXPECT_NE(encc_first.find("{\"start\":57099,\"end\":61149,\"text\":{\"ENCC\":\"Earth, "
                              "birthplace of the human race,\",\"KRCC\":"),
              std::string::npos);
    EXPECT_EQ(RunSmi2txt({"--format=tsv", "--merge-classes", film}).out.substr(0, 20),
              "start\tend\tKRCC\tENCC\n");
    RunResult piped = RunSmi2txt({"--format=tsv", "--merge-classes", "-"}, ReadFile(film));
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find("not a pipe or standard input"), std::string::npos);
    // Without the merge a list of every class is every-class output; its file joins the names.
    EXPECT_EQ(RunSmi2txt({"--format=srt", "--class=KRCC,ENCC", film}).out,
              RunSmi2txt({"--format=srt", film}).out);
    WriteFile(WorkPath("movie.smi"), ReadFile(film));
    EXPECT_EQ(RunSmi2txt({"--format=srt", "--class=ENCC,krcc", "-d", ".", "movie.smi"}).status, 0);
    EXPECT_EQ(RunSmi2txt({"--format=srt", "--merge-classes", "-d", ".", "movie.smi"}).status, 0);
    EXPECT_FALSE(ReadFile(WorkPath("movie.encc+krcc.srt")).empty());
    EXPECT_FALSE(ReadFile(WorkPath("movie.srt")).empty());

    std::string film_of_one = ReadFile(one), interleaved;
    std::regex sync("<SYNC Start=([0-9]+)><P Class=ENUSCC>([^\\r\\n]*)", std::regex::icase);
    auto end = film_of_one.cbegin();
    for (auto it = std::sregex_iterator(film_of_one.begin(), film_of_one.end(), sync);
         it != std::sregex_iterator(); ++it) {
        interleaved += std::string(end, (*it)[0].first) + it->str() +
                       "\n<SYNC Start=" + std::to_string(std::stol((*it)[1]) + 23) +
                       "><P Class=KRCC>" + (*it)[2].str();
        end = (*it)[0].second;
    }
    WriteFile(WorkPath("interleaved.smi"), interleaved + std::string(end, film_of_one.cend()));
    std::string merged = RunSmi2txt({"--format=json", "--merge-classes", "interleaved.smi"}).out;
    EXPECT_FALSE(CuesOverlap(merged));
    std::regex both("\"ENUSCC\":\"[^\\n]*\"KRCC\":");
    EXPECT_EQ(std::distance(std::sregex_iterator(merged.begin(), merged.end(), both),
                            std::sregex_iterator()),
              std::count(merged.begin(), merged.end(), '\n'))
        << merged;
}

struct StatusCase {
    const char *name;
    std::vector<std::string> arguments;
    int status;
    bool text_on_stdout; // help and version
};

std::ostream &operator<<(std::ostream &stream, const StatusCase &row)
{
    return stream << row.name;
}

const StatusCase STATUS_CASES[] = {
    {"Help", {"--help"}, 0, true},
    {"Version", {"--version"}, 0, true},
    {"Converted", {"in.smi"}, 0, true},
    {"MissingInput", {"missing.smi"}, 1, false},
    {"DoubleDashMakesOptionAnInput", {"--", "--sync"}, 1, false},
    {"DirectoryAsInput", {"folder"}, 1, false},
    {"DirectoryAsOutput", {"in.smi", "-o", "folder"}, 1, false},
    {"OutputInMissingFolder", {"in.smi", "-o", "nowhere/out.txt"}, 1, false},
    {"ClassOfNoParagraph", {"--class", "KRCC", "in.smi"}, 1, false},
    {"ClassWithoutName", {"in.smi", "--class"}, 2, false},
    {"ClassesWithOutput", {"--classes", "in.smi", "-o", "out.txt"}, 2, false},
    {"NoArgumentsReadStandardInput", {}, 0, false}, // empty here
    {"OnlySyncOptionReadsStandardInput", {"--sync"}, 1, false},
    {"UnknownOption", {"--bogus", "in.smi"}, 2, false},
    {"OutputOptionWithoutName", {"in.smi", "-o"}, 2, false},
    {"OutputOptionWithSeveralInputs", {"in.smi", "in.smi", "-o", "out.txt"}, 2, false},
    {"DashBesideOtherInputs", {"-", "in.smi"}, 2, false},
    {"ShortHelp", {"-h"}, 0, true},
    {"TimedFormat", {"--format=json", "in.smi"}, 0, true},
    {"UnknownFormat", {"--format=doc", "in.smi"}, 2, false},
    {"TwoFormats", {"--sync", "--format=srt", "in.smi"}, 2, false},
    {"OutputAndFolder", {"in.smi", "-o", "out.txt", "-d", "folder"}, 2, false},
    {"StandardInputIntoFolder", {"-d", "folder", "-"}, 2, false},
    {"UnknownEncoding", {"--from", "klingon", "in.smi"}, 2, false},
    {"EncodingWhoseAsciiIsNotAscii", {"--from", "utf-32", "in.smi"}, 2, false},
    {"EncodingWithoutName", {"in.smi", "--from"}, 2, false},
    {"KeepEncodingWithUtf8", {"--keep-encoding", "-u", "in.smi"}, 2, false},
    {"KeepEncodingWithFrom", {"--from=cp949", "--keep-encoding", "in.smi"}, 2, false},
    {"KeepEncodingWithTimedFormat", {"--keep-encoding", "--format=srt", "in.smi"}, 2, false},
    {"MergeWithoutTimes", {"--merge-classes", "in.smi"}, 2, false},
    {"MergeWithKeepEncoding", {"--merge-classes", "--sync", "--keep-encoding", "in.smi"}, 2, false},
    {"MergeWithClasses", {"--classes", "--merge-classes", "in.smi"}, 2, false},
    {"ClassListWithEmptyName", {"--class=ENCC,", "in.smi"}, 2, false},
    {"ClassListedTwice", {"--class=ENCC,encc", "in.smi"}, 2, false},
    {"ClassListMissingOne", {"--class=ENCC,JPCC", "in.smi"}, 1, false},
};

class Smi2txtStatusTest : public Smi2txtTest, public ::testing::WithParamInterface<StatusCase>
{
};

// Failures explain themselves on standard error only, as «smi2txt: ...».
TEST_P(Smi2txtStatusTest, ExitsWithStatus)
{
    const StatusCase &row = GetParam();
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    WriteFile(WorkPath("wide.smi"), std::string(UTF16_SUBTITLE, sizeof UTF16_SUBTITLE - 1));
    ASSERT_EQ(mkdir(WorkPath("folder").c_str(), 0755), 0);
    RunResult run = RunSmi2txt(row.arguments);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (row.status == 0) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_EQ(run.err.rfind("smi2txt: ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.back(), '\n');
    }
    EXPECT_EQ(!run.out.empty(), row.text_on_stdout) << run.out;
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"folder", "in.smi", "wide.smi"}));
}

INSTANTIATE_TEST_SUITE_P(Arguments, Smi2txtStatusTest, ::testing::ValuesIn(STATUS_CASES),
                         [](const ::testing::TestParamInfo<StatusCase> &row) {
                             return std::string(row.param.name);
                         });

// Long options with '=' or a separate argument, options after inputs, and the names files get.
TEST_F(Smi2txtTest, TimedFormatsAndWhereTheyGo)
{
    const char srt[] = "1\n00:00:01,000 --> 00:00:03,000\nHello\nworld\n\n"
                       "2\n00:01:01,000 --> 00:01:05,000\nBye & <i>thanks</i>\n\n";
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    EXPECT_EQ(RunSmi2txt({"--format=srt", "in.smi"}).out, srt);
    EXPECT_NE(RunSmi2txt({"--format=srt", "--no-styles", "in.smi"}).out.find("Bye & thanks\n"),
              std::string::npos);
    EXPECT_EQ(RunSmi2txt({"in.smi", "--format", "srt"}).out, srt);
    EXPECT_EQ(RunSmi2txt({"--format=srt"}, SUBTITLE).out, srt); // standard input
    EXPECT_EQ(RunSmi2txt({"--class=encc", "--format=vtt", "in.smi", "--output=out.vtt"}).status, 0);
    EXPECT_EQ(ReadFile(WorkPath("out.vtt")).rfind("WEBVTT\n\n00:00:01.000 --> ", 0), 0u);
    ASSERT_EQ(mkdir(WorkPath("subs").c_str(), 0755), 0);
    EXPECT_EQ(RunSmi2txt({"-d", "subs", "--format=tsv", "--class", "ENCC", "in.smi"}).status, 0);
    EXPECT_EQ(ReadFile(WorkPath("subs/in.encc.tsv")),
              "start\tend\tclass\ttext\n1000\t3000\tENCC\tHello world\n"
              "61000\t65000\tENCC\tBye & thanks\n");
    EXPECT_EQ(RunSmi2txt({"--output-dir=subs", "--format=json", "--", "in.smi"}).status, 0);
    EXPECT_NE(ReadFile(WorkPath("subs/in.jsonl")).find("\"text\":\"Hello\\nworld\"}"),
              std::string::npos);
}

// One language after the other, the first past the 1 MiB that is held before cues are
// written as read: into a file the input is read again holding every cue, and the cues come
// out interleaved; standard output already has the first ones and fails.
TEST_F(Smi2txtTest, StartsGoingBackPastTheWindowAreHeldForAFile)
{
    std::string subtitle = "<SAMI><BODY>\n";
    for (int k = 0; subtitle.size() < 1300 * 1000; k++)
        subtitle += "<SYNC Start=" + std::to_string(1000 * k + 500) + "><P Class=ENCC>" +
                    std::string(100, 'e') + "\n";
    subtitle += "<SYNC Start=0><P Class=KRCC>first\n<SYNC Start=1000><P Class=KRCC>second\n";
    WriteFile(WorkPath("in.smi"), subtitle);
    RunResult run = RunSmi2txt({"--format=srt", "-o", "out.srt", "in.smi"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string srt = ReadFile(WorkPath("out.srt"));
    EXPECT_EQ(srt.rfind("1\n00:00:00,000 --> 00:00:01,000\nfirst\n\n"
                        "2\n00:00:00,500 --> 00:00:01,500\n" +
                            std::string(100, 'e') +
                            "\n\n3\n00:00:01,000 --> 00:00:05,000\nsecond\n\n",
                        0),
              0u);
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"in.smi", "out.srt"}));
    run = RunSmi2txt({"--format=srt", "in.smi"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("a start goes back"), std::string::npos) << run.err;
}

TEST_F(Smi2txtTest, HelpAndVersionDescribeProgram)
{
    RunResult help = RunSmi2txt({"--help"});
    EXPECT_NE(help.out.find("--sync"), std::string::npos);
    EXPECT_NE(help.out.find("--output=FILE"), std::string::npos);
    EXPECT_NE(help.out.find("--format=srt"), std::string::npos);
    EXPECT_NE(help.out.find("several INPUTs, or -d: files; one INPUT: standard output"),
              std::string::npos);
    EXPECT_NE(help.out.find("-u, --utf8"), std::string::npos);
    EXPECT_NE(help.out.find("--keep-encoding"), std::string::npos);
    RunResult version = RunSmi2txt({"--version"});
    EXPECT_NE(version.out.find("smi2txt"), std::string::npos);
    EXPECT_NE(version.out.find("1.1"), std::string::npos);
}

struct SameFileCase {
    const char *name;
    std::vector<std::string> arguments;
};

std::ostream &operator<<(std::ostream &stream, const SameFileCase &row)
{
    return stream << row.name;
}

// in.txt is the input; the other names reach the same file.
const SameFileCase SAME_FILE_CASES[] = {
    {"SameName", {"in.txt", "-o", "in.txt"}},
    {"OtherSpelling", {"in.txt", "-o", "./sub/../in.txt"}},
    {"HardLink", {"in.txt", "-o", "hard.txt"}},
    {"SymbolicLink", {"in.txt", "-o", "soft.txt"}},
    {"InputThroughLink", {"soft.txt", "-o", "in.txt"}},
    {"BesideItselfWhenNamedTxt", {"in.txt", "other.smi"}},
};

class Smi2txtSameFileTest : public Smi2txtTest, public ::testing::WithParamInterface<SameFileCase>
{
};

// Writing the input over itself would destroy it: refused, and the input is untouched.
TEST_P(Smi2txtSameFileTest, RefusesOutputThatIsInput)
{
    WriteFile(WorkPath("in.txt"), SUBTITLE);
    WriteFile(WorkPath("other.smi"), SUBTITLE);
    ASSERT_EQ(mkdir(WorkPath("sub").c_str(), 0755), 0);
    ASSERT_EQ(link(WorkPath("in.txt").c_str(), WorkPath("hard.txt").c_str()), 0);
    ASSERT_EQ(symlink("in.txt", WorkPath("soft.txt").c_str()), 0);
    RunResult run = RunSmi2txt(GetParam().arguments, "", nullptr);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("smi2txt: ", 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(WorkPath("in.txt")), SUBTITLE);
    std::set<std::string> expected{"hard.txt", "in.txt", "other.smi", "soft.txt", "sub"};
    if (GetParam().arguments.size() == 2)
        expected.insert("other.txt");
    EXPECT_EQ(WorkFiles(), expected);
}

INSTANTIATE_TEST_SUITE_P(Names, Smi2txtSameFileTest, ::testing::ValuesIn(SAME_FILE_CASES),
                         [](const ::testing::TestParamInfo<SameFileCase> &row) {
                             return std::string(row.param.name);
                         });

// Standard output appended to the input would grow as it is read.
TEST_F(Smi2txtTest, RefusesStandardOutputThatIsInput)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    std::string input = WorkPath("in.smi");
    RunResult run = RunSmi2txt({"in.smi"}, "", input.c_str(), O_WRONLY | O_APPEND);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("smi2txt: in.smi: ", 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(input), SUBTITLE);
}

// A failed conversion leaves the old target as it was and no temporary file beside it.
TEST_F(Smi2txtTest, FailureKeepsExistingTarget)
{
    const std::string old_text = "keep me\n";
    WriteFile(WorkPath("out.txt"), old_text);
    WriteFile(WorkPath("wide.smi"), std::string(UTF16_SUBTITLE, sizeof UTF16_SUBTITLE - 1));
    ASSERT_EQ(mkdir(WorkPath("folder").c_str(), 0755), 0);
    for (const char *input : {"wide.smi", "missing.smi", "folder"}) {
        RunResult run = RunSmi2txt({"--sync", "--class", "KRCC", input, "-o", "out.txt"});
        EXPECT_EQ(run.status, 1) << input;
        EXPECT_EQ(run.err.rfind(std::string("smi2txt: ") + input + ": ", 0), 0u) << run.err;
        EXPECT_EQ(ReadFile(WorkPath("out.txt")), old_text) << input;
        EXPECT_EQ(WorkFiles(), (std::set<std::string>{"folder", "out.txt", "wide.smi"}));
    }
    RunResult from_stdin = RunSmi2txt({"--class", "KRCC", "-", "-o", "out.txt"}, SUBTITLE);
    EXPECT_EQ(from_stdin.status, 1);
    EXPECT_EQ(ReadFile(WorkPath("out.txt")), old_text);
    // Standard input that fails on its first read, after the temporary file was made.
    std::string folder = WorkPath("folder");
    RunResult read_error =
        RunSmi2txt({"-", "-o", "out.txt"}, "", nullptr, O_WRONLY | O_TRUNC, folder.c_str());
    EXPECT_EQ(read_error.status, 1);
    EXPECT_EQ(read_error.err, "smi2txt: -: " + std::string(strerror(EISDIR)) + "\n");
    EXPECT_EQ(ReadFile(WorkPath("out.txt")), old_text);
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"folder", "out.txt", "wide.smi"}));
}

// A device is written in place: never renamed over, so it stays a device.
TEST_F(Smi2txtTest, DevicesAreWrittenInPlace)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    RunResult full = RunSmi2txt({"in.smi", "-o", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "smi2txt: /dev/full: " + std::string(strerror(ENOSPC)) + "\n");
    EXPECT_TRUE(IsCharacterDevice("/dev/full"));

    RunResult full_stdout = RunSmi2txt({"--sync", "in.smi"}, "", "/dev/full");
    EXPECT_EQ(full_stdout.status, 1);
    EXPECT_EQ(full_stdout.err.rfind("smi2txt: ", 0), 0u);
    EXPECT_NE(full_stdout.err.find(strerror(ENOSPC)), std::string::npos) << full_stdout.err;
    EXPECT_TRUE(IsCharacterDevice("/dev/full"));

    RunResult null = RunSmi2txt({"in.smi", "-o", "/dev/null"});
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.err, "");
    EXPECT_TRUE(IsCharacterDevice("/dev/null"));
    EXPECT_EQ(WorkFiles(), std::set<std::string>{"in.smi"});
}

TEST_F(Smi2txtTest, PipeIsWrittenInPlace)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    ASSERT_EQ(mkfifo(WorkPath("pipe").c_str(), 0644), 0);
    int reader = open(WorkPath("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    RunResult run = RunSmi2txt({"--sync", "in.smi", "-o", "pipe"});
    char text[4096];
    ssize_t length = read(reader, text, sizeof text);
    close(reader);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(text, static_cast<size_t>(length)), SUBTITLE_SYNC);
    struct stat info;
    ASSERT_EQ(lstat(WorkPath("pipe").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"in.smi", "pipe"}));
}

// A link to the target stays a link; the file it points at gets the text.
TEST_F(Smi2txtTest, OutputThroughLinkKeepsLink)
{
    WriteFile(WorkPath("in.smi"), SUBTITLE);
    WriteFile(WorkPath("real.txt"), "old\n");
    ASSERT_EQ(symlink("real.txt", WorkPath("link.txt").c_str()), 0);
    RunResult run = RunSmi2txt({"in.smi", "-o", "link.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    struct stat info;
    ASSERT_EQ(lstat(WorkPath("link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(WorkPath("real.txt")), SUBTITLE_PLAIN);
    EXPECT_EQ(WorkFiles(), (std::set<std::string>{"in.smi", "link.txt", "real.txt"}));
}

// A CP949 subtitle with 3 invalid bytes, and its text in UTF-8.
const char KOREAN_INVALID[] = "<SYNC Start=1000><P>\xBE\xC8\x80 \xC9\xA1\n";
const char KOREAN_INVALID_UTF8[] = "00 :00 :01  \xEC\x95\x88\xEF\xBF\xBD \xEF\xBF\xBD\n";

/* ConvertEncoding
 *     bytes of encoding in UTF-8, without the byte order mark of a UTF-8 or UTF-16 input. */
std::string ConvertEncoding(const std::string &bytes, const char *encoding)
{
    iconv_t converter = iconv_open("UTF-8", encoding);
    std::string out(bytes.size() * 3 + 16, '\0');
    char *in = const_cast<char *>(bytes.data());
    char *to = &out[0];
    std::size_t in_left = bytes.size();
    std::size_t out_left = out.size();
    std::size_t result = iconv(converter, &in, &in_left, &to, &out_left);
    iconv_close(converter);
    EXPECT_NE(result, static_cast<std::size_t>(-1)) << encoding;
    out.resize(out.size() - out_left);
    return out.rfind("\xEF\xBB\xBF", 0) == 0 ? out.substr(3) : out;
}

bool IsUtf8(const std::string &text)
{
    iconv_t checker = iconv_open("UTF-8", "UTF-8");
    std::string out(text.size() + 16, '\0');
    char *in = const_cast<char *>(text.data());
    char *to = &out[0];
    std::size_t in_left = text.size();
    std::size_t out_left = out.size();
    bool valid = iconv(checker, &in, &in_left, &to, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(checker);
    return valid;
}

// -u writes every real file as the same file first turned into UTF-8 from its true encoding.
TEST_F(Smi2txtTest, RealFilesGiveUtf8)
{
    const struct {
        const char *name_part;
        const char *encoding;
    } TRUE_ENCODINGS[] = {{"cp949", "CP949"},
                          {"euckr", "CP949"},
                          {"breaking_bad", "CP949"},
                          {"cp1252", "WINDOWS-1252"},
                          {"utf16", "UTF-16"}};
    std::vector<std::string> names = RealFileNames();
    ASSERT_FALSE(names.empty());
    int converted = 0;
    for (const std::string &name : names) {
        const char *encoding = "UTF-8";
        for (const auto &known : TRUE_ENCODINGS)
            if (name.find(known.name_part) != std::string::npos)
                encoding = known.encoding;
        std::string input = std::string(VELMORA_CORPUS_DIR) + "/" + name;
        WriteFile(WorkPath("utf8.smi"), ConvertEncoding(ReadFile(input), encoding));
        RunResult expected = RunSmi2txt({"--sync", "utf8.smi"});
        RunResult run = RunSmi2txt({"-u", "--sync", input});
        EXPECT_EQ(run.status, expected.status) << name << ": " << run.err;
        EXPECT_TRUE(IsUtf8(run.out)) << name;
        EXPECT_TRUE(run.out == expected.out) << name << " read as " << encoding;
        converted++;
    }
    EXPECT_GE(converted, 20);
}

TEST_F(Smi2txtTest, InvalidBytesAreReportedOnce)
{
    WriteFile(WorkPath("in.smi"), KOREAN_INVALID);
    RunResult run = RunSmi2txt({"--sync", "--from", "euc-kr", "in.smi"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, KOREAN_INVALID_UTF8);
    EXPECT_EQ(run.err, "smi2txt: in.smi: 3 bytes are not valid CP949; each sequence written as "
                       "U+FFFD\n");
    run = RunSmi2txt({"--from", "klingon", "in.smi"});
    EXPECT_EQ(run.err, "smi2txt: unknown encoding: klingon\nTry 'smi2txt --help' for more "
                       "information.\n");
}

// Shift_JIS as browsers read it: 0x5C and 0x7E are ASCII, not the yen sign and the overline.
TEST_F(Smi2txtTest, ShiftJisKeepsAscii)
{
    WriteFile(WorkPath("in.smi"), "<SYNC Start=1000>\x93\xFA\x96\x7B a\\b~c\n");
    RunResult run = RunSmi2txt({"--sync", "--from", "shift_jis", "in.smi"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "00 :00 :01  \xE6\x97\xA5\xE6\x9C\xAC a\\b~c\n");
}

struct EncodingCase {
    const char *name;
    const char *locale;
    bool keep_encoding;
    bool utf8; // UTF-8 comes out, not the subtitle's bytes
};

std::ostream &operator<<(std::ostream &stream, const EncodingCase &row)
{
    return stream << row.name;
}

const EncodingCase ENCODING_CASES[] = {
    {"Utf8LocaleGetsUtf8", "C.UTF-8", false, true},
    {"OtherLocaleGetsBytes", "C", false, false},
    {"KeepEncodingGetsBytes", "C.UTF-8", true, false},
};

class Smi2txtEncodingTest : public Smi2txtTest, public ::testing::WithParamInterface<EncodingCase>
{
  protected:
    /* RunInto
     *     Runs smi2txt --sync on path under the row's locale, its text going to where: "pipe",
     *     "file" (-o) or "terminal", a pseudo-terminal in raw mode that shows the bytes as
     *     written. Returns the bytes that arrived. */
    std::string RunInto(const std::string &where, const std::string &path)
    {
        const EncodingCase &row = GetParam();
        std::string out_file = WorkPath("out.txt");
        int reader = -1;
        int writer = -1;
        int fds[2];
        if (where == "terminal") {
            EXPECT_EQ(openpty(&reader, &writer, nullptr, nullptr, nullptr), 0);
            termios raw{};
            EXPECT_EQ(tcgetattr(writer, &raw), 0);
            cfmakeraw(&raw);
            EXPECT_EQ(tcsetattr(writer, TCSANOW, &raw), 0);
        } else if (where == "pipe") {
            EXPECT_EQ(pipe(fds), 0);
            reader = fds[0];
            writer = fds[1];
        }
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            alarm(20);
            setenv("LC_ALL", row.locale, 1);
            if (writer >= 0 && dup2(writer, 1) < 0)
                _exit(127);
            std::vector<const char *> argv{SMI2TXT_PATH, "--sync", path.c_str()};
            if (row.keep_encoding)
                argv.push_back("--keep-encoding");
            if (where == "file") {
                argv.push_back("-o");
                argv.push_back(out_file.c_str());
            }
            argv.push_back(nullptr);
            execv(argv[0], const_cast<char **>(argv.data()));
            _exit(127);
        }
        if (writer >= 0)
            close(writer);
        std::string out;
        char block[4096];
        ssize_t got = 0;
        while (reader >= 0 && (got = read(reader, block, sizeof block)) > 0)
            out.append(block, static_cast<std::size_t>(got));
        if (reader >= 0)
            close(reader);
        int wait_status = 0;
        EXPECT_EQ(waitpid(child, &wait_status, 0), child);
        EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) << where;
        return where == "file" ? ReadFile(out_file) : out;
    }
};

// Where the text goes does not change its encoding: the locale does, or --keep-encoding.
TEST_P(Smi2txtEncodingTest, LocaleDecidesEncodingOfEveryOutput)
{
    const EncodingCase &row = GetParam();
    std::string cp949 = VELMORA_TEST_DATA_DIR "/bridge_cp949_crlf.smi";
    WriteFile(WorkPath("wide.smi"), std::string(UTF16_SUBTITLE, sizeof UTF16_SUBTITLE - 1));
    WriteFile(WorkPath("utf8.smi"), SUBTITLE);
    const struct {
        std::string path;
        std::string bytes; // what --sync writes with the subtitle's bytes kept
        std::string utf8;  // and in UTF-8
    } SUBTITLES[] = {
        {cp949, ReadFile(VELMORA_TEST_DATA_DIR "/bridge_cp949_crlf.sync.txt"),
         ReadFile(VELMORA_TEST_DATA_DIR "/bridge_cp949_crlf.sync.utf8.txt")},
        {WorkPath("wide.smi"), std::string(UTF16_SYNC, sizeof UTF16_SYNC - 1), "00 :00 :01  Hi\n"},
        {WorkPath("utf8.smi"), SUBTITLE_SYNC, SUBTITLE_SYNC},
    };
    for (const auto &subtitle : SUBTITLES)
        for (const char *where : {"pipe", "file", "terminal"})
            EXPECT_TRUE(RunInto(where, subtitle.path) ==
                        (row.utf8 ? subtitle.utf8 : subtitle.bytes))
                << subtitle.path << " into a " << where;
}

INSTANTIATE_TEST_SUITE_P(Locales, Smi2txtEncodingTest, ::testing::ValuesIn(ENCODING_CASES),
                         [](const ::testing::TestParamInfo<EncodingCase> &row) {
                             return std::string(row.param.name);
                         });

} // namespace
