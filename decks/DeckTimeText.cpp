#include "decks/DeckTimeText.h"

namespace {
QString minutesSeconds(int ms) {
    const int seconds = ms / 1000;
    return QString::asprintf("%.2d:%.2d", seconds / 60, seconds % 60);
}
} // namespace

QString deckTimeText(char deck, int positionMs, int lengthMs) {
    return QString("(%1) ").arg(QChar(deck)) + minutesSeconds(positionMs) + "/" +
           minutesSeconds(lengthMs);
}
