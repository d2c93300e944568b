#pragma once

// One of the two decks. None: no deck has been current since the list
// started or was stopped.
enum class Deck { None, A, B };

// The other deck of the pair; A when none is current, the deck a list
// starts on.
constexpr Deck otherDeck(Deck deck) {
    return deck == Deck::A ? Deck::B : Deck::A;
}

// The letter the labels and the log show for the deck: "(A)", "(B)".
constexpr char deckLetter(Deck deck) {
    return deck == Deck::A ? 'A' : 'B';
}
