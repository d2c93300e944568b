#include "mixer/LevelMeter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <optional>

LevelMeter::LevelMeter(QWidget* parent)
    : BufferedCanvas(parent) {
    resize(32, 152);
    HandleSize(); // sizes the bitmap and builds the scale
}

StoredColour LevelMeter::Dimmed(StoredColour c) {
    return (c >> 1) & 0x7F7F7F7F;
}

void LevelMeter::SetlevelMax(int value) {
    levelMax_ = value < levelMin_ ? levelMin_ + 1 : value;
    RebuildScale();
}

void LevelMeter::SetlevelMin(int value) {
    levelMin_ = value > levelMax_ ? levelMax_ - 1 : value;
    RebuildScale();
}

void LevelMeter::SetlevelHigh(int value) {
    levelHigh_ = std::clamp(value, std::min(levelMin_, levelMax_), levelMax_);
    RebuildScale();
}

void LevelMeter::SetlevelMed(int value) {
    levelMed_ = std::clamp(value, std::min(levelMin_, levelMax_), levelMax_);
    RebuildScale();
}

void LevelMeter::SetBandColor(StoredColour& lit, StoredColour& dim, StoredColour value) {
    lit = value;
    dim = Dimmed(value);
    RebuildScale();
}

void LevelMeter::SetcolorHigh(StoredColour value) {
    SetBandColor(colorHigh_, colorHighDim_, value);
}
void LevelMeter::SetcolorMed(StoredColour value) {
    SetBandColor(colorMed_, colorMedDim_, value);
}
void LevelMeter::SetcolorLow(StoredColour value) {
    SetBandColor(colorLow_, colorLowDim_, value);
}

void LevelMeter::Setstereo(bool value) {
    if (value == stereo_)
        return;
    stereo_ = value;
    RebuildScale();
}

void LevelMeter::SetpenWidth(int value) {
    if (value == penWidth_)
        return;
    penWidth_ = value;
    DrawContents();
    update();
}

void LevelMeter::RebuildScale() {
    if (HandleSize())
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
    DrawContents();
    update();
}

// Resolves the segments' colours once per full picture, so that a new level
// only fills rectangles.
void LevelMeter::DrawContents() {
    ClearBitmap();
    const QPalette pal = palette();
    for (int i = 0; i <= topIndex_; ++i) {
        litFills_[std::size_t(i)] = ToQColor(litColors_[std::size_t(i)], pal);
        dimFills_[std::size_t(i)] = ToQColor(dimColors_[std::size_t(i)], pal);
    }
    QPainter painter(&Canvas());
    for (int i = 0; i <= topIndex_; ++i) {
        DrawSegment(painter, 0, i, false);
        if (stereo_)
            DrawSegment(painter, 1, i, false);
    }
    litCount_ = {0, 0};
}

void LevelMeter::DrawSegment(QPainter& painter, int column, int i, bool lit) {
    const int left = columnStart_[std::size_t(column)];
    const int right = columnEnd_[std::size_t(column)];
    if (right < left || penWidth_ <= 0)
        return;
    // A line penWidth thick, covering the rows a wide pen centred on y covers.
    const int top = SegmentY(i) - penWidth_ / 2;
    painter.fillRect(left, top, right - left + 1, penWidth_,
                     lit ? litFills_[std::size_t(i)] : dimFills_[std::size_t(i)]);
}

void LevelMeter::MarkChanged(int i) {
    if (changedLow_ > changedHigh_) {
        changedLow_ = changedHigh_ = i;
        return;
    }
    changedLow_ = std::min(changedLow_, i);
    changedHigh_ = std::max(changedHigh_, i);
}

void LevelMeter::MoveColumn(std::optional<QPainter>& painter, int column, float level) {
    int& lit = litCount_[std::size_t(column)];
    const int n = topIndex_;
    auto draw = [&](int i, bool on) {
        if (!painter)
            painter.emplace(&Canvas()); // only a level that changes the picture paints
        DrawSegment(*painter, column, i, on);
        MarkChanged(i);
    };
    if (lit < n && level > thresholds_[std::size_t(lit)]) {
        while (lit < n && level > thresholds_[std::size_t(lit)])
            draw(lit++, true);
    } else {
        while (lit > 0 && !(level > thresholds_[std::size_t(lit - 1)]))
            draw(--lit, false);
    }
}

void LevelMeter::SetLevels(float left, float right) {
    HandleSize();
    leftLevel_ = left >= 0.0f ? left : 0.0f;
    rightLevel_ = right >= 0.0f ? right : 0.0f;
    changedLow_ = 0;
    changedHigh_ = -1;
    {
        std::optional<QPainter> painter;
        MoveColumn(painter, 0, leftLevel_);
        if (stereo_)
            MoveColumn(painter, 1, rightLevel_);
    }
    // Only the rows of the segments that changed are copied to the screen,
    // with the window's next paint: a burst of levels costs one copy, and the
    // caller does not wait for the display server.
    if (changedLow_ > changedHigh_)
        return;
    const int top = SegmentY(changedHigh_) - penWidth_ / 2;
    const int bottom = SegmentY(changedLow_) - penWidth_ / 2 + penWidth_;
    update(QRect(0, top, width(), bottom - top));
}
