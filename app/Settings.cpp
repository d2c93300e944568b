#include "app/Settings.h"

#include "platform/Shell.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kNormaliseLoudness = QStringLiteral("playback/normaliseLoudness");
const QString kSkipSilence = QStringLiteral("playback/skipSilence");
const QString kSmartTransitions = QStringLiteral("playback/smartTransitions");

// Whether the text can be an INI file QSettings wrote or a person edited:
// UTF-8 without NUL bytes, every line a [section], a key=value, a comment or
// blank. QSettings itself reads random bytes as a few odd keys.
bool looksLikeIni(const QByteArray& text) {
    if (text.contains('\0') || !QString::fromUtf8(text).toUtf8().startsWith(text))
        return false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') || line.contains('='))
            continue;
        if (!(line.startsWith('[') && line.endsWith(']')))
            return false;
    }
    return true;
}

// QSettings keeps a file it could not parse and would write its own keys into
// the damage; a damaged file is set aside so that the next write starts clean.
void setAsideIfDamaged(const QString& file) {
    constexpr qint64 kMostASettingsFileHolds = 1 << 20;
    QFile text(file);
    if (!text.open(QIODevice::ReadOnly))
        return;
    const QByteArray head = text.read(kMostASettingsFileHolds + 1);
    text.close();
    QSettings probe(file, QSettings::IniFormat);
    if (probe.status() != QSettings::FormatError && head.size() <= kMostASettingsFileHolds &&
        looksLikeIni(head))
        return;
    QFile::remove(file + QStringLiteral(".damaged"));
    QFile::rename(file, file + QStringLiteral(".damaged"));
}

const QString& prepareFile(const QString& file) {
    shell::createPrivateFolder(QFile::encodeName(QFileInfo(file).absolutePath()).toStdString());
    setAsideIfDamaged(file);
    shell::makePrivateFile(QFile::encodeName(file).toStdString());
    return file;
}

} // namespace

Settings::Settings(const QString& file)
    : store_(prepareFile(file), QSettings::IniFormat) {}

QString Settings::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kolvadeck/Kolvadeck.conf");
}

bool Settings::flag(const QString& key, bool fallback) const {
    // Only the words QSettings writes count; anything else is damage.
    const QString text = store_.value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return fallback;
}

bool Settings::normaliseLoudness() const {
    return flag(kNormaliseLoudness, true);
}
void Settings::setNormaliseLoudness(bool on) {
    store_.setValue(kNormaliseLoudness, on);
}
bool Settings::skipSilence() const {
    return flag(kSkipSilence, true);
}
void Settings::setSkipSilence(bool on) {
    store_.setValue(kSkipSilence, on);
}
bool Settings::smartTransitions() const {
    return flag(kSmartTransitions, true);
}
void Settings::setSmartTransitions(bool on) {
    store_.setValue(kSmartTransitions, on);
}

QVariant Settings::value(const QString& key, const QVariant& fallback) const {
    return store_.value(key, fallback);
}

void Settings::setValue(const QString& key, const QVariant& value) {
    store_.setValue(key, value);
}

void Settings::sync() {
    store_.sync();
}
