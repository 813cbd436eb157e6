// The floor for the installation benchmark: what copying the files costs
// when each one is read whole with one read and written whole with one write,
// through one buffer of exactly its size, and nothing else is done.
//
//   bench_floor DEST FILE...    copies each FILE to DEST/<its name>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One call moves the whole count on a regular file; the loop only covers
// signals and the kernel's 2 GiB cap per call.
bool Transfer(int fd, char* buffer, size_t size, bool writing) {
  size_t done = 0;
  while (done < size) {
    ssize_t moved = writing ? write(fd, buffer + done, size - done) : read(fd, buffer + done, size - done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    done += static_cast<size_t>(moved);
  }
  return true;
}

bool CopyFile(const char* source, const char* folder) {
  const char* slash = strrchr(source, '/');
  const char* name = slash == nullptr ? source : slash + 1;
  char target[4096];
  if (snprintf(target, sizeof target, "%s/%s", folder, name) >= static_cast<int>(sizeof target)) return false;

  int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info;
  if (fstat(in, &info) != 0) {
    close(in);
    return false;
  }
  size_t size = static_cast<size_t>(info.st_size);
  char* buffer = static_cast<char*>(malloc(size == 0 ? 1 : size));
  bool ok = buffer != nullptr && Transfer(in, buffer, size, false);
  close(in);
  if (ok) {
    int out = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ok = out >= 0 && Transfer(out, buffer, size, true);
    if (out >= 0 && close(out) != 0) ok = false;
  }
  free(buffer);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_floor DEST FILE...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    if (!CopyFile(argv[i], argv[1])) {
      fprintf(stderr, "bench_floor: %s: %s\n", argv[i], strerror(errno));
      return 1;
    }
  }
  return 0;
}
