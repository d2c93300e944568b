#pragma once

#include <QLoggingCategory>

// The log of the decks and the playlist ("kolvadeck.decks"): warnings show, debug and info only
// when turned on, e.g. QT_LOGGING_RULES="kolvadeck.decks.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcDecks)
