// Stand-in for the native updater while it cannot be driven from a script:
// installs an updater file's package into a folder and exits with the status.
//
//   bench_install UPDATER_FILE FOLDER
#include <stdio.h>

#include "package/install.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_install UPDATER_FILE FOLDER\n");
    return 2;
  }
  return static_cast<int>(InstallPackageFrom(argv[1], argv[2]) & 0xFF);
}
