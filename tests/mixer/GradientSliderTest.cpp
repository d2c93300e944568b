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
    void SetUp() override { EnsureTestApp(); }
    std::unique_ptr<GradientSlider> Mixer(int max) {
        std::unique_ptr<GradientSlider> s(new GradientSlider);
        mixer_sliders::ApplyDesign(*s, max);
        return s;
    }
    // Positions seen by OnChange handlers, read at the moment of the event.
    void Record(GradientSlider& s) {
        seen_.clear();
        QObject::connect(&s, &GradientSlider::OnChange, &s,
                         [this, &s] { seen_.push_back(s.Position()); });
    }
    std::vector<int> seen_;
};

TEST_F(GradientSliderTest, ValuesAtCreationAndDesertScheme) {
    GradientSlider s;
    EXPECT_EQ(s.width(), 100);
    EXPECT_EQ(s.height(), 28);
    EXPECT_EQ(s.Min(), 0);
    EXPECT_EQ(s.Max(), 10);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(s.Frequency(), 1);
    EXPECT_TRUE(s.SmoothCorners());
    EXPECT_EQ(s.Orientation(), GradientSlider::trHorizontal);
    EXPECT_EQ(s.TickMarks(), GradientSlider::tmBottomRight);
    EXPECT_EQ(s.TickStyle(), GradientSlider::tsNone);
    EXPECT_EQ(s.ThumbState(), GradientSlider::tsNormal);
    EXPECT_EQ(s.ColorScheme(), GradientSlider::csDesert);
    EXPECT_EQ(s.BackColor(), clBtnFace);
    EXPECT_EQ(s.SlideFaceColor(), 0x28B9FFu);
    EXPECT_EQ(s.DownThumbGradColor(), 0x1AB5FFu);
    EXPECT_EQ(s.DisabledThumbGradColor(), 0xCFCFCFu);
}

TEST_F(GradientSliderTest, ColourIndexesSchemesAndCustom) {
    GradientSlider s;
    const std::vector<int> indexes{0,  1,  2,  10, 11, 12, 13, 14, 15, 16, 17,
                                   18, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    for (int i = 0; i <= 50; ++i)
        EXPECT_EQ(GradientSlider::IsColorIndex(i),
                  std::find(indexes.begin(), indexes.end(), i) != indexes.end())
            << i;
    s.SetColor(GradientSlider::ciOverThumbFaceColor, 0x123456);
    EXPECT_EQ(s.OverThumbFaceColor(), 0x123456u);
    EXPECT_EQ(s.ColorScheme(), GradientSlider::csCustom);

    s.SetColorScheme(GradientSlider::csSky);
    EXPECT_EQ(s.TickColor(), 0xC88D2Du);
    EXPECT_EQ(s.OverThumbFaceColor(), 0xFFCF9Fu);
    s.SetColorScheme(GradientSlider::csSun);
    EXPECT_EQ(s.DownThumbGradColor(), 0x91E9FFu);
    EXPECT_EQ(s.DisabledSlideFaceColor(), 0xD8D8D8u);
    s.SetSlideFaceColor(0x010203);
    EXPECT_EQ(s.ColorScheme(), GradientSlider::csCustom);
    s.SetColorScheme(GradientSlider::csCustom); // writes nothing
    EXPECT_EQ(s.SlideFaceColor(), 0x010203u);
    EXPECT_EQ(s.DownThumbGradColor(), 0x91E9FFu);
}

TEST_F(GradientSliderTest, VerticalGeometryOfMixerSlider) {
    auto s = Mixer(1000);
    EXPECT_EQ(s->width(), 50);
    EXPECT_EQ(s->height(), 280);
    EXPECT_EQ(s->ColorScheme(), GradientSlider::csCustom);
    EXPECT_EQ(s->Thickness(), 42);
    EXPECT_EQ(s->ThumbLength(), 21);
    EXPECT_EQ(s->TrackLength(), 259);
    EXPECT_EQ(s->TrackRect(), (PixelRect{17, 0, 33, 280}));
    EXPECT_EQ(s->ThumbRect().left, 4);
    EXPECT_EQ(s->ThumbRect().right, 46);
}

TEST_F(GradientSliderTest, PositionIsQuantisedByTheTrackAndEveryWriteFiresOnChange) {
    auto s = Mixer(1000);
    Record(*s);
    s->SetPosition(800);
    EXPECT_EQ(s->ThumbOffset(), 207);
    EXPECT_EQ(s->Position(), 799);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0], 799); // the event sees the painted value
    EXPECT_EQ(s->ThumbRect(), (PixelRect{4, 207, 46, 228}));

    s->SetPosition(799); // unchanged value still fires
    EXPECT_EQ(seen_.size(), 2u);

    auto m = Mixer(100);
    m->SetPosition(34);
    EXPECT_EQ(m->ThumbOffset(), 88);
    EXPECT_EQ(m->Position(), 34);
}

