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
//   Range and value: minimum(), maximum(), position(), setMinimum(),
//     setMaximum(), setPosition(), frequency()/setFrequency(). setPosition
//     clamps into minimum..maximum; setMinimum and setMaximum pull the
//     position along. The program's own writes emit nothing.
//   sliderMoved(position) is the user's signal, as QAbstractSlider's is: it
//     fires only when a person moves the thumb (drag, keys, wheel), never for
//     a write by the program, so a handler that writes the slider cannot
//     loop back into itself.
//   Look: orientation (trHorizontal / trVertical; a vertical slider has 0 at
//     the top), tickStyle (tsNone / tsAuto / tsManual), tickMarks
//     (tmBottomRight / tmTopLeft / tmBoth), smoothCorners, colorScheme
//     (csCustom keeps the colours; the six named schemes write them).
//   Colours: one getter/setter pair per colour (backColor()/setBackColor() ...),
//     also reachable by index through color(index)/setColor(index, value).
//     Writing any colour switches colorScheme to csCustom.
//   Mouse: press on the thumb and drag it; sliderMoved fires on every move
//     while dragging.
//   Keyboard and wheel: the slider takes focus by Tab and by click (and shows
//     it with a frame in the palette's highlight colour). The arrow keys along
//     its orientation move it by a step of a hundredth of its range, Page Up
//     and Page Down by a tenth, Home and End to minimum and maximum; a wheel
//     notch moves it by a step, up towards the top (vertical) or the right.
//     Like a drag, they emit sliderMoved when the position changes.
// Every setter but setColorScheme recomputes the geometry at once; the
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
    static bool isColorIndex(int index);

    explicit GradientSlider(QWidget* parent = nullptr);

    StoredColour color(int index) const;
    void setColor(int index, StoredColour value);

#define KV_TRACKBAR_COLOR(name, Name)                                                              \
    StoredColour name() const {                                                                    \
        return color(ci##Name);                                                                    \
    }                                                                                              \
    void set##Name(StoredColour value) {                                                           \
        setColor(ci##Name, value);                                                                 \
    }
    KV_TRACKBAR_COLOR(backColor, BackColor)
    KV_TRACKBAR_COLOR(tickColor, TickColor)
    KV_TRACKBAR_COLOR(disabledTickColor, DisabledTickColor)
    KV_TRACKBAR_COLOR(slideBorderColor, SlideBorderColor)
    KV_TRACKBAR_COLOR(slideFaceColor, SlideFaceColor)
    KV_TRACKBAR_COLOR(slideGradColor, SlideGradColor)
    KV_TRACKBAR_COLOR(disabledSlideBorderColor, DisabledSlideBorderColor)
    KV_TRACKBAR_COLOR(disabledSlideFaceColor, DisabledSlideFaceColor)
    KV_TRACKBAR_COLOR(disabledSlideGradColor, DisabledSlideGradColor)
    KV_TRACKBAR_COLOR(disabledThumbBorderColor, DisabledThumbBorderColor)
    KV_TRACKBAR_COLOR(disabledThumbFaceColor, DisabledThumbFaceColor)
    KV_TRACKBAR_COLOR(disabledThumbGradColor, DisabledThumbGradColor)
    KV_TRACKBAR_COLOR(thumbBorderColor, ThumbBorderColor)
    KV_TRACKBAR_COLOR(thumbFaceColor, ThumbFaceColor)
    KV_TRACKBAR_COLOR(thumbGradColor, ThumbGradColor)
    KV_TRACKBAR_COLOR(overThumbBorderColor, OverThumbBorderColor)
    KV_TRACKBAR_COLOR(overThumbFaceColor, OverThumbFaceColor)
    KV_TRACKBAR_COLOR(overThumbGradColor, OverThumbGradColor)
    KV_TRACKBAR_COLOR(downThumbBorderColor, DownThumbBorderColor)
    KV_TRACKBAR_COLOR(downThumbFaceColor, DownThumbFaceColor)
    KV_TRACKBAR_COLOR(downThumbGradColor, DownThumbGradColor)
#undef KV_TRACKBAR_COLOR

    ColourScheme colorScheme() const {
        return colorScheme_;
    }
    void setColorScheme(ColourScheme scheme);

    int position() const {
        return position_;
    }
    int minimum() const {
        return min_;
    }
    int maximum() const {
        return max_;
    }
    int frequency() const {
        return frequency_;
    }
    void setPosition(int value);
    void setMinimum(int value);
    void setMaximum(int value);
    void setFrequency(int value);

    SliderOrientation orientation() const {
        return orientation_;
    }
    TickSide tickMarks() const {
        return tickMarks_;
    }
    TickMode tickStyle() const {
        return tickStyle_;
    }
    bool smoothCorners() const {
        return smoothCorners_;
    }
    void setOrientation(SliderOrientation value);
    void setTickMarks(TickSide value);
    void setTickStyle(TickMode value);
    void setSmoothCorners(bool value);

    // Geometry of the last paint (read-only, for layout and tests).
    ThumbPhase thumbState() const {
        return thumbState_;
    }
    PixelRect thumbRect() const {
        return thumbRect_;
    }
    PixelRect trackRect() const {
        return trackRect_;
    }
    int trackLength() const {
        return trackLength_;
    }
    int thumbOffset() const {
        return thumbOffset_;
    }
    int thumbLength() const {
        return thumbLength_;
    }
    int thickness() const {
        return thickness_;
    }

    // Recomputes the geometry now and schedules the drawing of the off-screen
    // image and its copy to the screen.
    void paint();

signals:
    // A person moved the thumb to position (see above).
    void sliderMoved(int position);

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
    PaintColors chooseColors() const;
    void renderImage();
    void followBackColor();
    void computeGeometry();
    void drawTicks(QPainter& painter, StoredColour tick) const;
    int offsetForPosition(int position) const;
    int positionForOffset(int offset) const;
    bool isOnThumb(const QPoint& p) const;
    // The user's move by keyboard or wheel: as a drag, sliderMoved when it moved.
    void moveTo(int position);
    int lineStep() const;

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
