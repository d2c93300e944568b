#include "MusicLibraryFixture.h"
#include "search/VideoPreview.h"

#include <QGroupBox>
#include <QMediaPlayer>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

namespace {
// A two-second test picture, made with ffmpeg once per run.
std::string MakeClip() {
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
QMediaPlayer* MediaPlayer(const VideoPreview* preview) {
    return qobject_cast<QMediaPlayer*>(preview->Player());
}

bool PlayedSome(const QMediaPlayer* player) {
    return player->position() > 0 || player->mediaStatus() == QMediaPlayer::EndOfMedia;
}

class PreviewTest : public MusicLibraryFixture {
protected:
    void SetUp() override {
        MusicLibraryFixture::SetUp();
        const std::string clip = MakeClip();
        ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the test clip";
        server_.Serve("/media/clip.mp4", {200, "video/mp4", ReadFile(clip), {}});
        std::string feed = Answer("youtube_sources_compact.xml");
        Replace(feed, "PLAYER_ONE", "http://" + server_.Host() + "/media/clip.mp4");
        Replace(feed, "PLAYER_TWO", "http://" + server_.Host() + "/media/missing.mp4");
        server_.Serve("/api/video/", {200, "text/xml", feed, {}});
        page_->show();
        Searched([&] { library_->RunQuery("youtube.sources", "clips"); });
    }

    static void Replace(std::string& text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    }

    void DoubleClickRow(int row) {
        QTreeWidget* list = library_->Widgets().resultsList;
        list->clearSelection();
        list->topLevelItem(row)->setSelected(true);
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    VideoPreview* Flash() const { return library_->Widgets().previewPlayer; }
};
} // namespace

TEST_F(PreviewTest, DoubleClickPlaysTheVideoAndXStopsItAndHidesTheBox) {
    const MusicLibraryWidgets& w = library_->Widgets();
    EXPECT_FALSE(w.previewbox->isVisible());
    DoubleClickRow(0);
    EXPECT_TRUE(w.previewbox->isVisible());
    EXPECT_EQ(Flash()->FlashVars(),
              "&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true");
    QMediaPlayer* player = MediaPlayer(Flash());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->source().toString().toStdString(),
              "http://" + server_.Host() + "/media/clip.mp4");
    EXPECT_EQ(player->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_TRUE(QTest::qWaitFor([&] { return PlayedSome(player); }, 20000))
        << "status " << player->mediaStatus() << " error " << Flash()->ErrorText().toStdString();
    EXPECT_TRUE(Flash()->ErrorText().isEmpty());

    QTest::mouseClick(w.closePreviewButton, Qt::LeftButton);
    EXPECT_FALSE(w.previewbox->isVisible());
    EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
}

TEST_F(PreviewTest, AVideoThatCannotPlayShowsItsErrorInTheBox) {
    DoubleClickRow(1);
    EXPECT_TRUE(library_->Widgets().previewbox->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Flash()->ErrorText().isEmpty(); }, 20000));
    // The next movie plays in a clean box: no error of the failed one shows.
    DoubleClickRow(0);
    EXPECT_TRUE(Flash()->ErrorText().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return PlayedSome(MediaPlayer(Flash())); }, 20000));
    EXPECT_TRUE(Flash()->ErrorText().isEmpty());
}

TEST_F(PreviewTest, WithoutAutoplayTheMovieWaitsAndFullScreenFollowsTheVariables) {
    VideoPreview* flash = Flash();
    flash->SetFlashVars("&hl=en&playerMode=embedded");
    flash->LoadMovie(0, QString::fromStdString("http://" + server_.Host() + "/media/clip.mp4"));
    EXPECT_EQ(MediaPlayer(flash)->playbackState(), QMediaPlayer::StoppedState);
    EXPECT_FALSE(flash->FullScreenAllowed());
    QTest::mouseDClick(flash->VideoWidget(), Qt::LeftButton);
    EXPECT_FALSE(flash->VideoWidget()->isFullScreen());

    flash->SetFlashVars("&fs=1");
    QTest::mouseDClick(flash->VideoWidget(), Qt::LeftButton);
    EXPECT_TRUE(flash->VideoWidget()->isFullScreen());
    flash->Stop(); // stopping leaves full screen
    EXPECT_FALSE(flash->VideoWidget()->isFullScreen());
    flash->SetFlashVars("allowFullScreen=true&autoplay=0");
    EXPECT_TRUE(flash->FullScreenAllowed());
    EXPECT_FALSE(flash->AutoPlay());
}
