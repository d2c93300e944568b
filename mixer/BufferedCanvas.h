#pragma once

#include "mixer/WinColor.h"

#include <QImage>
#include <QWidget>

// BufferedCanvas: a control that draws into an off-screen image of its own size and
// copies the image to the screen in one step when painted, so nothing flickers.
// Subclasses draw in DrawContents and react to a new size in SizeChanged.
class BufferedCanvas : public QWidget {
    Q_OBJECT
public:
    explicit BufferedCanvas(QWidget* parent = nullptr);

    StoredColour backGroundColor() const { return backGroundColor_; }
    void setBackGroundColor(StoredColour value);

    // The off-screen picture (for tests and for copying elsewhere).
    const QImage& bitmap() const { return bitmap_; }

protected:
    // Draws the whole picture into the bitmap. The base clears it and draws
    // the two diagonals.
    virtual void drawContents();
    // Called after the bitmap took a new size.
    virtual void sizeChanged() {}

    // Fills the bitmap with BackGroundColor.
    void clearBitmap();
    QImage& canvas() { return bitmap_; }
    // Gives the bitmap the control's size if it changed; true if it did.
    bool handleSize();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    StoredColour backGroundColor_ = clSilver;
    int bitmapWidth_ = -1;
    int bitmapHeight_ = -1;
    QImage bitmap_;
};
