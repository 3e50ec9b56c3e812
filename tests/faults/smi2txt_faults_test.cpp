// smi2txt when things go wrong: full disks, failing reads, missing and read-only folders, and
// signals in the middle of a conversion. Whatever happens, an existing target keeps its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

static const char OLD_TARGET_TEXT[] = "previous text, kept\n";
constexpr int RUN_SECONDS = 30;

// How a run of smi2txt ended.
struct RunResult {
    bool exited;
    int exit_code;
    int signal_number;
    std::string error_text;
};

/* ReadFile
 *     A whole file's bytes, or "<missing>" when it cannot be opened. */
static std::string ReadFile(const std::string &path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return "<missing>";
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

static void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream << bytes;
}

/* MakeSubtitle
 *     A SAMI file of at least size bytes: cues with two lines and the blanks between them. */
static std::string MakeSubtitle(size_t size)
{
    std::string text = "<SAMI>\r\n<HEAD>\r\n<TITLE>Fault test</TITLE>\r\n</HEAD>\r\n<BODY>\r\n";
    for (unsigned cue = 0; text.size() < size; cue++) {
        text += "<SYNC Start=" + std::to_string(1000 + cue * 2500) + "><P Class=ENCC>\r\n";
        text += "Line " + std::to_string(cue) + " of the harbour story<br>\r\n";
        text += "and &quot;what&quot; came after it.\r\n";
        text += "<SYNC Start=" + std::to_string(2800 + cue * 2500) + "><P Class=ENCC>&nbsp;\r\n";
    }
    return text + "</BODY>\r\n</SAMI>\r\n";
}

// Mounts made by these tests live in a mount namespace of this process when the kernel allows
// one, so they vanish with it even if the test is killed.
static bool mount_namespace_tried;

static void EnterMountNamespace()
{
    if (mount_namespace_tried)
        return;
    mount_namespace_tried = true;
    if (unshare(CLONE_NEWNS) == 0)
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

class Smi2txtFaultTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::signal(SIGPIPE, SIG_IGN); // a writer into a stopped reader gets EPIPE instead
        char pattern[] = "/tmp/velmora-faults-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
        directory_ = pattern;
    }

    void TearDown() override
    {
        for (pid_t pid : children_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fifo_writer_ >= 0)
            close(fifo_writer_);
        for (auto mount_point = mounts_.rbegin(); mount_point != mounts_.rend(); ++mount_point)
            umount2(mount_point->c_str(), MNT_DETACH);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    std::string Path(const std::string &name) const
    {
        return directory_ + "/" + name;
    }

    /* MountTmpfs
     *     Mounts a tmpfs of the given options on the folder name. Returns the reason when the
     *     machine does not allow it, or an empty text. */
    std::string MountTmpfs(const std::string &name, const char *options)
    {
        EnterMountNamespace();
        fs::create_directory(Path(name));
        if (mount("tmpfs", Path(name).c_str(), "tmpfs", 0, options) != 0)
            return std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
        mounts_.push_back(Path(name));
        return "";
    }

    /* StartSmi2txt
     *     Starts smi2txt with arguments, standard output going to output_path; returns its id. */
    pid_t StartSmi2txt(const std::vector<std::string> &arguments,
                       const std::string &output_path = "/dev/null")
    {
        std::string error_path = Path("stderr.log");
        pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a test that was stopped
            int input = open("/dev/null", O_RDONLY);
            int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (input < 0 || output < 0 || error < 0)
                _exit(120);
            dup2(input, 0);
            dup2(output, 1);
            dup2(error, 2);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(SMI2TXT_PATH));
            for (const std::string &argument : arguments)
                argv.push_back(const_cast<char *>(argument.c_str()));
            argv.push_back(nullptr);
            execv(SMI2TXT_PATH, argv.data());
            _exit(121);
        }
        if (pid > 0)
            children_.push_back(pid);
        return pid;
    }

    /* WaitForSmi2txt
     *     Waits for the run to end, killing it after RUN_SECONDS. */
    RunResult WaitForSmi2txt(pid_t pid)
    {
        RunResult result = {false, -1, 0, ""};
        int status = 0;
        for (int waited_ms = 0; waitpid(pid, &status, WNOHANG) == 0; waited_ms += 5) {
            if (waited_ms >= RUN_SECONDS * 1000) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "smi2txt did not end within " << RUN_SECONDS << " s";
                break;
            }
            usleep(5000);
        }
        children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
        result.exited = WIFEXITED(status);
        result.exit_code = result.exited ? WEXITSTATUS(status) : -1;
        result.signal_number = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        result.error_text = ReadFile(Path("stderr.log"));
        return result;
    }

    RunResult RunSmi2txt(const std::vector<std::string> &arguments,
                         const std::string &output_path = "/dev/null")
    {
        pid_t pid = StartSmi2txt(arguments, output_path);
        if (pid < 0)
            return RunResult{false, -1, 0, "fork failed"};
        return WaitForSmi2txt(pid);
    }

    /* LeftoverFiles
     *     Files in folder name other than those expected: a temporary file left behind. */
    std::vector<std::string> LeftoverFiles(const std::string &folder,
                                           const std::vector<std::string> &expected) const
    {
        std::vector<std::string> leftovers;
        for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                leftovers.push_back(name);
        }
        return leftovers;
    }

    std::string directory_; // removed with everything in it after the test
    std::vector<std::string> mounts_;
    std::vector<pid_t> children_;
    int fifo_writer_ = -1;
};

