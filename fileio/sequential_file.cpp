#include "fileio/sequential_file.h"

namespace {
const DWORD kOpenFlags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE;
const uint32_t kMaxSeekPosition = 0x7FFFFFFFu;
}  // namespace

int SequentialFile::Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
  if (handle != INVALID_HANDLE_VALUE) return 0;
  handle = CreateFileA(path, access, share, nullptr, disposition, kOpenFlags, nullptr);
  return handle != INVALID_HANDLE_VALUE ? 1 : 0;
}

int SequentialFile::OpenRead(const char* path) {
  return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

int SequentialFile::OpenWrite(const char* path) {
  return Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
}

uint32_t SequentialFile::Read(void* buffer, uint32_t count) {
  DWORD transferred = 0;
  if (!ReadFile(handle, buffer, count, &transferred, nullptr)) return 0;
  return transferred;
}

uint32_t SequentialFile::Write(const void* buffer, uint32_t count) {
  DWORD transferred = 0;
  if (!WriteFile(handle, buffer, count, &transferred, nullptr)) return 0;
  return transferred;
}

int SequentialFile::Seek(uint32_t position) {
  if (position > kMaxSeekPosition) return 0;
  DWORD result = SetFilePointer(handle, static_cast<LONG>(position), nullptr, FILE_BEGIN);
  return result == position ? 1 : 0;
}

uint32_t SequentialFile::GetSize() { return GetFileSize(handle, nullptr); }

int SequentialFile::Flush() { return FlushFileBuffers(handle) ? 1 : 0; }

int32_t SequentialFile::Close() {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  BOOL result = CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  return result;
}
