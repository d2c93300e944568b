#include "app/AppLog.h"

Q_LOGGING_CATEGORY(lcApp, "kolvadeck.app", QtWarningMsg)