TEST_F(GradientSliderTest, OutOfRangeWritesStoreTheNearerBoundAndFire) {
    auto s = Mixer(65535);
    Record(*s);
    s->SetPosition(70000);
    EXPECT_EQ(s->Position(), 65535);
    EXPECT_EQ(s->ThumbOffset(), 259);
    s->SetPosition(-3);
    EXPECT_EQ(s->Position(), 0);
    EXPECT_EQ(seen_, (std::vector<int>{65535, 0}));

    s->SetPosition(500);
    s->SetMax(100); // pulls Position down, no event
    EXPECT_EQ(s->Position(), 100);
    s->SetMin(200); // Min and Max are not checked against each other
    EXPECT_EQ(s->Position(), 200);
    EXPECT_EQ(seen_.size(), 3u);
}

TEST_F(GradientSliderTest, EmptyRangeAndTinyControlDoNotCrash) {
    auto s = Mixer(1000);
    s->SetMax(0);
    s->SetPosition(5);
    EXPECT_EQ(s->Position(), 0);
    EXPECT_EQ(s->ThumbOffset(), 0);
    s->SetTickStyle(GradientSlider::tsAuto);
    s->grab();

    auto t = Mixer(1000);
    t->resize(50, 10); // track length 10 - 21 < 0
    t->SetPosition(600);
    EXPECT_EQ(t->ThumbOffset(), 0);
    EXPECT_EQ(t->Position(), 600);
    t->grab();
    GradientSlider h; // horizontal, 100 x 28
    h.resize(5, 28);
    h.SetPosition(3);
    h.grab();
}

TEST_F(GradientSliderTest, DragToBothEndsAndThumbStates) {
    auto s = Mixer(1000);
    s->show();
    Record(*s);
    s->SetPosition(500);
    seen_.clear();
    const PixelRect thumb = s->ThumbRect();
    const QPoint grip((thumb.left + thumb.right) / 2, thumb.top + 5);

    QTest::mouseMove(s.get(), grip);
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsOver);
    QTest::mousePress(s.get(), Qt::LeftButton, {}, grip);
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsDown);

    QTest::mouseMove(s.get(), QPoint(grip.x(), 3)); // y - 5 < 0
    EXPECT_EQ(s->ThumbOffset(), 0);
    EXPECT_EQ(s->Position(), 0);
    QTest::mouseMove(s.get(), QPoint(grip.x(), 259 + 5));
    EXPECT_EQ(s->ThumbOffset(), 259);
    EXPECT_EQ(s->Position(), 1000);
    QTest::mouseMove(s.get(), QPoint(grip.x(), 279));
    EXPECT_EQ(s->Position(), 1000);
    EXPECT_EQ(seen_, (std::vector<int>{0, 1000, 1000}));

    // Release away from the thumb: normal.
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsNormal);
    // Pressing on the track beside the thumb does nothing.
    QTest::mousePress(s.get(), Qt::LeftButton, {}, QPoint(25, 10));
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsNormal);
    QTest::mouseMove(s.get(), QPoint(25, 20));
    EXPECT_EQ(s->Position(), 1000);
    QTest::mouseRelease(s.get(), Qt::LeftButton, {}, QPoint(25, 20));
    EXPECT_EQ(seen_.size(), 3u);
}

TEST_F(GradientSliderTest, HorizontalGeometryAndDrag) {
    GradientSlider s; // 100 x 28, Max 10
    s.show();
    Record(s);
    s.SetPosition(5);
    EXPECT_EQ(s.Thickness(), 20);
    EXPECT_EQ(s.ThumbLength(), 10);
    EXPECT_EQ(s.TrackLength(), 90);
    EXPECT_EQ(s.ThumbOffset(), 45);
    EXPECT_EQ(s.Position(), 5); // a horizontal paint leaves Position alone
    EXPECT_EQ(s.ThumbRect(), (PixelRect{45, 4, 55, 24}));
    EXPECT_EQ(s.TrackRect(), (PixelRect{0, 10, 100, 18}));
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(50, 14));
    QTest::mouseMove(&s, QPoint(5 + 27, 14)); // offset 27: 10 * 27 / 90 = 3
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(s.ThumbOffset(), 27);
    QTest::mouseMove(&s, QPoint(99, 14));
    EXPECT_EQ(s.Position(), 10);
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(99, 14));
    EXPECT_EQ(seen_, (std::vector<int>{5, 3, 10}));
}

TEST_F(GradientSliderTest, ThumbBorderPixelsAreNotOnTheThumb) {
    auto s = Mixer(1000);
    s->show();
    const PixelRect t = s->ThumbRect(); // offset 0: {4, 0, 46, 21}
    QTest::mouseMove(s.get(), QPoint(t.left, 10));
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsNormal);
    QTest::mouseMove(s.get(), QPoint(t.left + 1, 10));
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsOver);
}

TEST_F(GradientSliderTest, DisabledSliderIgnoresTheMouse) {
    auto s = Mixer(1000);
    s->show();
    s->setEnabled(false);
    QTest::mousePress(s.get(), Qt::LeftButton, {}, QPoint(25, 10));
    QTest::mouseMove(s.get(), QPoint(25, 200));
    EXPECT_EQ(s->ThumbState(), GradientSlider::tsNormal);
    EXPECT_EQ(s->Position(), 0);
}

} // namespace
