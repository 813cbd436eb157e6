// Everything the updater says to the user. The texts are Shift_JIS once
// compiled; all but kMessageInterpreterRunning are exactly 26 full-width
// characters, padded with ideographic spaces that belong to the text.
#pragma once

#include <stdint.h>

inline constexpr char kCaption[] = "「Quenlith」 Updater ver 1.00";

inline constexpr char kMessageInterpreterRunning[] =
    "ゲーム、ランチャー、アンインストーラーのいずれかが実行中なのでアップデートを行えません";
inline constexpr char kMessageNotInstalled[] = "ゲームがインストールされていません　　　　　　　　　";
inline constexpr char kMessageConfirm[] = "アップデートを行いますか？　　　　　　　　　　　　　";
inline constexpr char kMessageCompleted[] = "アップデートが完了しました　　　　　　　　　　　　　";
inline constexpr char kMessageDamaged[] = "アップデートプログラムが破損している可能性があります";
inline constexpr char kMessageCannotUpdate[] = "何らかの要因によりアップデートが行えません　　　　　";
inline constexpr char kMessageUninstallListFailed[] = "アンインストレーションファイルの更新に失敗しました　";

// A build with another execution character set would change every box.
static_assert(sizeof(kMessageNotInstalled) == 53 && sizeof(kMessageConfirm) == 53 &&
                  sizeof(kMessageCompleted) == 53 && sizeof(kMessageDamaged) == 53 &&
                  sizeof(kMessageCannotUpdate) == 53 && sizeof(kMessageUninstallListFailed) == 53,
              "message texts must be compiled to Shift_JIS");

// A box with the caption and no owner: MB_OK with the information icon.
void ShowInformation(const char* text);
// The same with the warning icon.
void ShowWarning(const char* text);

// Shows the message that an installation's status code calls for: the
// completion for success, a warning for the known failures, and nothing for
// a code that has none.
void ShowOutcome(uint32_t status);
