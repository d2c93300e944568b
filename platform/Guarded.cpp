#include "platform/Guarded.h"

#include <exception>

namespace {
void log(QMessageLogger::CategoryFunction category, QtMsgType level, const char* step,
         const char* why) {
    const QLoggingCategory& log = category();
    if (!log.isEnabled(level))
        return;
    QMessageLogger logger(nullptr, 0, nullptr, log.categoryName());
    if (level == QtDebugMsg)
        logger.debug("%s failed: %s", step, why);
    else if (level == QtInfoMsg)
        logger.info("%s failed: %s", step, why);
    else
        logger.warning("%s failed: %s", step, why);
}
} // namespace

void logCaughtException(QMessageLogger::CategoryFunction category, const char* step,
                        QtMsgType level) {
    try {
        throw;
    } catch (const std::exception& error) {
        log(category, level, step, error.what());
    } catch (...) {
        log(category, level, step, "an exception of unknown type");
    }
}
