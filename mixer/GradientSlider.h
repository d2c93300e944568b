#pragma once

#include "mixer/PixelRect.h"
#include "mixer/WinColor.h"

#include <QImage>
#include <QWidget>
#include <array>

class QPainter;

// GradientSlider: a self-drawn slider. Track and thumb are filled with colour
// gradients and outlined, optionally with smoothed corners and tick marks; the
// whole control is drawn with QPainter into an off-screen image, kept between
// paints, that is copied in one step.
//
// API summary
//   Range and value: Min(), Max(), Position(), SetMin(), SetMax(), SetPosition(),
//     Frequency()/SetFrequency(). SetPosition clamps into Min..Max and emits
//     OnChange() on every write, even when the value did not change. SetMin and
//     SetMax pull Position along but never emit OnChange().
//   Look: Orientation (trHorizontal / trVertical; a vertical slider has 0 at
//     the top), TickStyle (tsNone / tsAuto / tsManual), TickMarks
//     (tmBottomRight / tmTopLeft / tmBoth), SmoothCorners, ColorScheme
//     (csCustom keeps the colours; the six named schemes write them).
//   Colours: one getter/setter pair per colour (BackColor()/SetBackColor() ...),
//     also reachable by index through Color(index)/SetColor(index, value).
//     Writing any colour switches ColorScheme to csCustom.
//   Mouse: press on the thumb and drag it; OnChange() fires on every move while
//     dragging.
//   Keyboard and wheel: the slider takes focus by Tab and by click (and shows
//     it with a frame in the palette's highlight colour). The arrow keys along
//     its orientation move it by a step of a hundredth of its range, Page Up
//     and Page Down by a tenth, Home and End to Min and Max; a wheel notch
//     moves it by a step, up towards the top (vertical) or the right. Like a
//     drag, they emit OnChange() when the position changes.
// Every setter but SetColorScheme recomputes the geometry at once; the
// off-screen image is drawn with the next paint.
// The divisions by (Max - Min) and by the track length are guarded: with an
// empty range or a control shorter than its thumb the thumb rests at the start.
class GradientSlider : public QWidget {
    Q_OBJECT
public:
    enum ColourScheme { csCustom, csDesert, csGrass, csSilver, csSky, csRose, csSun };
    enum SliderOrientation { trHorizontal, trVertical };
    enum TickSide { tmBottomRight, tmTopLeft, tmBoth };
    enum TickMode { tsNone, tsAuto, tsManual };
    enum ThumbPhase { tsOver = 1, tsDown = 2, tsNormal = 3 };

    // Indexes of the colour properties (the shared colour setter's index).
    enum ColorIndex {
        ciBackColor = 0,
        ciTickColor = 1,
        ciDisabledTickColor = 2,
        ciSlideBorderColor = 10,
        ciSlideFaceColor = 11,
        ciSlideGradColor = 12,
        ciDisabledSlideBorderColor = 13,
        ciDisabledSlideFaceColor = 14,
        ciDisabledSlideGradColor = 15,
        ciDisabledThumbBorderColor = 16,
        ciDisabledThumbFaceColor = 17,
        ciDisabledThumbGradColor = 18,
        ciThumbBorderColor = 20,
        ciThumbFaceColor = 21,
        ciThumbGradColor = 22,
        ciOverThumbBorderColor = 30,
        ciOverThumbFaceColor = 31,
        ciOverThumbGradColor = 32,
        ciDownThumbBorderColor = 40,
        ciDownThumbFaceColor = 41,
        ciDownThumbGradColor = 42,
    };
    static bool IsColorIndex(int index);

    explicit GradientSlider(QWidget* parent = nullptr);

