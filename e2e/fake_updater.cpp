// A stand-in with the updater's interlocks, caption and texts but no
// installation, so that the harness can be checked on its own: it asks Q1
// and reports I1 without touching any file.
#include <windows.h>

namespace {
const char kCaption[] = "「Quenlith」 Updater ver 1.00";
const char kRunning[] = "ゲーム、ランチャー、アンインストーラーのいずれかが実行中なのでアップデートを行えません";
const char kConfirm[] = "アップデートを行いますか？　　　　　　　　　　　　　";
const char kDone[] = "アップデートが完了しました　　　　　　　　　　　　　";
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE own = CreateMutexA(nullptr, TRUE, "Updater for QUENLITH is executing.");
  if (GetLastError() != 0) return -4;
  HANDLE game = CreateMutexA(nullptr, TRUE, "Ferrowin for QUENLITH is executing.");
  int status = 0;
  if (GetLastError() != 0) {
    MessageBoxA(nullptr, kRunning, kCaption, 0x30);
    status = -2;
  } else if (MessageBoxA(nullptr, kConfirm, kCaption, 0x124) != IDYES) {
    status = -3;
  } else {
    MessageBoxA(nullptr, kDone, kCaption, 0x40);
  }
  if (game) CloseHandle(game);
  if (own) CloseHandle(own);
  return status;
}
