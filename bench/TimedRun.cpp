// Runs one command and reports what it cost:
//   quorvel_bench_time OUTFILE COMMAND [ARGS...]
// appends "wall_s user_s sys_s maxrss_kib exit_status" as one line to OUTFILE.
// The wall time is taken around fork and wait; CPU time and peak resident
// size come from the child's own rusage (wait4).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel_bench_time OUTFILE COMMAND [ARGS...]\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child < 0) return perror("fork"), 2;
    if (child == 0) {
        execvp(argv[2], argv + 2);
        perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) return perror("wait4"), 2;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    FILE* out = std::fopen(argv[1], "a");
    if (!out) return perror(argv[1]), 2;
    std::fprintf(out, "%.4f %.4f %.4f %ld %d\n", wall, seconds(usage.ru_utime), seconds(usage.ru_stime),
                 usage.ru_maxrss, exitStatus);
    std::fclose(out);
    return exitStatus;
}
