#include "mixer/GradientSlider.h"

#include "mixer/GradientSliderSchemes.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Nearest integer, halves to even (the default floating-point rounding mode).
int roundEven(double v) {
    return int(std::nearbyint(v));
}

constexpr int kDragGrip = 5; // vertical drags hold the thumb 5 pixels below its top

// Fills the rectangle with exclusive right/bottom edges; an empty or inverted
// one draws nothing.
void fill(QPainter& painter, int left, int top, int right, int bottom, const QColor& colour) {
    if (right > left && bottom > top)
        painter.fillRect(left, top, right - left, bottom - top, colour);
}

// Outline of the rectangle, one pixel wide, inside its edges.
void frame(QPainter& painter, const PixelRect& r, const QColor& colour) {
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    fill(painter, r.left, r.top, r.right, r.top + 1, colour);
    fill(painter, r.left, r.bottom - 1, r.right, r.bottom, colour);
    fill(painter, r.left, r.top, r.left + 1, r.bottom, colour);
    fill(painter, r.right - 1, r.top, r.right, r.bottom, colour);
}

// Gradient from a to b in n steps of (b - a) / n per channel, n being the
// width (acrossX: columns change from left to right) or the height; each line
// takes the rounded (halves to even) running values, so the last line stops
// one step short of b.
void fillGradient(QPainter& painter, const PixelRect& r, QColor a, QColor b, bool acrossX) {
    const int n = acrossX ? r.right - r.left : r.bottom - r.top;
    if (n <= 0)
        return;
    double red = a.red(), green = a.green(), blue = a.blue();
    const double dr = double(b.red() - a.red()) / n;
    const double dg = double(b.green() - a.green()) / n;
    const double db = double(b.blue() - a.blue()) / n;
    auto channel = [](double v) { return std::clamp(roundEven(v), 0, 255); };
    for (int i = 0; i < n; ++i) {
        const QColor c(channel(red), channel(green), channel(blue));
        if (acrossX)
            fill(painter, r.left + i, r.top, r.left + i + 1, r.bottom, c);
        else
            fill(painter, r.left, r.top + i, r.right, r.top + i + 1, c);
        red += dr;
        green += dg;
        blue += db;
    }
}

void smoothCornersOf(QPainter& painter, const PixelRect& r, const QColor& back) {
    fill(painter, r.left, r.top, r.left + 1, r.top + 1, back);
    fill(painter, r.left, r.bottom - 1, r.left + 1, r.bottom, back);
    fill(painter, r.right - 1, r.top, r.right, r.top + 1, back);
    fill(painter, r.right - 1, r.bottom - 1, r.right, r.bottom, back);
}

} // namespace

struct GradientSlider::PaintColors {
    StoredColour slideBorder, slideFace, slideGrad, tick, thumbBorder, thumbFace, thumbGrad;
};

bool GradientSlider::isColorIndex(int index) {
    return (index >= 0 && index <= 2) || (index >= 10 && index <= 18) ||
           (index >= 20 && index <= 22) || (index >= 30 && index <= 32) ||
           (index >= 40 && index <= 42);
}

GradientSlider::GradientSlider(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    resize(100, 28);
    setColorScheme(csDesert);
}

StoredColour GradientSlider::color(int index) const {
    return isColorIndex(index) ? colors_[std::size_t(index)] : clBlack;
}

void GradientSlider::setColor(int index, StoredColour value) {
    if (!isColorIndex(index))
        return;
    colors_[std::size_t(index)] = value;
    colorScheme_ = csCustom;
    paint();
}

void GradientSlider::setColorScheme(ColourScheme scheme) {
    colorScheme_ = scheme;
    for (const auto& [index, value] : schemeColors(scheme))
        colors_[std::size_t(index)] = value;
    imageStale_ = true; // drawn with the next paint
    update();
}

int GradientSlider::offsetForPosition(int position) const {
    const int range = max_ - min_;
    if (range == 0 || trackLength_ <= 0)
        return 0;
    return roundEven(double(trackLength_) / range * (position - min_));
}

int GradientSlider::positionForOffset(int offset) const {
    const int range = max_ - min_;
    if (range == 0 || trackLength_ <= 0)
        return position_;
    return min_ + roundEven(double(range) * offset / trackLength_);
}

void GradientSlider::setPosition(int value) {
    if (value < min_)
        value = min_;
    if (value > max_)
        value = max_;
    position_ = value;
    thumbOffset_ = offsetForPosition(position_);
    paint();
}

void GradientSlider::setMinimum(int value) {
    min_ = value;
    if (position_ < min_)
        position_ = min_;
    thumbOffset_ = offsetForPosition(position_);
    paint();
}

void GradientSlider::setMaximum(int value) {
    max_ = value;
    if (position_ > max_)
        position_ = max_;
    thumbOffset_ = offsetForPosition(position_);
    paint();
}

