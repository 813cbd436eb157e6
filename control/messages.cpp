#include "control/messages.h"

#include "package/status.h"
#include "platform/platform.h"

void ShowInformation(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONINFORMATION); }

void ShowWarning(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONWARNING); }

void ShowOutcome(uint32_t status) {
  if (status == kStatusSuccess) {
    ShowInformation(kMessageCompleted);
  } else if (status >= kStatusUnreadable && status <= kStatusMismatch) {
    ShowWarning(kMessageDamaged);
  } else if (status == kStatusWriteFailed) {
    ShowWarning(kMessageCannotUpdate);
  } else if (status == kStatusUninstallListFailed) {
    ShowWarning(kMessageUninstallListFailed);
  }
}
