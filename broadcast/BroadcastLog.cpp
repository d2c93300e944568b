#include "broadcast/BroadcastLog.h"

Q_LOGGING_CATEGORY(lcBroadcast, "kolvadeck.broadcast", QtWarningMsg)
