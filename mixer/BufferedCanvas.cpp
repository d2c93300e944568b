#include "mixer/BufferedCanvas.h"

#include <QPaintEvent>
#include <QPainter>

BufferedCanvas::BufferedCanvas(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // nothing is erased before a paint
    resize(50, 50);
}

void BufferedCanvas::setBackGroundColor(StoredColour value) {
    backGroundColor_ = value;
    handleSize();
    drawContents();
    update();
}

bool BufferedCanvas::handleSize() {
    if (width() == bitmapWidth_ && height() == bitmapHeight_)
        return false;
    bitmapWidth_ = width();
    bitmapHeight_ = height();
    bitmap_ = QImage(std::max(bitmapWidth_, 1), std::max(bitmapHeight_, 1), QImage::Format_RGB32);
    sizeChanged();
    drawContents();
    update();
    return true;
}

void BufferedCanvas::clearBitmap() {
    bitmap_.fill(toQColor(backGroundColor_, palette()));
}

void BufferedCanvas::drawContents() {
    clearBitmap();
    QPainter p(&bitmap_);
    p.setPen(Qt::black);
    p.drawLine(0, 0, width() - 1, height() - 1);
    p.drawLine(0, height() - 1, width() - 1, 0);
}

void BufferedCanvas::paintEvent(QPaintEvent* event) {
    if (handleSize()) {
        QPainter painter(this);
        painter.drawImage(0, 0, bitmap_);
        return;
    }
    const QRect r = event->rect();
    QPainter painter(this);
    painter.drawImage(r.topLeft(), bitmap_, r);
}

void BufferedCanvas::resizeEvent(QResizeEvent*) {
    handleSize();
}
