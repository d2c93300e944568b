#pragma once

#include "search/MusicLibrary.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

// Runs a command of the "Music Library" tab that starts a search and turns the
// test's event loop until the answer is shown (searches run on a worker).
inline ::testing::AssertionResult
awaitAnswer(MusicLibrary& library, const std::function<void()>& command, int timeoutMs = 20000) {
    QSignalSpy shown(&library, &MusicLibrary::answerShown);
    command();
    if (!shown.wait(timeoutMs))
        return ::testing::AssertionFailure() << "no answer shown within " << timeoutMs << " ms";
    return ::testing::AssertionSuccess();
}
