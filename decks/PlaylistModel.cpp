#include "decks/PlaylistModel.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <stdexcept>

int PlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int PlaylistModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const PlaylistEntry& entry = entries_[static_cast<std::size_t>(index.row())];
    const bool unplayable = entry.playability == Playability::Unplayable;
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == kFileColumn
                   ? QFile::decodeName(QByteArray::fromStdString(entry.path))
                   : entry.title;
    case Qt::ToolTipRole:
        return unplayable ? QVariant(entry.reason) : QVariant();
    case Qt::ForegroundRole:
        return unplayable ? QVariant(QColor(0xE0, 0x40, 0x40)) : QVariant();
    case Qt::FontRole: {
        if (!unplayable)
            return {};
        QFont font;
        font.setBold(true);
        font.setStrikeOut(true);
        return font;
    }
    case kPlayabilityRole:
        return static_cast<int>(entry.playability);
    default:
        return {};
    }
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == kFileColumn ? QStringLiteral("File") : QStringLiteral("Track");
}

const PlaylistEntry& PlaylistModel::at(int i) const {
    if (i < 0 || i >= count())
        throw std::out_of_range("playlist index out of range");
    return entries_[static_cast<std::size_t>(i)];
}

int PlaylistModel::insert(int i, PlaylistEntry entry) {
    const int at = i < 0 || i > count() ? count() : i;
    if (entry.id == 0)
        entry.id = ++lastId_;
    beginInsertRows({}, at, at);
    entries_.insert(entries_.begin() + at, std::move(entry));
    endInsertRows();
    return at;
}

void PlaylistModel::append(std::vector<PlaylistEntry> entries) {
    if (entries.empty())
        return;
    beginInsertRows({}, count(), count() + static_cast<int>(entries.size()) - 1);
    for (PlaylistEntry& entry : entries) {
        if (entry.id == 0)
            entry.id = ++lastId_;
        entries_.push_back(std::move(entry));
    }
    endInsertRows();
}

void PlaylistModel::removeAt(int i) {
    if (i < 0 || i >= count())
        return;
    beginRemoveRows({}, i, i);
    entries_.erase(entries_.begin() + i);
    endRemoveRows();
}

void PlaylistModel::clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
}

void PlaylistModel::setPlayability(int i, Playability playability, const QString& reason) {
    if (i < 0 || i >= count())
        return;
    PlaylistEntry& entry = entries_[static_cast<std::size_t>(i)];
    entry.playability = playability;
    entry.reason = playability == Playability::Unplayable ? reason : QString();
    emit dataChanged(index(i, 0), index(i, 1));
}

void PlaylistModel::setTitle(int i, const QString& title) {
    if (i < 0 || i >= count())
        return;
    entries_[static_cast<std::size_t>(i)].title = title;
    emit dataChanged(index(i, kTrackColumn), index(i, kTrackColumn));
}
