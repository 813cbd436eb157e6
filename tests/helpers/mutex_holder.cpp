// Holds named mutexes of the POSIX layer for the script tests, standing in
// for the game interpreter or another updater: creates a mutex for each name
// on the command line, prints the last-error value after each creation on a
// line of its own, and holds the handles until it is killed.
#include <stdio.h>
#include <unistd.h>

#include "platform/platform.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    CreateMutexA(nullptr, TRUE, argv[i]);
    printf("%u\n", static_cast<unsigned>(GetLastError()));
  }
  fflush(stdout);
  for (;;) pause();
}