/* ExpectFailure
 *     A failed run: exit status 1 and one clear «smi2txt: NAME: reason» message. */
static void ExpectFailure(const RunResult &result, const std::string &reason)
{
    EXPECT_TRUE(result.exited) << "stopped by signal " << result.signal_number;
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.error_text.rfind("smi2txt: ", 0), 0u) << result.error_text;
    EXPECT_NE(result.error_text.find(reason), std::string::npos) << result.error_text;
}

// ---- a device that is always full ----

struct FullDeviceCase {
    const char *name;
    bool to_standard_output; // otherwise -o /dev/full
    bool sync;
};

static void PrintTo(const FullDeviceCase &row, std::ostream *stream)
{
    *stream << row.name;
}

class FullDeviceTest : public Smi2txtFaultTest, public ::testing::WithParamInterface<FullDeviceCase>
{
};

TEST_P(FullDeviceTest, ReportsNoSpaceAndLeavesTheDevice)
{
    WriteFile(Path("in.smi"), MakeSubtitle(600 * 1024)); // more than one stream buffer
    std::vector<std::string> arguments;
    if (GetParam().sync)
        arguments.push_back("--sync");
    arguments.push_back(Path("in.smi"));
    if (!GetParam().to_standard_output) {
        arguments.push_back("-o");
        arguments.push_back("/dev/full");
    }
    RunResult result =
        RunSmi2txt(arguments, GetParam().to_standard_output ? "/dev/full" : "/dev/null");
    ExpectFailure(result, std::strerror(ENOSPC));

    struct stat info;
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "/dev/full is no longer a character device";
    EXPECT_EQ(major(info.st_rdev), 1u);
    EXPECT_EQ(minor(info.st_rdev), 7u);
}

INSTANTIATE_TEST_SUITE_P(Targets, FullDeviceTest,
                         ::testing::Values(FullDeviceCase{"OutputOption", false, false},
                                           FullDeviceCase{"OutputOptionSync", false, true},
                                           FullDeviceCase{"StandardOutput", true, false},
                                           FullDeviceCase{"StandardOutputSync", true, true}),
                         [](const ::testing::TestParamInfo<FullDeviceCase> &row) {
                             return std::string(row.param.name);
                         });

// ---- inputs and targets that cannot be used ----

struct RefusedRunCase {
    const char *name;
    const char *reason; // part of the message on standard error
    const char *target; // an existing file that must keep its bytes, or empty
    void (*prepare)(const std::string &folder);
    std::vector<std::string> arguments; // "@" stands for the test's folder
};

static void PrintTo(const RefusedRunCase &row, std::ostream *stream)
{
    *stream << row.name;
}

class RefusedRunTest : public Smi2txtFaultTest, public ::testing::WithParamInterface<RefusedRunCase>
{
};

static void PrepareSubtitle(const std::string &folder)
{
    WriteFile(folder + "/in.smi", MakeSubtitle(4096));
    WriteFile(folder + "/out.txt", OLD_TARGET_TEXT);
}

