#include "mixer/LevelCapture.h"
#include "platform/capture/VirtualInput.h"
#include "tests/support/TestApp.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vi = audio::virtual_input;

namespace {

// As the level meter records: 44100 Hz stereo, blocks of 8192 bytes.
class LevelCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        audio::useCaptureBackend(audio::CaptureBackend::Virtual);
        vi::resetState();
        in_ =
            std::make_unique<LevelCapture>(audio::CaptureFormat{44100, 2, audio::SampleType::Int16},
                                           8192, [this](std::span<const char> block) {
                                               firstBytes_.push_back(block[0]);
                                               sizes_.push_back(block.size());
                                           });
    }
    void TearDown() override {
        in_.reset();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(vi::openCaptures(), 0);
    }
    // Records one whole block whose bytes all have the given value.
    static void record(char value) {
        const std::vector<char> bytes(8192, value);
        vi::feed(bytes.data(), bytes.size());
    }
    std::unique_ptr<LevelCapture> in_;
    std::vector<char> firstBytes_;
    std::vector<std::size_t> sizes_;
};

TEST_F(LevelCaptureTest, BlocksReachTheWindowInOrderAndAtMostTwoWait) {
    ASSERT_TRUE(in_->start());
    EXPECT_TRUE(in_->isDelivering());
    EXPECT_EQ(vi::openCaptures(), 1);
    for (char v : {1, 2, 3}) {
        record(v);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(firstBytes_, (std::vector<char>{1, 2, 3}));
    EXPECT_EQ(sizes_, std::vector<std::size_t>(3, 8192));

    // A window that has not taken two blocks loses the third, not the later ones.
    for (char v : {4, 5, 6})
        record(v);
    QCoreApplication::sendPostedEvents();
    record(7);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(firstBytes_, (std::vector<char>{1, 2, 3, 4, 5, 7}));
}

TEST_F(LevelCaptureTest, StoppingDropsTheBlocksOnTheirWay) {
    ASSERT_TRUE(in_->start());
    record(1);
    in_->stopWhenDrained(); // one on its way: open until it is in
    EXPECT_TRUE(in_->isOpen());
    EXPECT_FALSE(in_->isDelivering());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(in_->isOpen());
    EXPECT_EQ(vi::openCaptures(), 0);

    ASSERT_TRUE(in_->start());
    in_->stopWhenDrained(); // none on its way: closed at once
    EXPECT_FALSE(in_->isOpen());

    ASSERT_TRUE(in_->start());
    record(2);
    in_->stop();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(firstBytes_.empty());
    EXPECT_EQ(vi::openCaptures(), 0);

    ASSERT_TRUE(in_->start()); // opened again, it records again
    record(3);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(firstBytes_, (std::vector<char>{3}));
}

TEST_F(LevelCaptureTest, FailuresSayWhyAndLeaveNothingOpen) {
    vi::failNextOpen("The sound input is busy.");
    audio::Status status = in_->start();
    EXPECT_EQ(status.error(), "The sound input is busy.");
    vi::failNextStart("The sound input could not start.");
    status = in_->start();
    EXPECT_EQ(status.error(), "The sound input could not start.");
    EXPECT_FALSE(in_->isOpen());
    EXPECT_EQ(vi::openCaptures(), 0);

    LevelCapture refused({0, 2, audio::SampleType::Int16}, 8192, {});
    status = refused.start();
    EXPECT_NE(status.error().find("format"), std::string::npos) << status.error();
    EXPECT_FALSE(refused.isOpen());
}

} // namespace
