#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

// The user's lasting choices, in <XDG config folder>/Kolvadeck/Kolvadeck.conf
// (INI). A missing, unreadable or damaged file, or a value that is no value
// of its kind, reads as the default; nothing here ever fails. Changes are
// written back by Sync (and when the object goes).
class Settings {
public:
    explicit Settings(const QString& file = defaultFile());

    // ~/.config/Kolvadeck/Kolvadeck.conf, or under $XDG_CONFIG_HOME.
    static QString defaultFile();

    // Bring every track to the same loudness (default on).
    bool normaliseLoudness() const;
    void setNormaliseLoudness(bool on);
    // Hand over on the music rather than on silence at track ends (default on).
    bool skipSilence() const;
    void setSkipSilence(bool on);
    // Give each pair of tracks its own hand-over from their loudness
    // (default on); off: the ten-second cross-fade for every pair.
    bool smartTransitions() const;
    void setSmartTransitions(bool on);

    // Any other setting, by key ("folders/lastPlaylist", say).
    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    void setValue(const QString& key, const QVariant& value);

    // Writes changes to the file now.
    void sync();

private:
    bool flag(const QString& key, bool fallback) const;

    QSettings store_;
};
