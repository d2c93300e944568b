#include "mixer/GradientSlider.h"
#include "mixer/MixerSliders.h"
#include "tests/support/TestApp.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

class GradientSliderTest : public ::testing::Test {
protected:
    void SetUp() override { ensureTestApp(); }
    std::unique_ptr<GradientSlider> Mixer(int max) {
        std::unique_ptr<GradientSlider> s(new GradientSlider);
        mixer_sliders::applyDesign(*s, max);
        return s;
    }
    // Positions the user's signal reports; the slider already shows them.
    void record(GradientSlider& s) {
        seen_.clear();
        QObject::connect(&s, &GradientSlider::sliderMoved, &s, [this, &s](int position) {
            EXPECT_EQ(position, s.position());
            seen_.push_back(position);
        });
    }
    std::vector<int> seen_;
};

TEST_F(GradientSliderTest, ValuesAtCreationAndDesertScheme) {
    GradientSlider s;
    EXPECT_EQ(s.width(), 100);
    EXPECT_EQ(s.height(), 28);
    EXPECT_EQ(s.minimum(), 0);
    EXPECT_EQ(s.maximum(), 10);
    EXPECT_EQ(s.position(), 0);
    EXPECT_EQ(s.frequency(), 1);
    EXPECT_TRUE(s.smoothCorners());
    EXPECT_EQ(s.orientation(), GradientSlider::trHorizontal);
    EXPECT_EQ(s.tickMarks(), GradientSlider::tmBottomRight);
    EXPECT_EQ(s.tickStyle(), GradientSlider::tsNone);
    EXPECT_EQ(s.thumbState(), GradientSlider::tsNormal);
    EXPECT_EQ(s.colorScheme(), GradientSlider::csDesert);
    EXPECT_EQ(s.backColor(), clBtnFace);
    EXPECT_EQ(s.slideFaceColor(), 0x28B9FFu);
    EXPECT_EQ(s.downThumbGradColor(), 0x1AB5FFu);
    EXPECT_EQ(s.disabledThumbGradColor(), 0xCFCFCFu);
}

TEST_F(GradientSliderTest, ColourIndexesSchemesAndCustom) {
    GradientSlider s;
    const std::vector<int> indexes{0,  1,  2,  10, 11, 12, 13, 14, 15, 16, 17,
                                   18, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(GradientSlider::isColorIndex(i),
                  std::find(indexes.begin(), indexes.end(), i) != indexes.end())
            << i;
    s.setColor(GradientSlider::ciOverThumbFaceColor, 0x123456);
    EXPECT_EQ(s.overThumbFaceColor(), 0x123456u);
    EXPECT_EQ(s.colorScheme(), GradientSlider::csCustom);

    s.setColorScheme(GradientSlider::csSky);
    EXPECT_EQ(s.tickColor(), 0xC88D2Du);
    EXPECT_EQ(s.overThumbFaceColor(), 0xFFCF9Fu);
    s.setColorScheme(GradientSlider::csSun);
    EXPECT_EQ(s.downThumbGradColor(), 0x91E9FFu);
    EXPECT_EQ(s.disabledSlideFaceColor(), 0xD8D8D8u);
    s.setSlideFaceColor(0x010203);
    EXPECT_EQ(s.colorScheme(), GradientSlider::csCustom);
    s.setColorScheme(GradientSlider::csCustom); // writes nothing
    EXPECT_EQ(s.slideFaceColor(), 0x010203u);
    EXPECT_EQ(s.downThumbGradColor(), 0x91E9FFu);
}

TEST_F(GradientSliderTest, VerticalGeometryOfMixerSlider) {
    auto s = Mixer(1000);
    EXPECT_EQ(s->width(), 50);
    EXPECT_EQ(s->height(), 280);
    EXPECT_EQ(s->colorScheme(), GradientSlider::csCustom);
    EXPECT_EQ(s->thickness(), 42);
    EXPECT_EQ(s->thumbLength(), 21);
    EXPECT_EQ(s->trackLength(), 259);
    EXPECT_EQ(s->trackRect(), (PixelRect{17, 0, 33, 280}));
    EXPECT_EQ(s->thumbRect().left, 4);
    EXPECT_EQ(s->thumbRect().right, 46);
}

TEST_F(GradientSliderTest, PositionIsQuantisedByTheTrackAndWritesAreSilent) {
    auto s = Mixer(1000);
    record(*s);
    s->setPosition(800);
    EXPECT_EQ(s->thumbOffset(), 207);
    EXPECT_EQ(s->position(), 799);
    EXPECT_EQ(s->thumbRect(), (PixelRect{4, 207, 46, 228}));
    s->setPosition(799);
    EXPECT_TRUE(seen_.empty()) << "a write by the program is not a user's move";
    QTest::keyClick(s.get(), Qt::Key_End); // a person's move is reported
    QTest::keyClick(s.get(), Qt::Key_End); // already there: nothing moved
    EXPECT_EQ(seen_, (std::vector<int>{1000}));

    auto m = Mixer(100);
    m->setPosition(34);
    EXPECT_EQ(m->thumbOffset(), 88);
    EXPECT_EQ(m->position(), 34);
}

TEST_F(GradientSliderTest, OutOfRangeWritesStoreTheNearerBound) {
    auto s = Mixer(65535);
    record(*s);
    s->setPosition(70000);
    EXPECT_EQ(s->position(), 65535);
    EXPECT_EQ(s->thumbOffset(), 259);
    s->setPosition(-3);
    EXPECT_EQ(s->position(), 0);

    s->setPosition(500);
    s->setMaximum(100); // pulls the position down
    EXPECT_EQ(s->position(), 100);
    s->setMinimum(200); // minimum and maximum are not checked against each other
    EXPECT_EQ(s->position(), 200);
    EXPECT_TRUE(seen_.empty());
}

TEST_F(GradientSliderTest, EmptyRangeAndTinyControlDoNotCrash) {
    auto s = Mixer(1000);
    s->setMaximum(0);
    s->setPosition(5);
    EXPECT_EQ(s->position(), 0);
    EXPECT_EQ(s->thumbOffset(), 0);
    s->setTickStyle(GradientSlider::tsAuto);
    s->grab();

    auto t = Mixer(1000);
    t->resize(50, 10); // track length 10 - 21 < 0
    t->setPosition(600);
    EXPECT_EQ(t->thumbOffset(), 0);
    EXPECT_EQ(t->position(), 600);
    t->grab();
    GradientSlider h; // horizontal, 100 x 28
    h.resize(5, 28);
    h.setPosition(3);
    h.grab();
}

TEST_F(GradientSliderTest, DragToBothEndsAndThumbStates) {
    auto s = Mixer(1000);
    s->show();
    record(*s);
    s->setPosition(500);
    seen_.clear();
    const PixelRect thumb = s->thumbRect();
    const QPoint grip((thumb.left + thumb.right) / 2, thumb.top + 5);

    QTest::mouseMove(s.get(), grip);
    EXPECT_EQ(s->thumbState(), GradientSlider::tsOver);
    QTest::mousePress(s.get(), Qt::LeftButton, {}, grip);
    EXPECT_EQ(s->thumbState(), GradientSlider::tsDown);

    QTest::mouseMove(s.get(), QPoint(grip.x(), 3)); // y - 5 < 0
    EXPECT_EQ(s->thumbOffset(), 0);
    EXPECT_EQ(s->position(), 0);
    QTest::mouseMove(s.get(), QPoint(grip.x(), 259 + 5));
    EXPECT_EQ(s->thumbOffset(), 259);
    EXPECT_EQ(s->position(), 1000);
    QTest::mouseMove(s.get(), QPoint(grip.x(), 279));
    EXPECT_EQ(s->position(), 1000);
    EXPECT_EQ(seen_, (std::vector<int>{0, 1000, 1000}));

    // Release away from the thumb: normal.
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(s->thumbState(), GradientSlider::tsNormal);
    // Pressing on the track beside the thumb does nothing.
    QTest::mousePress(s.get(), Qt::LeftButton, {}, QPoint(25, 10));
    EXPECT_EQ(s->thumbState(), GradientSlider::tsNormal);
    QTest::mouseMove(s.get(), QPoint(25, 20));
    EXPECT_EQ(s->position(), 1000);
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, QPoint(25, 20));
    EXPECT_EQ(seen_.size(), 3u);
}

