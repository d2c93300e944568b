#pragma once

#include "AwaitAnswer.h"
#include "LoopbackServer.h"
#include "platform/Dialogs.h"
#include "platform/Download.h"
#include "search/MusicLibrary.h"
#include "tests/support/TestApp.h"

#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

// The "Music Library" tab on its own page, talking to a loopback search
// service, with a data folder of its own and every dialog answered by the test.
class MusicLibraryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        dataFolder_ = std::filesystem::path(testing::TempDir()) /
                      ("musiclibrary_" + std::to_string(getpid()));
        std::filesystem::remove_all(dataFolder_);
        std::filesystem::create_directories(dataFolder_ / "queries");
        useHost(server_.host());
        savedTimeouts_ = getDownloadTimeouts();
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            shown_.push_back(request);
            reply(dialogs::Answer{true, {}});
        });
        page_ = std::make_unique<QWidget>();
        page_->resize(1013, 655);
        library_ = new MusicLibrary(page_.get(), dataFolder_.string() + "/", page_.get());
    }

    void TearDown() override {
        page_.reset();
        dialogs::setHandler({});
        setDownloadTimeouts(savedTimeouts_);
        unsetenv("KOLVADECK_SEARCH_HOST");
        std::filesystem::remove_all(dataFolder_);
    }

    static void useHost(const std::string& host) {
        setenv("KOLVADECK_SEARCH_HOST", host.c_str(), 1);
    }

    void serveAnswer(const std::string& targetPrefix, const std::string& answerFile) {
        server_.serve(targetPrefix, {200, "text/xml; charset=utf-8", answer(answerFile), {}});
    }

    // Runs a command that starts a search and waits until its answer is shown.
    void searched(const std::function<void()>& command) {
        ASSERT_TRUE(awaitAnswer(*library_, command));
        EXPECT_FALSE(library_->searching());
    }

    // The captions of the results list as the user sees them.
    std::vector<std::string> rows() const {
        std::vector<std::string> rows;
        QTreeWidget* list = library_->widgets().resultsList;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.push_back(list->topLevelItem(i)->text(0).toStdString());
        return rows;
    }

    void selectRow(int row) {
        QTreeWidget* list = library_->widgets().resultsList;
        list->clearSelection();
        list->topLevelItem(row)->setSelected(true);
    }

    std::vector<std::string> errorTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : shown_)
            if (r.kind == dialogs::Kind::Error)
                texts.push_back(r.text.toStdString());
        return texts;
    }

    LoopbackServer server_;
    std::filesystem::path dataFolder_;
    std::unique_ptr<QWidget> page_;
    MusicLibrary* library_ = nullptr;
    std::vector<dialogs::Request> shown_;
    DownloadTimeouts savedTimeouts_;
};
