/* Runs a command and writes its CPU seconds (user and system, to the
 * microsecond) and peak resident size in KiB to FILE:
 *
 *   confmodel_host_usage FILE COMMAND [ARG]...
 *
 * Exits with the command's status. Small and in C, so that the peak it
 * passes on to the command through exec is a few hundred KiB. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 3) {
        fputs("usage: confmodel_host_usage FILE COMMAND [ARG]...\n", stderr);
        return 2;
    }
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        perror(argv[2]);
        _exit(127);
    }
    int status;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) < 0) {
        perror("confmodel_host_usage");
        return 2;
    }
    FILE *out = fopen(argv[1], "w");
    if (out == NULL) {
        perror(argv[1]);
        return 2;
    }
    fprintf(out, "%.6f %ld\n",
            (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            usage.ru_maxrss);
    fclose(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
