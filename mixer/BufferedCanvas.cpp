#include "mixer/BufferedCanvas.h"

#include <QPaintEvent>
#include <QPainter>

BufferedCanvas::BufferedCanvas(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // nothing is erased before a paint
    resize(50, 50);
}

void BufferedCanvas::SetBackGroundColor(StoredColour value) {
    backGroundColor_ = value;
    HandleSize();
    DrawContents();
    update();
}

bool BufferedCanvas::HandleSize() {
    if (width() == bitmapWidth_ && height() == bitmapHeight_)
        return false;
    bitmapWidth_ = width();
    bitmapHeight_ = height();
    bitmap_ = QImage(std::max(bitmapWidth_, 1), std::max(bitmapHeight_, 1), QImage::Format_RGB32);
    SizeChanged();
    DrawContents();
    update();
    return true;
}

void BufferedCanvas::ClearBitmap() {
    bitmap_.fill(ToQColor(backGroundColor_, palette()));
}

void BufferedCanvas::DrawContents() {
    ClearBitmap();
    QPainter p(&bitmap_);
    p.setPen(Qt::black);
    p.drawLine(0, 0, width() - 1, height() - 1);
    p.drawLine(0, height() - 1, width() - 1, 0);
}

void BufferedCanvas::paintEvent(QPaintEvent* event) {
    if (HandleSize()) {
        QPainter painter(this);
        painter.drawImage(0, 0, bitmap_);
        return;
    }
    const QRect r = event->rect();
    QPainter painter(this);
    painter.drawImage(r.topLeft(), bitmap_, r);
}

void BufferedCanvas::resizeEvent(QResizeEvent*) {
    HandleSize();
}