static void PrepareFolderAsInput(const std::string &folder)
{
    fs::create_directory(folder + "/in.smi");
    WriteFile(folder + "/out.txt", OLD_TARGET_TEXT);
}

TEST_P(RefusedRunTest, GivesAClearErrorAndKeepsTheTarget)
{
    const RefusedRunCase &row = GetParam();
    row.prepare(directory_);
    std::vector<std::string> arguments;
    for (const std::string &argument : row.arguments)
        arguments.push_back(argument[0] == '@' ? directory_ + argument.substr(1) : argument);
    std::string old_text = row.target[0] != '\0' ? ReadFile(Path(row.target)) : "";

    ExpectFailure(RunSmi2txt(arguments), row.reason);
    if (row.target[0] != '\0') {
        EXPECT_EQ(ReadFile(Path(row.target)), old_text);
    }
    EXPECT_EQ(LeftoverFiles(directory_, {"in.smi", "out.txt", "stderr.log"}),
              std::vector<std::string>{});
}

// Reading /proc/self/mem from its start fails with EIO after a successful open: a real read
// error in the middle of a run, which root cannot get from file permissions.
INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRunTest,
    ::testing::Values(RefusedRunCase{"FolderAsInput",
                                     "Is a directory",
                                     "out.txt",
                                     PrepareFolderAsInput,
                                     {"@/in.smi", "-o", "@/out.txt"}},
                      RefusedRunCase{"ReadErrorKeepsTarget",
                                     "Input/output error",
                                     "out.txt",
                                     PrepareSubtitle,
                                     {"/proc/self/mem", "-o", "@/out.txt"}},
                      RefusedRunCase{"ReadErrorKeepsTargetSync",
                                     "Input/output error",
                                     "out.txt",
                                     PrepareSubtitle,
                                     {"--sync", "/proc/self/mem", "-o", "@/out.txt"}},
                      RefusedRunCase{"ReadErrorToStandardOutput",
                                     "Input/output error",
                                     "",
                                     PrepareSubtitle,
                                     {"/proc/self/mem"}},
                      RefusedRunCase{"MissingInput",
                                     "No such file or directory",
                                     "out.txt",
                                     PrepareSubtitle,
                                     {"@/missing.smi", "-o", "@/out.txt"}},
                      RefusedRunCase{"MissingOutputFolder",
                                     "No such file or directory",
                                     "",
                                     PrepareSubtitle,
                                     {"@/in.smi", "-o", "@/no/such/folder/out.txt"}},
                      RefusedRunCase{"FolderAsOutput",
                                     "Is a directory",
                                     "",
                                     PrepareFolderAsInput,
                                     {"@/out.txt", "-o", "@/in.smi"}},
                      RefusedRunCase{"ClassOfNoParagraphKeepsTarget",
                                     "no paragraph of class XX",
                                     "out.txt",
                                     PrepareSubtitle,
                                     {"--sync", "--class", "XX", "@/in.smi", "-o", "@/out.txt"}},
                      RefusedRunCase{"OutputIsTheInput",
                                     "input file itself",
                                     "in.smi",
                                     PrepareSubtitle,
                                     {"@/in.smi", "-o", "@/in.smi"}}),
    [](const ::testing::TestParamInfo<RefusedRunCase> &row) {
        return std::string(row.param.name);
    });

// ---- a file system with no room, and one that is read-only ----

struct ModeCase {
    const char *name;
    bool sync;
};

static void PrintTo(const ModeCase &row, std::ostream *stream)
{
    *stream << row.name;
}

static const ModeCase BOTH_MODES[] = {{"Plain", false}, {"Sync", true}};

static std::string ModeName(const ::testing::TestParamInfo<ModeCase> &row)
{
    return row.param.name;
}

class FullFileSystemTest : public Smi2txtFaultTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(FullFileSystemTest, KeepsTheExistingTargetAndLeavesNoTemporaryFile)
{
    std::string reason = MountTmpfs("small", "size=16k,mode=0755");
    if (!reason.empty())
        GTEST_SKIP() << reason;
    WriteFile(Path("in.smi"), MakeSubtitle(1024 * 1024));
    WriteFile(Path("small/out.txt"), OLD_TARGET_TEXT);
    std::vector<std::string> arguments = {Path("in.smi"), "-o", Path("small/out.txt")};
    if (GetParam().sync)
        arguments.insert(arguments.begin(), "--sync");

