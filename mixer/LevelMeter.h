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
    void SetlevelMax(int value);
    void SetlevelMin(int value);
    void SetlevelHigh(int value);
    void SetlevelMed(int value);

    StoredColour colorHigh() const { return colorHigh_; }
    StoredColour colorMed() const { return colorMed_; }
    StoredColour colorLow() const { return colorLow_; }
    void SetcolorHigh(StoredColour value);
    void SetcolorMed(StoredColour value);
    void SetcolorLow(StoredColour value);

    bool stereo() const { return stereo_; }
    void Setstereo(bool value);
    int penWidth() const { return penWidth_; }
    void SetpenWidth(int value);

    // Moves both columns to the new levels (linear, 1.0 = full scale) and
    // draws them into the picture at once; the screen follows with the next
    // paint. Negative or not-a-number levels count as 0.
    void SetLevels(float left, float right);

    // The scale, for layout and tests.
    int TopIndex() const { return topIndex_; } // N; below 0 when no segment fits
    float Threshold(int i) const { return thresholds_[std::size_t(i)]; }
    StoredColour LitColor(int i) const { return litColors_[std::size_t(i)]; }
    StoredColour DimColor(int i) const { return dimColors_[std::size_t(i)]; }
    int LitCount(int column) const { return litCount_[std::size_t(column)]; }
    int ColumnStart(int column) const { return columnStart_[std::size_t(column)]; }
    int ColumnEnd(int column) const { return columnEnd_[std::size_t(column)]; }
    // Centre row of segment i.
    int SegmentY(int i) const { return height() - 2 - 3 * i; }
    float LeftLevel() const { return leftLevel_; }

    // The dimmed form of a colour: each of its four bytes halved.
    static StoredColour Dimmed(StoredColour c);

protected:
    void DrawContents() override;
    void SizeChanged() override { RebuildScale(); }

private:
    void RebuildScale();
    void SetBandColor(StoredColour& lit, StoredColour& dim, StoredColour value);
    void DrawSegment(QPainter& painter, int column, int i, bool lit);
    void MoveColumn(std::optional<QPainter>& painter, int column, float level);
    void MarkChanged(int i);

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
    StoredColour colorHigh_ = clRed, colorHighDim_ = Dimmed(clRed);
    StoredColour colorMed_ = clYellow, colorMedDim_ = Dimmed(clYellow);
    StoredColour colorLow_ = clLime, colorLowDim_ = Dimmed(clLime);
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
