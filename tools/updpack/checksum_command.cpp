#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "commands.h"

namespace {

bool ChecksumOf(FILE* file, PackageChecksum* state) {
  std::vector<char> buffer(1 << 20);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    AddToChecksum(state, buffer.data(), static_cast<uint32_t>(got));
  }
  return !std::ferror(file);
}

}  // namespace

int ChecksumCommand(const std::vector<std::string>& paths) {
  int status = kExitOk;
  for (const std::string& path : paths) {
    bool standardInput = path == "-";
    FILE* file = standardInput ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      Complain(path, std::string("cannot be opened: ") + std::strerror(errno));
      status = kExitFailure;
      continue;
    }
    PackageChecksum state = {};
    bool read = ChecksumOf(file, &state);
    if (!standardInput) std::fclose(file);
    if (!read) {
      Complain(path, std::string("cannot be read: ") + std::strerror(errno));
      status = kExitFailure;
      continue;
    }
    std::printf("%s  %s\n", DigestHex(state).c_str(), path.c_str());
  }
  return status;
}
