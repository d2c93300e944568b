#include "mixer/LevelMeter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <optional>

LevelMeter::LevelMeter(QWidget* parent)
    : BufferedCanvas(parent) {
    resize(32, 152);
    handleSize(); // sizes the bitmap and builds the scale
}

StoredColour LevelMeter::dimmed(StoredColour c) {
    return (c >> 1) & 0x7F7F7F7F;
}

void LevelMeter::setlevelMax(int value) {
    levelMax_ = value < levelMin_ ? levelMin_ + 1 : value;
    rebuildScale();
}

void LevelMeter::setlevelMin(int value) {
    levelMin_ = value > levelMax_ ? levelMax_ - 1 : value;
    rebuildScale();
}

void LevelMeter::setlevelHigh(int value) {
    levelHigh_ = std::clamp(value, std::min(levelMin_, levelMax_), levelMax_);
    rebuildScale();
}

void LevelMeter::setlevelMed(int value) {
    levelMed_ = std::clamp(value, std::min(levelMin_, levelMax_), levelMax_);
    rebuildScale();
}

void LevelMeter::setBandColor(StoredColour& lit, StoredColour& dim, StoredColour value) {
    lit = value;
    dim = dimmed(value);
    rebuildScale();
}

void LevelMeter::setcolorHigh(StoredColour value) {
    setBandColor(colorHigh_, colorHighDim_, value);
}
void LevelMeter::setcolorMed(StoredColour value) {
    setBandColor(colorMed_, colorMedDim_, value);
}
void LevelMeter::setcolorLow(StoredColour value) {
    setBandColor(colorLow_, colorLowDim_, value);
}

void LevelMeter::setstereo(bool value) {
    if (value == stereo_)
        return;
    stereo_ = value;
    rebuildScale();
}

void LevelMeter::setpenWidth(int value) {
    if (value == penWidth_)
        return;
    penWidth_ = value;
    drawContents();
    update();
}

void LevelMeter::rebuildScale() {
    if (handleSize())
        return; // the new size rebuilt the scale already
    const int h = height();
    int n = (h - 2) / 3 - 1;
    if (n == 0)
        n = 1;
    n = std::min(n, kMaxTopIndex);
    topIndex_ = n;
    const int range = std::max(levelMax_ - levelMin_, 1);
    // Band starts; rounding is to nearest, halves to even.
    const int highIndex = n - int(std::nearbyint(double(levelMax_ - levelHigh_) * n / range));
    const int medIndex = n - int(std::nearbyint(double(levelMax_ - levelMed_) * n / range));
    for (int i = n; i >= 0; --i) {
        const auto k = std::size_t(i);
        thresholds_[k] = float(std::pow(10.0, -double(n - i) / n * range / 20.0));
        if (i > highIndex) {
            litColors_[k] = colorHigh_;
            dimColors_[k] = colorHighDim_;
        } else if (i > medIndex) {
            litColors_[k] = colorMed_;
            dimColors_[k] = colorMedDim_;
        } else {
            litColors_[k] = colorLow_;
            dimColors_[k] = colorLowDim_;
        }
    }
    const int w = width();
    if (stereo_) {
        const int half = w / 2;
        columnStart_ = {1, half + 1};
        columnEnd_ = {half - 2, w - 2};
    } else {
        columnStart_ = {1, 1};
        columnEnd_ = {w - 2, w - 2};
    }
    drawContents();
    update();
}

// Resolves the segments' colours once per full picture, so that a new level
// only fills rectangles.
void LevelMeter::drawContents() {
    clearBitmap();
    const QPalette pal = palette();
    for (int i = 0; i <= topIndex_; ++i) {
        litFills_[std::size_t(i)] = toQColor(litColors_[std::size_t(i)], pal);
        dimFills_[std::size_t(i)] = toQColor(dimColors_[std::size_t(i)], pal);
    }
    QPainter painter(&canvas());
    for (int i = 0; i <= topIndex_; ++i) {
        drawSegment(painter, 0, i, false);
        if (stereo_)
            drawSegment(painter, 1, i, false);
    }
    litCount_ = {0, 0};
}

void LevelMeter::drawSegment(QPainter& painter, int column, int i, bool lit) {
    const int left = columnStart_[std::size_t(column)];
    const int right = columnEnd_[std::size_t(column)];
    if (right < left || penWidth_ <= 0)
        return;
    // A line penWidth thick, covering the rows a wide pen centred on y covers.
    const int top = segmentY(i) - penWidth_ / 2;
    painter.fillRect(left, top, right - left + 1, penWidth_,
                     lit ? litFills_[std::size_t(i)] : dimFills_[std::size_t(i)]);
}

void LevelMeter::markChanged(int i) {
    if (changedLow_ > changedHigh_) {
        changedLow_ = changedHigh_ = i;
        return;
    }
    changedLow_ = std::min(changedLow_, i);
    changedHigh_ = std::max(changedHigh_, i);
}

void LevelMeter::moveColumn(std::optional<QPainter>& painter, int column, float level) {
    int& lit = litCount_[std::size_t(column)];
    const int n = topIndex_;
    auto draw = [&](int i, bool on) {
        if (!painter)
            painter.emplace(&canvas()); // only a level that changes the picture paints
        drawSegment(*painter, column, i, on);
        markChanged(i);
    };
    if (lit < n && level > thresholds_[std::size_t(lit)]) {
        while (lit < n && level > thresholds_[std::size_t(lit)])
            draw(lit++, true);
    } else {
        while (lit > 0 && !(level > thresholds_[std::size_t(lit - 1)]))
            draw(--lit, false);
    }
}

void LevelMeter::setLevels(float left, float right) {
    handleSize();
    leftLevel_ = left >= 0.0f ? left : 0.0f;
    rightLevel_ = right >= 0.0f ? right : 0.0f;
    changedLow_ = 0;
    changedHigh_ = -1;
    {
        std::optional<QPainter> painter;
        moveColumn(painter, 0, leftLevel_);
        if (stereo_)
            moveColumn(painter, 1, rightLevel_);
    }
    // Only the rows of the segments that changed are copied to the screen,
    // with the window's next paint: a burst of levels costs one copy, and the
    // caller does not wait for the display server.
    if (changedLow_ > changedHigh_)
        return;
    const int top = segmentY(changedHigh_) - penWidth_ / 2;
    const int bottom = segmentY(changedLow_) - penWidth_ / 2 + penWidth_;
    update(QRect(0, top, width(), bottom - top));
}
