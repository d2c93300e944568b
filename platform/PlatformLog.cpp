#include "platform/PlatformLog.h"

Q_LOGGING_CATEGORY(lcPlatform, "kolvadeck.platform", QtWarningMsg)
