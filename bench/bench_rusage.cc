// bench_rusage: runs a command and writes its peak resident memory in KiB and
// its user and system seconds to standard error, for machines without
// /usr/bin/time.
//
//   bench_rusage command [argument...]
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: bench_rusage command [argument...]\n", stderr);
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        perror("fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) < 0) {
        perror("wait4");
        return 1;
    }
    fprintf(stderr, "%ld %ld.%02ld %ld.%02ld\n", usage.ru_maxrss,
            static_cast<long>(usage.ru_utime.tv_sec), static_cast<long>(usage.ru_utime.tv_usec / 10000),
            static_cast<long>(usage.ru_stime.tv_sec), static_cast<long>(usage.ru_stime.tv_usec / 10000));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
