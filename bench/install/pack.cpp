// Stand-in for "updpack create" while the tool cannot pack: writes an
// updater file from a stub and files, with the verification list.
//
//   bench_pack OUT STUB FILE...
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>

#include "tools/packwriter/package_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_pack OUT STUB FILE...\n");
    return 2;
  }
  try {
    std::ifstream stubFile(argv[2], std::ios::binary);
    std::vector<uint8_t> stub((std::istreambuf_iterator<char>(stubFile)), std::istreambuf_iterator<char>());
    std::vector<packwriter::InputEntry> entries;
    for (int i = 3; i < argc; ++i) {
      std::string path = argv[i];
      entries.push_back({path.substr(path.rfind('/') + 1), path, {}});
    }
    packwriter::WriteUpdater(argv[1], stub, entries);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_pack: %s\n", error.what());
    return 1;
  }
  return 0;
}
