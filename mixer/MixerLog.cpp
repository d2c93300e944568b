#include "mixer/MixerLog.h"

Q_LOGGING_CATEGORY(lcMixer, "kolvadeck.mixer", QtWarningMsg)
