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
    explicit Settings(const QString& file = DefaultFile());

    // ~/.config/Kolvadeck/Kolvadeck.conf, or under $XDG_CONFIG_HOME.
    static QString DefaultFile();

    // Bring every track to the same loudness (default on).
    bool NormaliseLoudness() const;
    void SetNormaliseLoudness(bool on);
    // Hand over on the music rather than on silence at track ends (default on).
    bool SkipSilence() const;
    void SetSkipSilence(bool on);
    // Give each pair of tracks its own hand-over from their loudness
    // (default on); off: the ten-second cross-fade for every pair.
    bool SmartTransitions() const;
    void SetSmartTransitions(bool on);

    // Any other setting, by key ("folders/lastPlaylist", say).
    QVariant Value(const QString& key, const QVariant& fallback = {}) const;
    void SetValue(const QString& key, const QVariant& value);

    // Writes changes to the file now.
    void Sync();

private:
    bool Flag(const QString& key, bool fallback) const;

    QSettings store_;
};