    StoredColour Color(int index) const;
    void SetColor(int index, StoredColour value);

#define KV_TRACKBAR_COLOR(Name)                                                                    \
    StoredColour Name() const {                                                                    \
        return Color(ci##Name);                                                                    \
    }                                                                                              \
    void Set##Name(StoredColour value) {                                                           \
        SetColor(ci##Name, value);                                                                 \
    }
    KV_TRACKBAR_COLOR(BackColor)
    KV_TRACKBAR_COLOR(TickColor)
    KV_TRACKBAR_COLOR(DisabledTickColor)
    KV_TRACKBAR_COLOR(SlideBorderColor)
    KV_TRACKBAR_COLOR(SlideFaceColor)
    KV_TRACKBAR_COLOR(SlideGradColor)
    KV_TRACKBAR_COLOR(DisabledSlideBorderColor)
    KV_TRACKBAR_COLOR(DisabledSlideFaceColor)
    KV_TRACKBAR_COLOR(DisabledSlideGradColor)
    KV_TRACKBAR_COLOR(DisabledThumbBorderColor)
    KV_TRACKBAR_COLOR(DisabledThumbFaceColor)
    KV_TRACKBAR_COLOR(DisabledThumbGradColor)
    KV_TRACKBAR_COLOR(ThumbBorderColor)
    KV_TRACKBAR_COLOR(ThumbFaceColor)
    KV_TRACKBAR_COLOR(ThumbGradColor)
    KV_TRACKBAR_COLOR(OverThumbBorderColor)
    KV_TRACKBAR_COLOR(OverThumbFaceColor)
    KV_TRACKBAR_COLOR(OverThumbGradColor)
    KV_TRACKBAR_COLOR(DownThumbBorderColor)
    KV_TRACKBAR_COLOR(DownThumbFaceColor)
    KV_TRACKBAR_COLOR(DownThumbGradColor)
#undef KV_TRACKBAR_COLOR

    ColourScheme ColorScheme() const {
        return colorScheme_;
    }
    void SetColorScheme(ColourScheme scheme);

    int Position() const {
        return position_;
    }
    int Min() const {
        return min_;
    }
    int Max() const {
        return max_;
    }
    int Frequency() const {
        return frequency_;
    }
    void SetPosition(int value);
    void SetMin(int value);
    void SetMax(int value);
    void SetFrequency(int value);

    SliderOrientation Orientation() const {
        return orientation_;
    }
    TickSide TickMarks() const {
        return tickMarks_;
    }
    TickMode TickStyle() const {
        return tickStyle_;
    }
    bool SmoothCorners() const {
        return smoothCorners_;
    }
    void SetOrientation(SliderOrientation value);
    void SetTickMarks(TickSide value);
    void SetTickStyle(TickMode value);
    void SetSmoothCorners(bool value);

    // Geometry of the last paint (read-only, for layout and tests).
    ThumbPhase ThumbState() const {
        return thumbState_;
    }
    PixelRect ThumbRect() const {
        return thumbRect_;
    }
    PixelRect TrackRect() const {
        return trackRect_;
    }
    int TrackLength() const {
        return trackLength_;
    }
    int ThumbOffset() const {
        return thumbOffset_;
    }
    int ThumbLength() const {
        return thumbLength_;
    }
    int Thickness() const {
        return thickness_;
    }

    // Recomputes the geometry now and schedules the drawing of the off-screen
    // image and its copy to the screen.
    void Paint();

signals:
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct PaintColors;
    PaintColors ChooseColors() const;
    void Render();
    void FollowBackColor();
    void ComputeGeometry();
    void DrawTicks(QPainter& painter, StoredColour tick) const;
    int OffsetForPosition(int position) const;
    int PositionForOffset(int offset) const;
    bool OnThumb(const QPoint& p) const;
    // The user's move by keyboard or wheel: as a drag, OnChange when it moved.
    void MoveTo(int position);
    int LineStep() const;

    std::array<StoredColour, 43> colors_{};
    ColourScheme colorScheme_ = csCustom;
    int position_ = 0;
    int min_ = 0;
    int max_ = 10;
    int frequency_ = 1;
    SliderOrientation orientation_ = trHorizontal;
    TickSide tickMarks_ = tmBottomRight;
    TickMode tickStyle_ = tsNone;
    bool smoothCorners_ = true;
    ThumbPhase thumbState_ = tsNormal;
    PixelRect trackRect_;
    PixelRect thumbRect_;
    int trackLength_ = 0;
    int thumbOffset_ = 0;
    int thumbLength_ = 10;
    int thickness_ = 20;
    QImage image_;
    bool imageStale_ = true; // image_ no longer shows the control's state
    int wheelRest_ = 0;      // eighths of a degree not yet turned into a step
};
