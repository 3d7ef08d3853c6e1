// The keys of the notifier's settings file, in the order they are read: the
// one list the reader and the writer take their names from.
#pragma once

enum SettingKey {
    kKeyInterval,
    kKeyTrans,
    kKeyBmpWidth,
    kKeyPosX,
    kKeyPosY,
    kKeyTextLeft,
    kKeyTextTop,
    kKeyTextRight,
    kKeyTextBottom,
    kKeyActivate,
    kKeyWindowName,
    kKeyFontSize,
    kKeyFontColR,
    kKeyFontColG,
    kKeyFontColB,
    kKeyFont,
    kKeyScale,
    kKeyQuiet,
    kSettingKeyCount
};

constexpr const char* kSettingKeys[kSettingKeyCount]
    = { "interval", "trans", "bmpwidth", "posx", "posy", "textleft", "texttop", "textright", "textbottom", "activate",
          "windowname", "fontsize", "fontcolr", "fontcolg", "fontcolb", "font", "scale", "quiet" };

// The keys of section [preview].
constexpr char kPreviewSection[] = "preview";
constexpr const char* kPreviewKeys[] = { "lines" };
