#include "mixer/WinColor.h"

#include "platform/WinColor.h"

QColor toQColor(StoredColour c, const QPalette& palette) {
    if ((c >> 24) == 0xFF) {
        constexpr StoredColour kButtonFaceIndex = 15;
        return (c & 0xFFFFFF) == kButtonFaceIndex ? palette.color(QPalette::Button)
                                                  : palette.color(QPalette::Window);
    }
    return fromWinColor(c);
}

StoredColour fromQColor(const QColor& c) {
    return StoredColour(c.red()) | (StoredColour(c.green()) << 8) | (StoredColour(c.blue()) << 16);
}
