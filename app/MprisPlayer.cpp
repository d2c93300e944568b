#include "app/MprisPlayer.h"

#include "decks/DeckEngine.h"
#include "decks/Playlist.h"

#include <QDBusMessage>
#include <QFile>
#include <QUrl>
#include <exception>

namespace {
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// A row's title reads "artist - title" when the file has a tag.
void splitTitle(const QString& text, QString& artist, QString& title) {
    const int dash = text.indexOf(QLatin1String(" - "));
    artist = dash > 0 ? text.left(dash) : QString();
    title = dash > 0 ? text.mid(dash + 3) : text;
}
} // namespace

MprisPlayer::MprisPlayer(QObject* exported, QDBusConnection bus, DeckEngine& decks,
                         Playlist& playlist, std::function<QString(Deck deck)> artwork)
    : QDBusAbstractAdaptor(exported)
    , bus_(std::move(bus))
    , decks_(decks)
    , playlist_(playlist)
    , artwork_(std::move(artwork)) {
    connect(&decks_, &DeckEngine::trackStarted, this, &MprisPlayer::trackStarted);
    connect(&decks_, &DeckEngine::playCaptionChanged, this, [this] {
        if (!playing())
            metadata_.clear();
        announceChanged({QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"),
                         QStringLiteral("CanGoNext"), QStringLiteral("CanPause")});
    });
    connect(&decks_, &DeckEngine::pausedChanged, this,
            [this] { announceChanged({QStringLiteral("PlaybackStatus")}); });
    auto playable = [this] { announceChanged({QStringLiteral("CanPlay")}); };
    connect(&playlist_.items(), &QAbstractItemModel::rowsInserted, this, playable);
    connect(&playlist_.items(), &QAbstractItemModel::rowsRemoved, this, playable);
    connect(&playlist_.items(), &QAbstractItemModel::modelReset, this, playable);
}

bool MprisPlayer::playing() const {
    return decks_.playCaption() == QLatin1String("Stop");
}

QString MprisPlayer::PlaybackStatus() const {
    if (!playing())
        return QStringLiteral("Stopped");
    return decks_.isPaused() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

bool MprisPlayer::CanPlay() const {
    return playlist_.count() > 0;
}

qlonglong MprisPlayer::Position() const {
    if (!playing() || decks_.CurrentDeck == Deck::None)
        return 0;
    try {
        const auto& deck = decks_.player(decks_.CurrentDeck);
        return qlonglong(deck.position()) * 1000;
    } catch (const std::exception&) {
        return 0; // the deck is not open (yet)
    }
}

void MprisPlayer::Play() {
    if (decks_.isPaused())
        decks_.resume();
    else if (!playing())
        decks_.playOrStop();
}

void MprisPlayer::Pause() {
    decks_.pause();
}

void MprisPlayer::Stop() {
    if (playing())
        decks_.playOrStop();
}

void MprisPlayer::PlayPause() {
    if (decks_.isPaused() || !playing())
        Play();
    else
        Pause();
}

void MprisPlayer::Next() {
    decks_.advanceNow();
}

void MprisPlayer::trackStarted(Deck deck, int index) {
    if (index < 0 || index >= playlist_.count())
        return;
    QString artist, title;
    splitTitle(playlist_.titleAt(index), artist, title);
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(
                 QDBusObjectPath(QStringLiteral("/org/kolvadeck/track/%1").arg(++trackCount_))));
    m.insert(QStringLiteral("xesam:title"), title);
    if (!artist.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    m.insert(QStringLiteral("xesam:url"),
             QUrl::fromLocalFile(QFile::decodeName(playlist_.pathAt(index).c_str()))
                 .toString(QUrl::FullyEncoded));
    try {
        const auto& player = decks_.player(deck);
        m.insert(QStringLiteral("mpris:length"), qlonglong(player.length()) * 1000);
    } catch (const std::exception&) {
        // A length the deck cannot tell is left out.
    }
    const QString art = artwork_ ? artwork_(deck) : QString();
    if (!art.isEmpty())
        m.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(art).toString());
    metadata_ = m;
    announceChanged({QStringLiteral("Metadata")});
}

void MprisPlayer::announceChanged(const QStringList& names) {
    QVariantMap changed;
    for (const QString& name : names)
        changed.insert(name, property(name.toLatin1().constData()));
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kInterface << changed << QStringList();
    bus_.send(signal);
}
