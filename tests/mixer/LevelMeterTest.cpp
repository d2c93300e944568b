#include "mixer/LevelMeter.h"
#include "mixer/InputLevel.h"
#include "mixer/InputMeterDesign.h"
#include "tests/support/TestApp.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A stereo 16-bit buffer of 8192 bytes whose largest sample is `peak`.
std::vector<char> bufferWithPeak(std::int16_t peak, std::int16_t rest = -5) {
    std::vector<std::int16_t> samples(4096, rest);
    samples[1234] = peak;
    std::vector<char> bytes(8192);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

class Meter : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        meter_.reset(createInputMeter(nullptr));
        level_ = std::make_unique<InputLevel>(meter_.get());
    }
    int litAfterPeak(std::int16_t peak) {
        level_->onCaptureBlock(bufferWithPeak(peak));
        return meter_->litCount(0);
    }
    std::unique_ptr<LevelMeter> meter_;
    std::unique_ptr<InputLevel> level_;
};

TEST_F(Meter, ScaleOfTheWindowMeter) {
    EXPECT_EQ(meter_->topIndex(), 92);
    EXPECT_FLOAT_EQ(meter_->threshold(92), 1.0f);
    EXPECT_NEAR(meter_->threshold(75), 0.345, 0.0005);
    EXPECT_NEAR(meter_->threshold(56), 0.105, 0.0005);
    EXPECT_NEAR(meter_->threshold(0), 0.00316, 0.00001);
    EXPECT_EQ(meter_->columnStart(0), 1);
    EXPECT_EQ(meter_->columnEnd(0), 23);
    EXPECT_EQ(meter_->litColor(75), 0xFFFF80u);
    EXPECT_EQ(meter_->litColor(74), clBlue);
    EXPECT_EQ(meter_->dimColor(92), 0x7F7F40u);
    EXPECT_EQ(meter_->dimColor(0), 0x7F0000u);
    // Band borders, made visible with three different colours.
    meter_->setcolorMed(clYellow);
    EXPECT_EQ(meter_->litColor(56), clYellow);
    EXPECT_EQ(meter_->litColor(74), clYellow);
    EXPECT_EQ(meter_->litColor(55), clBlue);
}

TEST_F(Meter, PeaksLightTheirSegments) {
    EXPECT_EQ(litAfterPeak(32767), 88); // segments 0..87
    EXPECT_NEAR(meter_->leftLevel(), 0.743, 0.0005);
    EXPECT_EQ(litAfterPeak(10000), 69); // falls in one update
    EXPECT_EQ(litAfterPeak(1000), 32);
    EXPECT_EQ(litAfterPeak(100), 0);
    EXPECT_EQ(litAfterPeak(10000), 69); // rises in one update
    EXPECT_EQ(litAfterPeak(10000), 69);
    // All samples negative or zero: level 0, the whole bar dims.
    level_->onCaptureBlock(bufferWithPeak(0, -30000));
    EXPECT_EQ(meter_->litCount(0), 0);
    EXPECT_FLOAT_EQ(meter_->leftLevel(), 0.0f);
}

TEST_F(Meter, OddLevelsShowAsZeroAndTheTopSegmentNeverLights) {
    meter_->setLevels(0.5f, 0.0f);
    ASSERT_GT(meter_->litCount(0), 0);
    meter_->setLevels(std::numeric_limits<float>::quiet_NaN(), 0.0f);
    EXPECT_EQ(meter_->litCount(0), 0);
    meter_->setLevels(-1.0f, 0.0f);
    EXPECT_EQ(meter_->litCount(0), 0);
    meter_->setLevels(5.0f, 0.0f);
    EXPECT_EQ(meter_->litCount(0), 92);
}

TEST_F(Meter, LevelPropertyRules) {
    LevelMeter m;
    EXPECT_EQ(m.width(), 32);
    EXPECT_EQ(m.height(), 152);
    EXPECT_EQ(m.backGroundColor(), clSilver);
    EXPECT_TRUE(m.stereo());
    m.setlevelMin(10);
    EXPECT_EQ(m.levelMin(), -1);
    m.setlevelMin(-50);
    m.setlevelMax(-60);
    EXPECT_EQ(m.levelMax(), -49);
    m.setlevelMax(0);
    m.setlevelHigh(5);
    EXPECT_EQ(m.levelHigh(), 0);
    // Stereo columns: half = 16, left 1..14, right 17..30.
    EXPECT_EQ(m.columnStart(0), 1);
    EXPECT_EQ(m.columnEnd(0), 14);
    EXPECT_EQ(m.columnStart(1), 17);
    EXPECT_EQ(m.columnEnd(1), 30);
    m.setLevels(0.0f, 0.9f);
    EXPECT_EQ(m.litCount(0), 0);
    EXPECT_GT(m.litCount(1), 0);
    EXPECT_EQ(LevelMeter::dimmed(0xFF0000), 0x7F0000u);
    EXPECT_EQ(LevelMeter::dimmed(0xFFFF80), 0x7F7F40u);
}

TEST_F(Meter, SegmentCountFollowsTheHeight) {
    LevelMeter m;
    m.resize(32, 8);
    m.setLevels(0.0f, 0.0f);
    EXPECT_EQ(m.topIndex(), 1);
    m.resize(32, 5);
    m.setLevels(0.0f, 0.0f);
    EXPECT_EQ(m.topIndex(), 1);
    m.resize(32, 4);
    m.setLevels(1.0f, 1.0f);
    EXPECT_LT(m.topIndex(), 0);
    EXPECT_EQ(m.litCount(0), 0);
    m.resize(32, 305);
    m.setLevels(0.0f, 0.0f);
    EXPECT_EQ(m.topIndex(), 100);
    m.resize(32, 400);
    m.setLevels(1.0f, 1.0f);
    EXPECT_EQ(m.topIndex(), 100);
    EXPECT_EQ(m.litCount(0), 100);
}

TEST_F(Meter, PictureShowsLitAndDimmedRows) {
    litAfterPeak(10000); // segments 0..68 lit
    const QImage img = meter_->grab().toImage();
    auto px = [&](int x, int y) { return img.pixel(x, y) | 0xFF000000u; };
    const QRgb black = qRgb(0, 0, 0), blue = qRgb(0, 0, 255), dimBlue = qRgb(0, 0, 127);
    const QRgb dimHigh = qRgb(0x40, 0x7F, 0x7F);
    auto rowsOf = [&](int i) { return std::pair{279 - 3 * i - 1, 279 - 3 * i}; };
    for (int i : {0, 30, 55, 56, 68}) {
        const auto [a, b] = rowsOf(i);
        EXPECT_EQ(px(1, a), blue) << i;
        EXPECT_EQ(px(23, b), blue) << i;
        EXPECT_EQ(px(12, b + 1), black) << i; // the gap between segments
        EXPECT_EQ(px(0, b), black) << i;
        EXPECT_EQ(px(24, b), black) << i;
    }
    for (int i : {69, 74}) {
        const auto [a, b] = rowsOf(i);
        EXPECT_EQ(px(1, a), dimBlue) << i;
        EXPECT_EQ(px(23, b), dimBlue) << i;
    }
    for (int i : {75, 92}) {
        const auto [a, b] = rowsOf(i);
        EXPECT_EQ(px(12, a), dimHigh) << i;
        EXPECT_EQ(px(12, b), dimHigh) << i;
    }
    EXPECT_EQ(px(12, 0), black); // above the top segment (rows 2-3)
    EXPECT_EQ(px(12, 1), black);
    EXPECT_EQ(px(12, 280), black); // below the bottom segment (rows 278-279)
}

} // namespace
