#pragma once

#include "mixer/BufferedCanvas.h"

#include <QColor>
#include <array>
#include <optional>

class QPainter;

// LevelMeter: a bar of horizontal segments on a decibel scale, in one column
// or two (stereo). Segment i (0 at the bottom .. N at the top) lights when the
// level exceeds its threshold; the top segment N is never lit. Three colour
// bands (low, medium, high) each have a lit and a dimmed colour. A new level
// redraws only the segments whose state changes (filled rectangles in the
// segments' colours, resolved once per full picture), then schedules one copy
// of those rows to the screen.
class LevelMeter : public BufferedCanvas {
    Q_OBJECT
public:
    static constexpr int kMaxTopIndex = 100;

    explicit LevelMeter(QWidget* parent = nullptr);

    int levelMax() const { return levelMax_; }
    int levelMin() const { return levelMin_; }
    int levelHigh() const { return levelHigh_; }
    int levelMed() const { return levelMed_; }
    void setlevelMax(int value);
    void setlevelMin(int value);
    void setlevelHigh(int value);
    void setlevelMed(int value);

    StoredColour colorHigh() const { return colorHigh_; }
    StoredColour colorMed() const { return colorMed_; }
    StoredColour colorLow() const { return colorLow_; }
    void setcolorHigh(StoredColour value);
    void setcolorMed(StoredColour value);
    void setcolorLow(StoredColour value);

    bool stereo() const { return stereo_; }
    void setstereo(bool value);
    int penWidth() const { return penWidth_; }
    void setpenWidth(int value);

    // Moves both columns to the new levels (linear, 1.0 = full scale) and
    // draws them into the picture at once; the screen follows with the next
    // paint. Negative or not-a-number levels count as 0.
    void setLevels(float left, float right);

    // The scale, for layout and tests.
    int topIndex() const { return topIndex_; } // N; below 0 when no segment fits
    float threshold(int i) const { return thresholds_[std::size_t(i)]; }
    StoredColour litColor(int i) const { return litColors_[std::size_t(i)]; }
    StoredColour dimColor(int i) const { return dimColors_[std::size_t(i)]; }
    int litCount(int column) const { return litCount_[std::size_t(column)]; }
    int columnStart(int column) const { return columnStart_[std::size_t(column)]; }
    int columnEnd(int column) const { return columnEnd_[std::size_t(column)]; }
    // Centre row of segment i.
    int segmentY(int i) const { return height() - 2 - 3 * i; }
    float leftLevel() const { return leftLevel_; }

    // The dimmed form of a colour: each of its four bytes halved.
    static StoredColour dimmed(StoredColour c);

protected:
    void drawContents() override;
    void sizeChanged() override { rebuildScale(); }

private:
    void rebuildScale();
    void setBandColor(StoredColour& lit, StoredColour& dim, StoredColour value);
    void drawSegment(QPainter& painter, int column, int i, bool lit);
    void moveColumn(std::optional<QPainter>& painter, int column, float level);
    void markChanged(int i);

    float leftLevel_ = 0.0f;
    float rightLevel_ = 0.0f;
    int levelMax_ = 0;
    int levelMin_ = -50;
    int levelHigh_ = -6;
    int levelMed_ = -12;
    int penWidth_ = 2;
    bool stereo_ = true;
    std::array<int, 2> columnStart_{};
    std::array<int, 2> columnEnd_{};
    std::array<int, 2> litCount_{};
    StoredColour colorHigh_ = clRed, colorHighDim_ = dimmed(clRed);
    StoredColour colorMed_ = clYellow, colorMedDim_ = dimmed(clYellow);
    StoredColour colorLow_ = clLime, colorLowDim_ = dimmed(clLime);
    std::array<float, kMaxTopIndex + 1> thresholds_{};
    std::array<StoredColour, kMaxTopIndex + 1> litColors_{};
    std::array<StoredColour, kMaxTopIndex + 1> dimColors_{};
    std::array<QColor, kMaxTopIndex + 1> litFills_{};
    std::array<QColor, kMaxTopIndex + 1> dimFills_{};
    int topIndex_ = 0;
    // Segments redrawn by the current SetLevels (lowest, highest); empty when lowest > highest.
    int changedLow_ = 0;
    int changedHigh_ = -1;
};
