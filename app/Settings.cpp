#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kNormaliseLoudness = QStringLiteral("playback/normaliseLoudness");
const QString kSkipSilence = QStringLiteral("playback/skipSilence");

// QSettings keeps a file it could not parse and would write its own keys into
// the damage; a damaged file is set aside so that the next write starts clean.
void SetAsideIfDamaged(const QString& file) {
    QSettings probe(file, QSettings::IniFormat);
    if (probe.status() != QSettings::FormatError)
        return;
    QFile::remove(file + QStringLiteral(".damaged"));
    QFile::rename(file, file + QStringLiteral(".damaged"));
}

const QString& PrepareFile(const QString& file) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    SetAsideIfDamaged(file);
    return file;
}

} // namespace

Settings::Settings(const QString& file)
    : store_(PrepareFile(file), QSettings::IniFormat) {}

QString Settings::DefaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kolvadeck/Kolvadeck.conf");
}

bool Settings::Flag(const QString& key, bool fallback) const {
    // Only the words QSettings writes count; anything else is damage.
    const QString text = store_.value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return fallback;
}

bool Settings::NormaliseLoudness() const {
    return Flag(kNormaliseLoudness, true);
}
void Settings::SetNormaliseLoudness(bool on) {
    store_.setValue(kNormaliseLoudness, on);
}
bool Settings::SkipSilence() const {
    return Flag(kSkipSilence, true);
}
void Settings::SetSkipSilence(bool on) {
    store_.setValue(kSkipSilence, on);
}

QVariant Settings::Value(const QString& key, const QVariant& fallback) const {
    return store_.value(key, fallback);
}

void Settings::SetValue(const QString& key, const QVariant& value) {
    store_.setValue(key, value);
}

void Settings::Sync() {
    store_.sync();
}
