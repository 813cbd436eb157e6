// One file handle, opened for sequential reading of an existing file or for
// writing a created or emptied file. Every call goes straight to the platform:
// no buffering and no position bookkeeping of its own.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

class SequentialFile {
 public:
  SequentialFile() : handle(INVALID_HANDLE_VALUE) {}
  ~SequentialFile() { Close(); }
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  // 1 when the file is now open; 0 when the platform refuses or when this
  // object is open already (the open file is then left as it was).
  int OpenRead(const char* path);
  int OpenWrite(const char* path);

  // Bytes moved by one platform call; 0 when the call fails.
  uint32_t Read(void* buffer, uint32_t count);
  uint32_t Write(const void* buffer, uint32_t count);

  // 1 when the position is now the requested one. Positions of 2^31 and more
  // are refused, since the platform call takes a signed 32-bit distance.
  int Seek(uint32_t position);

  // The low 32 bits of the size; 0xFFFFFFFF when the query fails.
  uint32_t GetSize();

  // 1 when written data has reached the disk.
  int Flush();

  // The platform's answer (nonzero on success); -1 when nothing is open.
  int32_t Close();

 private:
  int Open(const char* path, DWORD access, DWORD share, DWORD disposition);

  HANDLE handle;
};
