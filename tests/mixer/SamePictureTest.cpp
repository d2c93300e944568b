// The meter and the slider draw with QPainter on kept images; their pictures
// must be, pixel for pixel, those of the row-by-row drawing they replaced. The
// reference is drawn here from each control's own geometry and colours.
#include "mixer/GradientSlider.h"
#include "mixer/InputMeterDesign.h"
#include "mixer/LevelMeter.h"
#include "mixer/MixerSliders.h"
#include "tests/mixer/ReferencePixels.h"
#include "tests/support/TestApp.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QImage shown(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage referenceSlider(const GradientSlider& s, bool down) {
    const QPalette pal = s.palette();
    auto q = [&](StoredColour c) { return toQColor(c, pal); };
    QImage img(s.size(), QImage::Format_RGB32);
    const QRgb back = q(s.backColor()).rgb();
    img.fill(back);
    const bool vertical = s.orientation() == GradientSlider::trVertical;
    auto corners = [&](const PixelRect& r) {
        if (!s.smoothCorners())
            return;
        for (const auto& [x, y] : {std::pair{r.left, r.top},
                                   {r.left, r.bottom - 1},
                                   {r.right - 1, r.top},
                                   {r.right - 1, r.bottom - 1}})
            pixels::setPixel(img, x, y, back);
    };
    pixels::fillGradient(img, s.trackRect(), q(s.slideFaceColor()), q(s.slideGradColor()),
                         vertical);
    pixels::frameRect(img, s.trackRect(), q(s.slideBorderColor()).rgb());
    corners(s.trackRect());
    pixels::fillGradient(img, s.thumbRect(), q(down ? s.downThumbFaceColor() : s.thumbFaceColor()),
                         q(down ? s.downThumbGradColor() : s.thumbGradColor()), !vertical);
    pixels::frameRect(img, s.thumbRect(),
                      q(down ? s.downThumbBorderColor() : s.thumbBorderColor()).rgb());
    corners(s.thumbRect());
    return img;
}

QImage referenceMeter(const LevelMeter& m) {
    const QPalette pal = m.palette();
    QImage img(m.size(), QImage::Format_RGB32);
    img.fill(toQColor(m.backGroundColor(), pal));
    for (int column = 0; column < (m.stereo() ? 2 : 1); ++column) {
        for (int i = 0; i <= m.topIndex(); ++i) {
            const StoredColour c = i < m.litCount(column) ? m.litColor(i) : m.dimColor(i);
            const int top = m.segmentY(i) - m.penWidth() / 2;
            pixels::fillRect(img, m.columnStart(column), top, m.columnEnd(column) + 1,
                             top + m.penWidth(), toQColor(c, pal).rgb());
        }
    }
    return img;
}

TEST(SamePicture, SliderInBothOrientationsPositionsCornersAndThumbStates) {
    ensureTestApp();
    for (const bool vertical : {true, false}) {
        for (const bool smooth : {true, false}) {
            GradientSlider s;
            mixer_sliders::applyDesign(s, 1000);
            if (!vertical) {
                s.setOrientation(GradientSlider::trHorizontal);
                s.resize(200, 28);
            }
            s.setSmoothCorners(smooth);
            for (const int position : {0, 377, 1000}) {
                s.setPosition(position);
                EXPECT_EQ(shown(s), referenceSlider(s, false))
                    << "vertical " << vertical << " smooth " << smooth << " at " << position;
            }
            // Pressed on the thumb: the thumb takes the "down" colours.
            const PixelRect t = s.thumbRect();
            s.show();
            QTest::mousePress(&s, Qt::LeftButton, {},
                              QPoint((t.left + t.right) / 2, (t.top + t.bottom) / 2));
            ASSERT_EQ(s.thumbState(), GradientSlider::tsDown);
            EXPECT_EQ(shown(s), referenceSlider(s, true)) << "vertical " << vertical;
            // A new scheme is drawn with the next paint, not with the old colours.
            s.setColorScheme(GradientSlider::csSky);
            QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(0, 0));
            EXPECT_EQ(shown(s), referenceSlider(s, false)) << "vertical " << vertical;
        }
    }
}

TEST(SamePicture, MeterAsLevelsRiseAndFallInStereoAndMono) {
    ensureTestApp();
    std::unique_ptr<LevelMeter> meter(createInputMeter(nullptr));
    for (const bool stereo : {false, true}) {
        meter->setstereo(stereo);
        for (const auto& [left, right] :
             {std::pair{0.5f, 0.02f}, {1.0f, 0.3f}, {0.01f, 1.0f}, {0.0f, 0.0f}, {0.2f, 0.7f}}) {
            meter->setLevels(left, right);
            EXPECT_EQ(shown(*meter), referenceMeter(*meter))
                << "stereo " << stereo << " levels " << left << " " << right;
        }
    }
    meter->setpenWidth(3); // a pen wider than the gap between segments
    meter->setLevels(0.4f, 0.4f);
    EXPECT_EQ(shown(*meter), referenceMeter(*meter));
}

} // namespace
