#include "mixer/WinColor.h"

#include "platform/WinColor.h"

QColor ToQColor(TColor c, const QPalette& palette) {
    if ((c >> 24) == 0xFF) {
        constexpr TColor kButtonFaceIndex = 15;
        return (c & 0xFFFFFF) == kButtonFaceIndex ? palette.color(QPalette::Button)
                                                  : palette.color(QPalette::Window);
    }
    return FromWinColor(c);
}

TColor FromQColor(const QColor& c) {
    return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16);
}