void GradientSlider::setFrequency(int value) {
    frequency_ = value;
    paint();
}

void GradientSlider::setOrientation(SliderOrientation value) {
    orientation_ = value;
    paint();
}

void GradientSlider::setTickMarks(TickSide value) {
    tickMarks_ = value;
    paint();
}

void GradientSlider::setTickStyle(TickMode value) {
    tickStyle_ = value;
    paint();
}

void GradientSlider::setSmoothCorners(bool value) {
    smoothCorners_ = value;
    paint();
}

GradientSlider::PaintColors GradientSlider::chooseColors() const {
    if (!isEnabled())
        return {disabledSlideBorderColor(), disabledSlideFaceColor(),   disabledSlideGradColor(),
                disabledTickColor(),        disabledThumbBorderColor(), disabledThumbFaceColor(),
                disabledThumbGradColor()};
    PaintColors c{slideBorderColor(), slideFaceColor(), slideGradColor(), tickColor(),
                  thumbBorderColor(), thumbFaceColor(), thumbGradColor()};
    if (thumbState_ == tsOver) {
        c.thumbBorder = overThumbBorderColor();
        c.thumbFace = overThumbFaceColor();
        c.thumbGrad = overThumbGradColor();
    } else if (thumbState_ == tsDown) {
        c.thumbBorder = downThumbBorderColor();
        c.thumbFace = downThumbFaceColor();
        c.thumbGrad = downThumbGradColor();
    }
    return c;
}

void GradientSlider::computeGeometry() {
    const int w = width(), h = height();
    if (orientation_ == trVertical) {
        thickness_ = w - 8;
        thumbLength_ = thickness_ / 2;
        trackLength_ = h - thumbLength_;
        position_ = positionForOffset(thumbOffset_);
        thumbOffset_ = offsetForPosition(position_);
        thumbRect_ = {4, thumbOffset_, 4 + thickness_, thumbOffset_ + thumbLength_};
        const int left = w / 3 + 1;
        trackRect_ = {left, 0, w - left, h};
    } else {
        thickness_ = h - 8;
        thumbLength_ = thickness_ / 2;
        trackLength_ = w - thumbLength_;
        thumbRect_ = {thumbOffset_, 4, thumbOffset_ + thickness_ / 2, 4 + thickness_};
        const int top = h / 3 + 1;
        trackRect_ = {0, top, w, h - top};
    }
}

void GradientSlider::drawTicks(QPainter& painter, StoredColour tick) const {
    const int range = max_ - min_;
    if (tickStyle_ == tsNone || range < 0)
        return;
    const QColor c = toQColor(tick, palette());
    const bool vertical = orientation_ == trVertical;
    const bool topLeft = tickMarks_ == tmTopLeft || tickMarks_ == tmBoth;
    const bool bottomRight = tickMarks_ == tmBottomRight || tickMarks_ == tmBoth;
    const int w = image_.width(), h = image_.height();
    for (int i = 0; i <= range; ++i) {
        const bool last = i == range;
        const bool wanted = tickStyle_ == tsManual
                                ? (i == 0 || last)
                                : (last || frequency_ == 0 || i % frequency_ == 0);
        if (!wanted)
            continue;
        const double along = range == 0 ? 0.0 : double(trackLength_) * i / range;
        const int pos = roundEven(along) + thumbLength_ / 2;
        if (vertical) {
            if (topLeft)
                fill(painter, 0, pos, 3, pos + 1, c);
            if (bottomRight)
                fill(painter, w - 3, pos, w, pos + 1, c);
        } else {
            if (topLeft) {
                const int top = roundEven(along + thumbLength_ / 2.0);
                fill(painter, top, 0, top + 1, 3, c);
            }
            if (bottomRight)
                fill(painter, pos, h - 3, pos + 1, h, c);
        }
    }
}

// The geometry and the palette follow at once (the position a change handler
// reads is the painted one); the picture is drawn with the next paint, once
// for any number of changes before it (a design sets some twenty values).
void GradientSlider::paint() {
    followBackColor();
    computeGeometry();
    imageStale_ = true;
    update();
}

// The control's own colour (its palette's Window) follows BackColor.
void GradientSlider::followBackColor() {
    const QPalette pal = palette();
    const QRgb back = toQColor(backColor(), pal).rgb();
    if (pal.color(QPalette::Window).rgb() != back) {
        QPalette own = pal;
        own.setColor(QPalette::Window, QColor(back));
        setPalette(own);
    }
}