    ExpectFailure(RunSmi2txt(arguments), std::strerror(ENOSPC));
    EXPECT_EQ(ReadFile(Path("small/out.txt")), OLD_TARGET_TEXT);
    EXPECT_EQ(LeftoverFiles(Path("small"), {"out.txt"}), std::vector<std::string>{});
}

TEST_P(FullFileSystemTest, BesideTheInputKeepsTheExistingTextAndGoesOn)
{
    std::string reason = MountTmpfs("small", "size=1088k,mode=0755");
    if (!reason.empty())
        GTEST_SKIP() << reason;
    WriteFile(Path("small/in.smi"), MakeSubtitle(1000 * 1000));
    WriteFile(Path("small/in.txt"), OLD_TARGET_TEXT);
    WriteFile(Path("small/short.smi"), "<SYNC Start=1000><P Class=ENCC>\r\nShort one\r\n");
    std::vector<std::string> arguments = {"--force", Path("small/in.smi"), Path("small/short.smi")};
    if (GetParam().sync)
        arguments.insert(arguments.begin(), "--sync");

    // The file that does not fit fails alone; the next one is still converted.
    ExpectFailure(RunSmi2txt(arguments), std::strerror(ENOSPC));
    EXPECT_EQ(ReadFile(Path("small/in.txt")), OLD_TARGET_TEXT);
    EXPECT_NE(ReadFile(Path("small/short.txt")).find("Short one"), std::string::npos);
    EXPECT_EQ(LeftoverFiles(Path("small"), {"in.smi", "in.txt", "short.smi", "short.txt"}),
              std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Modes, FullFileSystemTest, ::testing::ValuesIn(BOTH_MODES), ModeName);

TEST_F(Smi2txtFaultTest, ReadOnlyFolderGivesAClearErrorAndKeepsTheTarget)
{
    std::string reason = MountTmpfs("locked", "size=64k,mode=0755");
    if (!reason.empty())
        GTEST_SKIP() << reason;
    WriteFile(Path("in.smi"), MakeSubtitle(4096));
    WriteFile(Path("locked/out.txt"), OLD_TARGET_TEXT);
    ASSERT_EQ(mount(nullptr, Path("locked").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);

    ExpectFailure(RunSmi2txt({Path("in.smi"), "-o", Path("locked/out.txt")}), std::strerror(EROFS));
    EXPECT_EQ(ReadFile(Path("locked/out.txt")), OLD_TARGET_TEXT);
    ExpectFailure(RunSmi2txt({"--sync", Path("in.smi"), "-o", Path("locked/new.txt")}),
                  std::strerror(EROFS));
    EXPECT_EQ(LeftoverFiles(Path("locked"), {"out.txt"}), std::vector<std::string>{});
}

// ---- stopped in the middle of a conversion ----

struct StopCase {
    const char *name;
    int signal_number;
    bool sync;
    bool cleans_up; // SIGKILL cannot be caught: its temporary file stays, the target is kept
};

static void PrintTo(const StopCase &row, std::ostream *stream)
{
    *stream << row.name;
}

class StoppedRunTest : public Smi2txtFaultTest, public ::testing::WithParamInterface<StopCase>
{
  protected:
    /* OpenFifoWriter
     *     Opens the fifo for writing once smi2txt has opened it for reading. */
    bool OpenFifoWriter(const std::string &path)
    {
        for (int waited_ms = 0; waited_ms < RUN_SECONDS * 1000; waited_ms += 5) {
            fifo_writer_ = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fifo_writer_ >= 0)
                return true;
            usleep(5000);
        }
        return false;
    }

    /* FeedFifo
     *     Writes all of bytes into the fifo as fast as smi2txt reads them. */
    bool FeedFifo(const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            struct pollfd ready = {fifo_writer_, POLLOUT, 0};
            if (poll(&ready, 1, RUN_SECONDS * 1000) <= 0)
                return false;
            ssize_t count = write(fifo_writer_, bytes.data() + done, bytes.size() - done);
            if (count < 0 && errno != EAGAIN)
                return false;
            if (count > 0)
                done += static_cast<size_t>(count);
        }
        return true;
    }

    /* WaitForWrittenTempFile
     *     Waits until a temporary file beside out.txt holds some of the text; returns its name. */
    std::string WaitForWrittenTempFile()
    {
        for (int waited_ms = 0; waited_ms < RUN_SECONDS * 1000; waited_ms += 5) {
            for (const std::string &name : LeftoverFiles(directory_, {"in.fifo", "out.txt"})) {
                std::error_code gone;
                if (name.rfind("out.txt.", 0) == 0 && fs::file_size(Path(name), gone) > 0 && !gone)
                    return name;
            }
            usleep(5000);
        }
        return "";
    }
};

