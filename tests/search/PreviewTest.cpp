#include "MusicLibraryFixture.h"
#include "search/VideoPreview.h"

#include <QGroupBox>
#include <QMediaPlayer>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

namespace {
// A two-second test picture, made with ffmpeg once per run.
std::string makeClip() {
    static const std::string clip = [] {
        const std::string path =
            testing::TempDir() + "/preview_clip_" + std::to_string(getpid()) + ".mp4";
        const std::string command =
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 2 "
            "-c:v libx264 -pix_fmt yuv420p -movflags +faststart '" +
            path + "'";
        return std::system(command.c_str()) == 0 ? path : std::string();
    }();
    return clip;
}

// The player has shown that it decodes the clip: its position moved on, or it
// reached the end of the clip.
QMediaPlayer* mediaPlayer(const VideoPreview* preview) {
    return qobject_cast<QMediaPlayer*>(preview->player());
}

bool playedSome(const QMediaPlayer* player) {
    return player->position() > 0 || player->mediaStatus() == QMediaPlayer::EndOfMedia;
}

class PreviewTest : public MusicLibraryFixture {
protected:
    void SetUp() override {
        MusicLibraryFixture::SetUp();
        const std::string clip = makeClip();
        ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the test clip";
        server_.serve("/media/clip.mp4", {200, "video/mp4", readFile(clip), {}});
        std::string feed = answer("youtube_sources_compact.xml");
        replace(feed, "PLAYER_ONE", "http://" + server_.host() + "/media/clip.mp4");
        replace(feed, "PLAYER_TWO", "http://" + server_.host() + "/media/missing.mp4");
        server_.serve("/api/video/", {200, "text/xml", feed, {}});
        page_->show();
        searched([&] { library_->runQuery("youtube.sources", "clips"); });
    }

    static void replace(std::string& text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    }

    void doubleClickRow(int row) {
        QTreeWidget* list = library_->widgets().resultsList;
        list->clearSelection();
        list->topLevelItem(row)->setSelected(true);
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    VideoPreview* flash() const { return library_->widgets().previewPlayer; }
};
} // namespace

TEST_F(PreviewTest, DoubleClickPlaysTheVideoAndXStopsItAndHidesTheBox) {
    const MusicLibraryWidgets& w = library_->widgets();
    EXPECT_FALSE(w.previewbox->isVisible());
    doubleClickRow(0);
    EXPECT_TRUE(w.previewbox->isVisible());
    EXPECT_EQ(flash()->flashVars(),
              "&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true");
    QMediaPlayer* player = mediaPlayer(flash());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->source().toString().toStdString(),
              "http://" + server_.host() + "/media/clip.mp4");
    EXPECT_EQ(player->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playedSome(player); }, 20000))
        << "status " << player->mediaStatus() << " error " << flash()->errorText().toStdString();
    EXPECT_TRUE(flash()->errorText().isEmpty());

    QTest::mouseClick(w.closePreviewButton, Qt::LeftButton);
    EXPECT_FALSE(w.previewbox->isVisible());
    EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
}

TEST_F(PreviewTest, AVideoThatCannotPlayShowsItsErrorInTheBox) {
    doubleClickRow(1);
    EXPECT_TRUE(library_->widgets().previewbox->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !flash()->errorText().isEmpty(); }, 20000));
    // The next movie plays in a clean box: no error of the failed one shows.
    doubleClickRow(0);
    EXPECT_TRUE(flash()->errorText().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return playedSome(mediaPlayer(flash())); }, 20000));
    EXPECT_TRUE(flash()->errorText().isEmpty());
}

TEST_F(PreviewTest, WithoutAutoplayTheMovieWaitsAndFullScreenFollowsTheVariables) {
    VideoPreview* flash = this->flash();
    flash->setFlashVars("&hl=en&playerMode=embedded");
    flash->loadMovie(0, QString::fromStdString("http://" + server_.host() + "/media/clip.mp4"));
    EXPECT_EQ(mediaPlayer(flash)->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_FALSE(flash->fullScreenAllowed());
    QTest::mouseDClick(flash->videoWidget(), Qt::LeftButton);
    EXPECT_FALSE(flash->videoWidget()->isFullScreen());

    flash->setFlashVars("&fs=1");
    QTest::mouseDClick(flash->videoWidget(), Qt::LeftButton);
    EXPECT_TRUE(flash->videoWidget()->isFullScreen());
    flash->stop(); // stopping leaves full screen
    EXPECT_FALSE(flash->videoWidget()->isFullScreen());
    flash->setFlashVars("allowFullScreen=true&autoplay=0");
    EXPECT_TRUE(flash->fullScreenAllowed());
    EXPECT_FALSE(flash->autoPlay());
}
