// Arbitrary list files and names through UpdateUninstallList.
//
// Input layout (made by fuzz/make_corpus.py):
//   0   flags: bit 0 no list file; bit 1 grow the list to near its size limit
//   1   signed distance from the limit, with bit 1
//   2   name count, modulo 32
//   3   that many NUL-terminated names, then the list's bytes
//
// Invariants: 0 leaves the file byte for byte as it was (or still missing);
// 1 leaves the old text as a prefix and exactly one NUL, the last byte; the
// result and the new content are those of a plain model; no temporary file
// is left behind.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "records/uninstall_list.h"

namespace {

std::string folder;

struct Input {
  bool listMissing = false;
  std::vector<std::string> names;
  std::string list;
};

// Kept between runs, so that their megabyte blocks are not made afresh.
Input input;
std::string after;
std::string expected;

void Parse(const uint8_t* data, size_t size) {
  input.listMissing = false;
  input.names.clear();
  input.list.clear();
  if (size < 3) return;
  uint8_t flags = data[0];
  int distance = static_cast<int8_t>(data[1]);
  size_t count = data[2] % 32;
  size_t at = 3;
  for (size_t i = 0; i < count && at < size; ++i) {
    const void* end = memchr(data + at, '\0', size - at);
    size_t length = end ? static_cast<const uint8_t*>(end) - (data + at) : size - at;
    input.names.emplace_back(reinterpret_cast<const char*>(data + at), length);
    at += length + (end ? 1 : 0);
  }
  size_t rest = size - at;
  input.listMissing = (flags & 1) != 0;
  if (flags & 2) {
    // Lines of 'x' in front, so that the whole file ends near the limit.
    long fill = static_cast<long>(kListLimit) - distance - static_cast<long>(rest);
    input.list.assign(fill > 0 ? static_cast<size_t>(fill) : 0, 'x');
    for (size_t i = 63; i < input.list.size(); i += 64) input.list[i] = '\n';
  }
  input.list.append(reinterpret_cast<const char*>(data + at), rest);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder = MakeScratchFolder("uninstall-list");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Parse(data, size);
  EmptyFolder(folder);
  std::string listPath = folder + "/uninst.lst";
  if (!input.listMissing) WriteWholeFile(listPath, input.list);

  std::vector<const char*> names;
  for (const std::string& name : input.names) names.push_back(name.c_str());
  names.push_back(nullptr);
  int result = UpdateUninstallList(folder.c_str(), names.data());

  bool present = ReadWholeFile(listPath, &after);
  bool accepted = ReferenceListUpdate(input.listMissing ? nullptr : &input.list, input.names, &expected);

  if (result != 0 && result != 1) FuzzFail("result %d", result);
  if (input.listMissing && present) FuzzFail("a missing list was created");
  if (result == 0 && !input.listMissing && after != input.list) {
    FuzzFail("refused, but the list changed (%zu bytes before, %zu after)", input.list.size(),
             after.size());
  }
  if (result == 1) {
    size_t oldText = input.list.size() - 1;
    if (after.size() <= oldText || after.compare(0, oldText, input.list, 0, oldText) != 0) {
      FuzzFail("the old text is not a prefix of the new list");
    }
    if (after.find('\0') != after.size() - 1) FuzzFail("the new list does not end in its only NUL");
    if (after.size() > kListLimit) FuzzFail("the new list is %zu bytes", after.size());
  }
  if ((result == 1) != accepted) FuzzFail("result %d, the model says %d", result, accepted ? 1 : 0);
  if (accepted && after != expected) FuzzFail("the new list differs from the model's");
  std::vector<std::string> left = ListFolder(folder);
  if (left.size() != (present ? 1u : 0u)) FuzzFail("%zu files left in the folder", left.size());
  return 0;
}
