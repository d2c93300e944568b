#include "mixer/GradientSlider.h"
#include "mixer/MixerSliders.h"
#include "tests/support/TestApp.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QRgb rgb(StoredColour c) {
    return toQColor(c).rgb();
}

class GradientSliderPixels : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        slider_.reset(new GradientSlider);
        mixer_sliders::applyDesign(*slider_, 1000);
    }
    QRgb at(int x, int y) { return slider_->grab().toImage().pixel(x, y) | 0xFF000000u; }
    std::unique_ptr<GradientSlider> slider_;
};

TEST_F(GradientSliderPixels, TrackHasGradientBorderAndSmoothedCorners) {
    slider_->setPosition(800); // thumb at 207..228
    const QImage img = slider_->grab().toImage();
    auto px = [&](int x, int y) { return img.pixel(x, y) | 0xFF000000u; };
    EXPECT_EQ(px(0, 100), rgb(clBlack));   // back colour beside the track
    EXPECT_EQ(px(17, 0), rgb(clBlack));    // smoothed corner of the track
    EXPECT_EQ(px(32, 279), rgb(clBlack));  // smoothed corner of the track
    EXPECT_EQ(px(17, 100), rgb(0x2A2A2A)); // left border
    EXPECT_EQ(px(32, 100), rgb(0x2A2A2A)); // right border
    EXPECT_EQ(px(20, 0), rgb(0x2A2A2A));   // top border
    // Face 0x53 to black across 16 columns: column 1 is 83 - 83/16 = 77.8 -> 78.
    EXPECT_EQ(px(18, 100), qRgb(78, 78, 78));
    EXPECT_EQ(px(31, 100), qRgb(10, 10, 10)); // column 14: 83 - 14 * 5.1875 = 10.4
    // Thumb: gradient from top to bottom over 21 rows; row 1: 83 - 83/21 = 79.05.
    EXPECT_EQ(px(4, 207), rgb(clBlack)); // smoothed corner
    EXPECT_EQ(px(10, 207), rgb(0x2A2A2A));
    EXPECT_EQ(px(10, 208), qRgb(79, 79, 79));
    EXPECT_EQ(px(45, 227), rgb(clBlack));
    EXPECT_EQ(px(10, 227), rgb(0x2A2A2A));
    EXPECT_EQ(px(10, 229), px(10, 100)); // below the thumb: the track again
}

TEST_F(GradientSliderPixels, ThumbBorderFollowsTheState) {
    slider_->setThumbBorderColor(0x0000FF);
    slider_->setOverThumbBorderColor(0x00FF00);
    slider_->setDownThumbBorderColor(0xFF0000);
    slider_->show();
    slider_->setPosition(500); // offset round(129.5) = 130 (halves to even)
    ASSERT_EQ(slider_->thumbOffset(), 130);
    const int top = slider_->thumbRect().top;
    EXPECT_EQ(at(20, top), rgb(0x0000FF));
    QTest::mouseMove(slider_.get(), QPoint(20, top + 5));
    EXPECT_EQ(at(20, top), rgb(0x00FF00));
    QTest::mousePress(slider_.get(), Qt::LeftButton, {}, QPoint(20, top + 5));
    EXPECT_EQ(at(20, top), rgb(0xFF0000));
    QTest::mouseRelease(slider_.get(), Qt::LeftButton, {}, QPoint(20, top + 5));
    EXPECT_EQ(at(20, top), rgb(0x00FF00));
    slider_->setEnabled(false);
    EXPECT_EQ(at(20, top), rgb(0xB5B5B5));
    EXPECT_EQ(at(17, 100), rgb(0xBEBEBE)); // disabled track border
}

TEST_F(GradientSliderPixels, TicksRoundHalvesToEvenAndManualDrawsTheEnds) {
    slider_->resize(50, 282); // track length 261
    slider_->setMaximum(2);
    slider_->setTickMarks(GradientSlider::tmBoth);
    slider_->setTickStyle(GradientSlider::tsAuto);
    const QImage img = slider_->grab().toImage();
    auto tick = [&](int x, int y) { return (img.pixel(x, y) | 0xFF000000u) == rgb(clGray); };
    // 261 * 1 / 2 = 130.5 rounds to 130; plus half the thumb (10).
    for (int y : {10, 140, 271}) {
        EXPECT_TRUE(tick(0, y) && tick(2, y) && tick(47, y) && tick(49, y)) << y;
        EXPECT_FALSE(tick(3, y)) << y;
    }
    EXPECT_FALSE(tick(0, 141));

    slider_->setMaximum(4);
    slider_->setFrequency(0); // every value gets a tick
    const QImage every = slider_->grab().toImage();
    for (int y : {10, 75, 140, 206, 271}) // round(261 * i / 4) + 10
        EXPECT_EQ(every.pixel(0, y) | 0xFF000000u, rgb(clGray)) << y;
    slider_->setTickStyle(GradientSlider::tsManual);
    const QImage manual = slider_->grab().toImage();
    auto mtick = [&](int y) { return (manual.pixel(0, y) | 0xFF000000u) == rgb(clGray); };
    EXPECT_TRUE(mtick(10));
    EXPECT_TRUE(mtick(271));
    EXPECT_FALSE(mtick(140));
}

} // namespace
