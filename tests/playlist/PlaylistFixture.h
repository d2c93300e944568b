#pragma once

#include "app/MainWindow.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "platform/Dialogs.h"
#include "tests/support/TestApp.h"
#include "tests/tags/PeerTools.h"

#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

// A main window with a folder of real MP3 files tagged by lame, and a dialog
// handler that answers with the files a test chose and records messages.
class PlaylistFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        // The window's settings, session and analysis stay in the test's folder.
        useUserFolder(home.path().toLocal8Bit().constData());
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            requests.push_back(request);
            if (request.kind == dialogs::Kind::Message || request.kind == dialogs::Kind::Error)
                messages << request.text;
            reply(dialogs::Answer{!answerFiles.isEmpty(), answerFiles});
        });
        form = std::make_unique<MainWindow>();
    }
    void TearDown() override {
        form.reset();
        dialogs::setHandler({});
    }

    // An MP3 tagged by lame with an ID3v1 tag holding artist and title.
    std::string taggedMp3(const QString& name, const QString& artist, const QString& title) {
        const std::string path = work.pathOf(name);
        peer::run("lame", {"--quiet", "--id3v1-only", "--ta", artist, "--tt", title, work.wav(),
                           QString::fromStdString(path)});
        return path;
    }

    QStringList titles() const {
        QStringList titles;
        for (int i = 0; i < playlist::count(form->controls().playlistView); ++i)
            titles << playlist::titleAt(form->controls().playlistView, i);
        return titles;
    }

    QTemporaryDir home;
    peer::Workspace work;
    std::unique_ptr<MainWindow> form;
    QStringList answerFiles;
    QStringList messages;
    std::vector<dialogs::Request> requests;
};
