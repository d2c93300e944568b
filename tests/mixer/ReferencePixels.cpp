#include "tests/mixer/ReferencePixels.h"

#include <algorithm>
#include <cmath>

namespace pixels {

void fillRect(QImage& image, int left, int top, int right, int bottom, QRgb colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width());
    bottom = std::min(bottom, image.height());
    for (int y = top; y < bottom; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + left, line + std::max(left, right), colour);
    }
}

void setPixel(QImage& image, int x, int y, QRgb colour) {
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

void frameRect(QImage& image, const PixelRect& r, QRgb colour) {
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    fillRect(image, r.left, r.top, r.right, r.top + 1, colour);
    fillRect(image, r.left, r.bottom - 1, r.right, r.bottom, colour);
    fillRect(image, r.left, r.top, r.left + 1, r.bottom, colour);
    fillRect(image, r.right - 1, r.top, r.right, r.bottom, colour);
}

void fillGradient(QImage& image, const PixelRect& r, QColor a, QColor b, bool acrossX) {
    const int n = acrossX ? r.right - r.left : r.bottom - r.top;
    if (n <= 0)
        return;
    double red = a.red(), green = a.green(), blue = a.blue();
    const double dr = double(b.red() - a.red()) / n;
    const double dg = double(b.green() - a.green()) / n;
    const double db = double(b.blue() - a.blue()) / n;
    auto channel = [](double v) { return std::clamp(int(std::nearbyint(v)), 0, 255); };
    for (int i = 0; i < n; ++i) {
        const QRgb c = qRgb(channel(red), channel(green), channel(blue));
        if (acrossX)
            fillRect(image, r.left + i, r.top, r.left + i + 1, r.bottom, c);
        else
            fillRect(image, r.left, r.top + i, r.right, r.top + i + 1, c);
        red += dr;
        green += dg;
        blue += db;
    }
}

} // namespace pixels