void GradientSlider::renderImage() {
    followBackColor();
    const PaintColors colors = chooseColors();
    const QPalette pal = palette();
    const QRgb back = toQColor(backColor(), pal).rgb();
    const QSize size(std::max(width(), 1), std::max(height(), 1));
    if (image_.size() != size)
        image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(back);
    computeGeometry();

    const bool vertical = orientation_ == trVertical;
    auto q = [&](StoredColour c) { return toQColor(c, pal); };
    QPainter painter(&image_);
    fillGradient(painter, trackRect_, q(colors.slideFace), q(colors.slideGrad), vertical);
    frame(painter, trackRect_, q(colors.slideBorder));
    if (smoothCorners_)
        smoothCornersOf(painter, trackRect_, QColor(back));

    fillGradient(painter, thumbRect_, q(colors.thumbFace), q(colors.thumbGrad), !vertical);
    frame(painter, thumbRect_, q(colors.thumbBorder));
    if (smoothCorners_)
        smoothCornersOf(painter, thumbRect_, QColor(back));

    drawTicks(painter, colors.tick);
    if (hasFocus())
        frame(painter, {0, 0, image_.width(), image_.height()}, pal.color(QPalette::Highlight));
    imageStale_ = false;
}

// The picture is kept between paints; it is drawn again only when something
// it shows changed without a Paint (a colour scheme, the palette, the size).
void GradientSlider::paintEvent(QPaintEvent*) {
    if (imageStale_ || image_.size() != QSize(std::max(width(), 1), std::max(height(), 1)))
        renderImage();
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void GradientSlider::resizeEvent(QResizeEvent*) {
    paint();
}

bool GradientSlider::isOnThumb(const QPoint& p) const {
    return p.x() > thumbRect_.left && p.x() < thumbRect_.right && p.y() > thumbRect_.top &&
           p.y() < thumbRect_.bottom;
}

void GradientSlider::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    if (isOnThumb(event->position().toPoint()))
        thumbState_ = tsDown;
    paint();
}

void GradientSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    const QPoint p = event->position().toPoint();
    if (thumbState_ != tsDown) {
        thumbState_ = isOnThumb(p) ? tsOver : tsNormal;
    } else {
        const int wanted =
            orientation_ == trVertical ? p.y() - kDragGrip : p.x() - thumbLength_ / 2;
        const int offset = std::max(0, std::min(wanted, trackLength_));
        position_ = positionForOffset(offset);
        thumbOffset_ = offsetForPosition(position_);
        emit sliderMoved(position_);
    }
    paint();
}

void GradientSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    thumbState_ = isOnThumb(event->position().toPoint()) ? tsOver : tsNormal;
    paint();
}

void GradientSlider::enterEvent(QEnterEvent*) {
    paint();
}

void GradientSlider::leaveEvent(QEvent*) {
    if (!isEnabled())
        return;
    if (thumbState_ != tsDown)
        thumbState_ = tsNormal;
    paint();
}

void GradientSlider::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        paint();
    else if (event->type() == QEvent::PaletteChange)
        imageStale_ = true;
    QWidget::changeEvent(event);
}

int GradientSlider::lineStep() const {
    return std::max(1, std::abs(max_ - min_) / 100);
}

void GradientSlider::moveTo(int position) {
    position = std::clamp(position, std::min(min_, max_), std::max(min_, max_));
    if (position == position_)
        return;
    position_ = position;
    thumbOffset_ = offsetForPosition(position_);
    paint();
    emit sliderMoved(position_);
}

void GradientSlider::keyPressEvent(QKeyEvent* event) {
    if (!isEnabled())
        return QWidget::keyPressEvent(event);
    const bool vertical = orientation_ == trVertical;
    const int page = std::max(1, std::abs(max_ - min_) / 10);
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!vertical)
            return QWidget::keyPressEvent(event);
        moveTo(position_ + (event->key() == Qt::Key_Up ? -lineStep() : lineStep()));
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (vertical)
            return QWidget::keyPressEvent(event);
        moveTo(position_ + (event->key() == Qt::Key_Left ? -lineStep() : lineStep()));
        break;
    case Qt::Key_PageUp:
        moveTo(position_ - page);
        break;
    case Qt::Key_PageDown:
        moveTo(position_ + page);
        break;
    case Qt::Key_Home:
        moveTo(min_);
        break;
    case Qt::Key_End:
        moveTo(max_);
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void GradientSlider::wheelEvent(QWheelEvent* event) {
    if (!isEnabled())
        return QWidget::wheelEvent(event);
    const QPoint delta = event->angleDelta();
    // A vertical wheel turned up moves a vertical thumb up (towards Min) and
    // a horizontal one to the right (towards Max).
    const int turned = delta.y() != 0 ? delta.y() : delta.x();
    wheelRest_ += orientation_ == trVertical ? turned : -turned;
    constexpr int kNotch = 120; // eighths of a degree
    const int steps = wheelRest_ / kNotch;
    wheelRest_ -= steps * kNotch;
    if (steps != 0)
        moveTo(position_ - steps * lineStep());
    event->accept();
}

void GradientSlider::focusInEvent(QFocusEvent* event) {
    paint();
    QWidget::focusInEvent(event);
}

void GradientSlider::focusOutEvent(QFocusEvent* event) {
    paint();
    QWidget::focusOutEvent(event);
}
