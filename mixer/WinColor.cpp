#include "mixer/WinColor.h"

QColor ToQColor(TColor c, const QPalette& palette) {
    if ((c >> 24) == 0xFF) {
        constexpr TColor kButtonFaceIndex = 15;
        return (c & 0xFFFFFF) == kButtonFaceIndex ? palette.color(QPalette::Button)
                                                  : palette.color(QPalette::Window);
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TColor FromQColor(const QColor& c) {
    return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16);
}
