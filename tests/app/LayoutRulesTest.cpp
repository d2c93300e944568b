#include "app/LayoutRules.h"

#include <gtest/gtest.h>

namespace {
LayoutInput designInput(int width, int height) {
    LayoutInput in;
    in.windowWidth = width;
    in.windowHeight = height;
    in.resultslistLeft = 8;
    in.morelblWidth = 60;
    in.previewboxWidth = 500;
    in.previewboxHeight = 401;
    in.playerbox1Height = 385;
    in.playerbox2Width = 321;
    in.mixerboxWidth = 363;
    in.listViewLeft = 0;
    return in;
}
} // namespace

TEST(LayoutRules, DesignSizePlacesDecksAtTheEdgesAndTheMixerBetween) {
    const LayoutResult r = computeLayout(designInput(1032, 746));
    EXPECT_EQ(r.pageWidth, 1002);
    EXPECT_EQ(r.pageHeight, 686);
    EXPECT_EQ(r.listViewWidth, 982);
    EXPECT_EQ(r.musicboxWidth, 982);
    EXPECT_EQ(r.resultslistWidth, 982 - 8 - 10);
    EXPECT_EQ(r.resultsColumn0Width, 964 - 20);
    EXPECT_EQ(r.morelblLeft, 1002 - 60 - 30);
    EXPECT_EQ(r.previewboxLeft, 516 - 250);
    EXPECT_EQ(r.previewboxTop, 373 - 200); // 401 div 2 = 200
    EXPECT_EQ(r.fileColumnWidth, 0);
    EXPECT_EQ(r.trackColumnWidth, 962);
    EXPECT_EQ(r.playerbox1Left, 0);
    EXPECT_EQ(r.playerbox2Left, 982 - 321);
    EXPECT_EQ(r.mixerboxLeft, 491 - 181);
    EXPECT_EQ(r.listViewTop, 405);
    EXPECT_EQ(r.listViewHeight, 686 - 385 - 50);
}

TEST(LayoutRules, TinyWindowGivesNegativeSizesWithDivisionsTowardsZero) {
    // 25 x 41: every size below goes negative and is kept as computed.
    const LayoutResult r = computeLayout(designInput(25, 41));
    EXPECT_EQ(r.pageWidth, -5);
    EXPECT_EQ(r.pageHeight, -19);
    EXPECT_EQ(r.listViewWidth, -25);
    EXPECT_EQ(r.trackColumnWidth, -45);
    EXPECT_EQ(r.playerbox2Left, -25 - 321);
    // -25 div 2 = -12 (towards zero), 363 div 2 = 181.
    EXPECT_EQ(r.mixerboxLeft, -12 - 181);
    EXPECT_EQ(r.listViewHeight, -19 - 385 - 50);
    EXPECT_EQ(r.previewboxLeft, 12 - 250);
}
