#include "analysis/AnalysisCache.h"

#include "analysis/TrackGain.h"
#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <sys/stat.h>

namespace analysis {

namespace {

// 2: the block loudness of the ends and the album tags.
constexpr int kFormatVersion = 2;

// JSON has no infinity: a silent track's loudness is stored as null.
QJsonValue number(double value) {
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}
double numberOr(const QJsonValue& value, double missing) {
    return value.isDouble() ? value.toDouble() : missing;
}

// Block loudness to a tenth of a LU: enough for placing a hand-over.
QJsonArray blocks(const std::vector<float>& blocks) {
    QJsonArray array;
    for (float block : blocks)
        array.append(std::round(double(block) * 10) / 10);
    return array;
}
std::vector<float> blocksOf(const QJsonValue& value) {
    std::vector<float> blocks;
    for (const QJsonValue& block : value.toArray())
        blocks.push_back(float(block.toDouble(double(LoudnessResult::kSilentBlock))));
    return blocks;
}

QString key(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{std::int64_t(st.st_size),
                     std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

AnalysisCache::AnalysisCache(QString file)
    : file_(std::move(file)) {}

QString AnalysisCache::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Kolvadeck/analysis.json");
}

void AnalysisCache::loadOnce() {
    if (loaded_)
        return;
    loaded_ = true;
    QFile file(file_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("version")).toInt() == kFormatVersion)
        tracks_ = root.value(QStringLiteral("tracks")).toObject();
}

std::optional<LoudnessResult> AnalysisCache::find(const std::string& path) {
    const std::optional<FileStamp> stamp = stampOf(path);
    if (!stamp)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    loadOnce();
    const QJsonObject entry = tracks_.value(key(path)).toObject();
    // Entries from a damaged store may lack fields: those count as misses.
    if (entry.value(QStringLiteral("size")).toString() != QString::number(stamp->size) ||
        entry.value(QStringLiteral("modifiedNs")).toString() !=
            QString::number(stamp->modifiedNs) ||
        !entry.value(QStringLiteral("length")).isDouble())
        return std::nullopt;
    LoudnessResult result;
    result.integratedLufs = numberOr(entry.value(QStringLiteral("lufs")), -HUGE_VAL);
    result.truePeakDbtp = numberOr(entry.value(QStringLiteral("truePeak")), -HUGE_VAL);
    result.firstAudibleFrame = std::int64_t(numberOr(entry.value(QStringLiteral("first")), -1));
    result.lastAudibleFrame = std::int64_t(numberOr(entry.value(QStringLiteral("last")), -1));
    result.lengthFrames = std::int64_t(entry.value(QStringLiteral("length")).toDouble());
    result.headBlocks = blocksOf(entry.value(QStringLiteral("head")));
    result.tailBlocks = blocksOf(entry.value(QStringLiteral("tail")));
    result.tailFirstBlock = std::int64_t(entry.value(QStringLiteral("tailFrom")).toDouble());
    result.album = entry.value(QStringLiteral("album")).toString().toStdString();
    result.artist = entry.value(QStringLiteral("artist")).toString().toStdString();
    result.trackNumber = entry.value(QStringLiteral("trackNumber")).toInt();
    // An entry no analysis could have written (hand-edited or damaged) is a
    // miss: the track is analysed again rather than played at its gain.
    if (!isPlausibleLoudness(result.integratedLufs, result.truePeakDbtp) ||
        result.lengthFrames < 0 || result.lastAudibleFrame > result.lengthFrames)
        return std::nullopt;
    return result;
}

void AnalysisCache::store(const std::string& path, const FileStamp& stamp,
                          const LoudnessResult& result) {
    std::lock_guard lock(mutex_);
    loadOnce();
    QJsonObject entry;
    // 64-bit integers as text: a JSON number keeps only 53 bits.
    entry.insert(QStringLiteral("size"), QString::number(stamp.size));
    entry.insert(QStringLiteral("modifiedNs"), QString::number(stamp.modifiedNs));
    entry.insert(QStringLiteral("lufs"), number(result.integratedLufs));
    entry.insert(QStringLiteral("truePeak"), number(result.truePeakDbtp));
    entry.insert(QStringLiteral("first"), double(result.firstAudibleFrame));
    entry.insert(QStringLiteral("last"), double(result.lastAudibleFrame));
    entry.insert(QStringLiteral("length"), double(result.lengthFrames));
    entry.insert(QStringLiteral("head"), blocks(result.headBlocks));
    entry.insert(QStringLiteral("tail"), blocks(result.tailBlocks));
    entry.insert(QStringLiteral("tailFrom"), double(result.tailFirstBlock));
    entry.insert(QStringLiteral("album"), QString::fromStdString(result.album));
    entry.insert(QStringLiteral("artist"), QString::fromStdString(result.artist));
    entry.insert(QStringLiteral("trackNumber"), result.trackNumber);
    tracks_.insert(key(path), entry);

    QJsonObject root;
    root.insert(QStringLiteral("version"), kFormatVersion);
    root.insert(QStringLiteral("tracks"), tracks_);
    // Private, whatever the umask: another user who could write here would
    // choose the gains this program plays at.
    if (!madePrivate_) {
        shell::createPrivateFolder(
            QFile::encodeName(QFileInfo(file_).absolutePath()).toStdString());
        madePrivate_ = shell::makePrivateFile(QFile::encodeName(file_).toStdString());
    }
    QSaveFile out(file_);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
        out.commit();
    }
}

} // namespace analysis
