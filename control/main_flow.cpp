// The updater's entry: two interlocks, the install folder, the user's
// confirmation, the installation, and one message for its outcome.
#include <stdint.h>

#include "control/install_location.h"
#include "control/messages.h"
#include "package/install.h"
#include "platform/platform.h"

namespace {

const char kOwnMutexName[] = "Updater for QUENLITH is executing.";
// Shared with the game interpreter, the launcher and the uninstaller.
const char kInterpreterMutexName[] = "Ferrowin for QUENLITH is executing.";
const char kBrand[] = "Ormica";
const char kTitle[] = "Quenlith";

const int kExitNotInstalled = -1;
const int kExitInterpreterRunning = -2;
const int kExitNotConfirmed = -3;
// Another updater runs; nothing is shown, so that its boxes stay the only ones.
const int kExitAlreadyRunning = -4;

// The run behind the own interlock. The interpreter mutex is held until the
// outcome box has been dismissed, so no game program can start mid-update.
int RunUpdate() {
  HANDLE interpreterMutex = CreateMutexA(nullptr, TRUE, kInterpreterMutexName);
  // Any error counts as "exists": a mutex we could not create protects nothing.
  int exitStatus = kExitInterpreterRunning;
  if (GetLastError() != 0) {
    ShowWarning(kMessageInterpreterRunning);
  } else {
    char installFolder[MAX_PATH];
    if (!ReadInstalledFolder(installFolder, kBrand, kTitle)) {
      ShowWarning(kMessageNotInstalled);
      exitStatus = kExitNotInstalled;
    } else if (MessageBoxA(nullptr, kMessageConfirm, kCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
               IDYES) {
      exitStatus = kExitNotConfirmed;
    } else {
      uint32_t status = InstallPackage(installFolder);
      ShowOutcome(status);
      exitStatus = static_cast<int>(status);
    }
  }
  if (interpreterMutex != nullptr) CloseHandle(interpreterMutex);
  return exitStatus;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE ownMutex = CreateMutexA(nullptr, TRUE, kOwnMutexName);
  int exitStatus = GetLastError() == 0 ? RunUpdate() : kExitAlreadyRunning;
  if (ownMutex != nullptr) CloseHandle(ownMutex);
  return exitStatus;
}
