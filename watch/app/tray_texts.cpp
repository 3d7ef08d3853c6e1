#include "watch/app/tray_texts.h"

namespace mail {

namespace {

    struct Words {
        TrayText text;
        const char* english;
        const char* japanese;
    };

    constexpr Words kWords[] = {
        { TrayText::CheckNow, "&Check now", "今すぐ確認(&C)" },
        { TrayText::Status, "&Status...", "状態(&S)..." },
        { TrayText::OpenLog, "Open &log", "ログを開く(&L)" },
        { TrayText::Pause, "&Pause new-mail popups for 1 hour", "新着メールの表示を1時間止める(&P)" },
        { TrayText::Resume, "&Resume new-mail popups", "新着メールの表示を再開(&R)" },
        { TrayText::Quit, "&Quit", "終了(&Q)" },
        { TrayText::StatusTitle, "larkbellwatch status", "larkbellwatch の状態" },
        { TrayText::ColumnWhere, "Where", "場所" },
        { TrayText::ColumnState, "State", "状態" },
        { TrayText::ColumnLastCheck, "Last check", "最終確認" },
        { TrayText::ColumnLastError, "Last error", "最後のエラー" },
    };

} // namespace

const char* TrayTextOf(TrayText text, UiLanguage language)
{
    for (const Words& words : kWords) {
        if (words.text == text)
            return language == UiLanguage::Japanese ? words.japanese : words.english;
    }
    return "";
}

} // namespace mail
