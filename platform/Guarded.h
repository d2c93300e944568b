#pragma once

#include <QLoggingCategory>

// Logs the exception being handled (call it only inside a catch block) under
// the given category: its what() text, or that its type is unknown, after the
// name of the step that failed.
void logCaughtException(QMessageLogger::CategoryFunction category, const char* step,
                        QtMsgType level = QtWarningMsg);

// Runs a step whose failure must not stop its caller (a start-up step, a deck
// command from a timer): an exception ends that step only and is logged under
// the caller's category. Returns whether the step ran to its end.
template <typename Step>
bool guarded(QMessageLogger::CategoryFunction category, const char* step, Step&& run,
             QtMsgType level = QtWarningMsg) {
    try {
        run();
        return true;
    } catch (...) {
        logCaughtException(category, step, level);
        return false;
    }
}