TEST_P(StoppedRunTest, KeepsTheTarget)
{
    const StopCase &row = GetParam();
    WriteFile(Path("out.txt"), OLD_TARGET_TEXT);
    ASSERT_EQ(mkfifo(Path("in.fifo").c_str(), 0600), 0) << std::strerror(errno);
    std::vector<std::string> arguments = {Path("in.fifo"), "-o", Path("out.txt")};
    if (row.sync)
        arguments.insert(arguments.begin(), "--sync");
    pid_t pid = StartSmi2txt(arguments);
    ASSERT_GT(pid, 0);

    // More than the stream buffers hold, so text has reached the temporary file; the input is
    // then left open, and smi2txt waits for the rest of it when the signal comes.
    ASSERT_TRUE(OpenFifoWriter(Path("in.fifo"))) << "smi2txt never opened its input";
    ASSERT_TRUE(FeedFifo(MakeSubtitle(2 * 1024 * 1024))) << "smi2txt stopped reading";
    std::string temp_name = WaitForWrittenTempFile();
    ASSERT_NE(temp_name, "") << "no temporary file with text appeared";
    ASSERT_EQ(kill(pid, row.signal_number), 0);

    RunResult result = WaitForSmi2txt(pid);
    EXPECT_EQ(result.signal_number, row.signal_number) << result.error_text;
    EXPECT_EQ(ReadFile(Path("out.txt")), OLD_TARGET_TEXT);
    std::vector<std::string> leftovers = LeftoverFiles(directory_, {"in.fifo", "out.txt"});
    if (row.cleans_up) {
        EXPECT_EQ(leftovers, std::vector<std::string>{"stderr.log"});
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedRunTest,
                         ::testing::Values(StopCase{"Interrupt", SIGINT, false, true},
                                           StopCase{"InterruptSync", SIGINT, true, true},
                                           StopCase{"Terminate", SIGTERM, false, true},
                                           StopCase{"TerminateSync", SIGTERM, true, true},
                                           StopCase{"Kill", SIGKILL, false, false}),
                         [](const ::testing::TestParamInfo<StopCase> &row) {
                             return std::string(row.param.name);
                         });

// ---- the real subtitles ----

class CorpusTest : public Smi2txtFaultTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(CorpusTest, EveryFileConverts)
{
    ASSERT_TRUE(fs::is_directory(VELMORA_CORPUS_DIR)) << VELMORA_CORPUS_DIR;
    int files = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(VELMORA_CORPUS_DIR)) {
        std::string extension = entry.path().extension().string();
        if (extension != ".smi" && extension != ".sami")
            continue;
        files++;
        std::vector<std::string> arguments = {entry.path().string(), "-o", Path("out.txt")};
        if (GetParam().sync)
            arguments.insert(arguments.begin(), "--sync");

        RunResult result = RunSmi2txt(arguments);
        std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        // The SRT under a .smi name has no SYNC tag: Sync Save refuses it and writes nothing.
        bool refused = GetParam().sync && name.rfind("trap_srt", 0) == 0;
        EXPECT_EQ(result.exit_code, refused ? 1 : 0) << result.error_text;
        EXPECT_EQ(result.error_text, refused ? "smi2txt: " + entry.path().string() +
                                                   ": no SYNC tag: not a SAMI subtitle\n"
                                             : "");
        EXPECT_EQ(fs::exists(Path("out.txt")), !refused);
        fs::remove(Path("out.txt"));
    }
    EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, CorpusTest, ::testing::ValuesIn(BOTH_MODES), ModeName);
