#include "decks/DecksLog.h"

Q_LOGGING_CATEGORY(lcDecks, "kolvadeck.decks", QtWarningMsg)
