#include "platform/audio/AudioLog.h"

Q_LOGGING_CATEGORY(lcAudio, "kolvadeck.audio", QtWarningMsg)
