#include "package/package.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SequentialFile file;
  Package package;
  uint32_t status = OpenPackage(file, &package);
  if (status == 0) ReleasePackage(&package);
  return static_cast<int>(status);
}
