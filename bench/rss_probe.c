/* Runs one command as a child and records its peak resident set size.
 *
 *   rss_probe RESULT_FILE PROGRAM [ARG...]
 *
 * PROGRAM (a path, not searched in PATH) inherits the standard streams.
 * When it ends, "EXIT_STATUS MAXRSS_KIB USER_S SYS_S" is written to
 * RESULT_FILE: the child's ru_maxrss, user and system time from wait4.
 *
 * Why a separate process: Linux starts the peak RSS of an exec'd program
 * from the memory of the process it was forked from (vfork shares it, fork
 * copies its page tables). Forked straight from the Python benchmark, every
 * tool would show the benchmark's own tens of MiB. Forked from this small
 * program, the floor is a few hundred KiB, below any tool's own figure.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("usage: rss_probe RESULT_FILE PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0) {
        perror("rss_probe: fork");
        return 2;
    }
    if (pid == 0) {
        execv(argv[2], argv + 2);
        perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) < 0) {
        perror("rss_probe: wait4");
        return 2;
    }
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    FILE *out = fopen(argv[1], "w");
    if (out == NULL) {
        perror(argv[1]);
        return 2;
    }
    fprintf(out, "%d %ld %ld.%06ld %ld.%06ld\n", code, ru.ru_maxrss,
            (long)ru.ru_utime.tv_sec, (long)ru.ru_utime.tv_usec,
            (long)ru.ru_stime.tv_sec, (long)ru.ru_stime.tv_usec);
    return fclose(out) == 0 ? 0 : 2;
}
