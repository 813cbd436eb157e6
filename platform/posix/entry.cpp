// The native updater's process entry: like the Windows start-up code, it
// calls WinMain once, reads no arguments, and exits with its result.
#include "platform/platform.h"

int main() { return WinMain(nullptr, nullptr, nullptr, 1); }
