// time_command: runs one command and prints how long it took as a whole process, measured from
// just before it is started to just after it has ended, with its CPU time and peak memory.
// The benchmark script calls it once per timed run, so no shell command of its own falls
// inside the measured time.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static long long Nanoseconds(const timespec &t)
{
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

static long long MicrosecondsToNanoseconds(const timeval &t)
{
    return (static_cast<long long>(t.tv_sec) * 1000000LL + t.tv_usec) * 1000LL;
}

int main(int argc, char **argv)
{
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "Usage: time_command OUTPUT -- PROGRAM [ARGUMENT...]\n"
                             "Prints: wall nanoseconds, CPU nanoseconds, peak KiB, exit status\n");
        return 2;
    }
    int output = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output < 0) {
        std::fprintf(stderr, "time_command: %s: %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child == 0) {
        dup2(output, STDOUT_FILENO);
        execvp(argv[3], argv + 3);
        std::fprintf(stderr, "time_command: %s: %s\n", argv[3], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    bool reaped = child > 0 && wait4(child, &status, 0, &usage) == child;
    timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    close(output);
    if (!reaped) {
        std::fprintf(stderr, "time_command: cannot run %s\n", argv[3]);
        return 2;
    }
    long long cpu =
        MicrosecondsToNanoseconds(usage.ru_utime) + MicrosecondsToNanoseconds(usage.ru_stime);
    std::printf("%lld %lld %ld %d\n", Nanoseconds(end) - Nanoseconds(start), cpu, usage.ru_maxrss,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
