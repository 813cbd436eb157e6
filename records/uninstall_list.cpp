#include "records/uninstall_list.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fileio/paths.h"
#include "fileio/sequential_file.h"

namespace {

const char kListName[] = "uninst.lst";
// The new list is written beside the old one and put in its place only when
// complete, so that a failed write never leaves a cut list behind.
const char kNewListName[] = "uninst.lst.new";
// The whole file, closing NUL included, before and after the update.
const uint32_t kMaxListSize = 1048576;

// Reads the open list whole into text (kMaxListSize bytes). Returns its
// size, or 0 when it is not a text ended by its only NUL or does not fit.
uint32_t ReadList(SequentialFile& file, char* text) {
  uint32_t size = file.GetSize();
  if (size == INVALID_FILE_SIZE || size == 0 || size > kMaxListSize) return 0;
  if (file.Read(text, size) != size) return 0;
  if (memchr(text, '\0', size) != text + size - 1) return 0;
  return size;
}

// Appends "name\n" for each name that the text does not contain yet, the
// lines added so far included, and updates *length (the text without its
// NUL). Returns 0 when the list would grow past kMaxListSize.
int AppendMissingNames(char* text, uint32_t* length, const char* const* names) {
  uint32_t end = *length;
  for (; *names != nullptr; ++names) {
    const char* name = *names;
    // An empty name is found in every text, so it is never added.
    if (strstr(text, name) != nullptr) continue;
    size_t nameLength = strlen(name);
    // Room needed: the name, its line feed and the closing NUL
    // (end + nameLength + 2 <= kMaxListSize, with end < kMaxListSize).
    if (nameLength >= kMaxListSize - 1 - end) return 0;
    memcpy(text + end, name, nameLength);
    end += static_cast<uint32_t>(nameLength);
    text[end++] = '\n';
    text[end] = '\0';
  }
  *length = end;
  return 1;
}

int WriteNewList(const char* path, const char* text, uint32_t size) {
  SequentialFile file;
  if (!file.OpenWrite(path)) return 0;
  int written = file.Write(text, size) == size && file.Flush();
  // A close that fails may have lost data that was still buffered.
  return file.Close() != 0 && written;
}

// The text with its NUL goes to a new file, which then replaces the list in
// one step. Anything short of that leaves the list as it was.
int ReplaceList(const char* listPath, const char* newListPath, const char* text, uint32_t size) {
  if (WriteNewList(newListPath, text, size) &&
      MoveFileExA(newListPath, listPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 1;
  }
  DeleteFileA(newListPath);
  return 0;
}

}  // namespace

int UpdateUninstallList(const char* installFolder, const char* const* writtenNames) {
  char listPath[MAX_PATH];
  char newListPath[MAX_PATH];
  if (!JoinPath(listPath, sizeof listPath, installFolder, kListName)) return 0;
  if (!JoinPath(newListPath, sizeof newListPath, installFolder, kNewListName)) return 0;

  // The list must exist already: it is never created here.
  SequentialFile file;
  if (!file.OpenRead(listPath)) return 0;
  char* text = static_cast<char*>(malloc(kMaxListSize));
  if (text == nullptr) return 0;
  uint32_t size = ReadList(file, text);
  file.Close();

  int result = 0;
  uint32_t length = size - 1;
  if (size != 0 && AppendMissingNames(text, &length, writtenNames)) {
    result = ReplaceList(listPath, newListPath, text, length + 1);
  }
  free(text);
  return result;
}