TEST_F(GradientSliderTest, HorizontalGeometryAndDrag) {
    GradientSlider s; // 100 x 28, Max 10
    s.show();
    record(s);
    s.setPosition(5);
    EXPECT_EQ(s.thickness(), 20);
    EXPECT_EQ(s.thumbLength(), 10);
    EXPECT_EQ(s.trackLength(), 90);
    EXPECT_EQ(s.thumbOffset(), 45);
    EXPECT_EQ(s.position(), 5); // a horizontal paint leaves the position alone
    EXPECT_EQ(s.thumbRect(), (PixelRect{45, 4, 55, 24}));
    EXPECT_EQ(s.trackRect(), (PixelRect{0, 10, 100, 18}));
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(50, 14));
    QTest::mouseMove(&s, QPoint(5 + 27, 14)); // offset 27: 10 * 27 / 90 = 3
    EXPECT_EQ(s.position(), 3);
    EXPECT_EQ(s.thumbOffset(), 27);
    QTest::mouseMove(&s, QPoint(99, 14));
    EXPECT_EQ(s.position(), 10);
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(99, 14));
    EXPECT_EQ(seen_, (std::vector<int>{3, 10}));
}

TEST_F(GradientSliderTest, ThumbBorderPixelsAreNotOnTheThumb) {
    auto s = Mixer(1000);
    s->show();
    const PixelRect t = s->thumbRect(); // offset 0: {4, 0, 46, 21}
    QTest::mouseMove(s.get(), QPoint(t.left, 10));
    EXPECT_EQ(s->thumbState(), GradientSlider::tsNormal);
    QTest::mouseMove(s.get(), QPoint(t.left + 1, 10));
    EXPECT_EQ(s->thumbState(), GradientSlider::tsOver);
}

TEST_F(GradientSliderTest, DisabledSliderIgnoresTheMouse) {
    auto s = Mixer(1000);
    s->show();
    s->setEnabled(false);
    QTest::mousePress(s.get(), Qt::LeftButton, {}, QPoint(25, 10));
    QTest::mouseMove(s.get(), QPoint(25, 200));
    EXPECT_EQ(s->thumbState(), GradientSlider::tsNormal);
    EXPECT_EQ(s->position(), 0);
}

} // namespace
