// Runs one command and prints how long it took and the most memory it held:
//
//   bench_run [-o FILE] COMMAND [ARG...]
//   -> "<wall seconds> <peak resident bytes> <exit status>" on standard output
//
// The command inherits standard input; its standard output and error go to
// FILE (default /dev/null). The peak is the kernel's maximum resident set of
// that process alone, from wait4, so no wrapper's memory is counted.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  const char* output = "/dev/null";
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "-o") == 0) {
    output = argv[2];
    first = 3;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: bench_run [-o FILE] COMMAND [ARG...]\n");
    return 2;
  }
  int sink = open(output, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (sink < 0) {
    perror(output);
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return 2;
  }
  if (child == 0) {
    dup2(sink, 1);
    dup2(sink, 2);
    execvp(argv[first], argv + first);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) {
    perror("wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double seconds = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
  int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.6f %lld %d\n", seconds, static_cast<long long>(usage.ru_maxrss) * 1024, exitStatus);
  return 0;
}
