#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string>
#include <vector>

// Whether a playlist item's file was found playable the last time a deck
// tried it.
enum class Playability { Untried, Playable, Unplayable };

struct PlaylistEntry {
    std::string path; // file-system bytes, exactly as added
    QString title;
    Playability playability = Playability::Untried;
    QString reason; // why it cannot play
    // Names the row while it lives, wherever it moves (a moved row is a copy
    // of it); given by the model when an entry comes in with 0.
    quint64 id = 0;
};

// The playlist's items in play order, shown in two columns: "File" (the path)
// and "Track" (the title). An item that cannot play is drawn struck out in red
// and its tooltip says why.
class PlaylistModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kFileColumn = 0;
    static constexpr int kTrackColumn = 1;
    static constexpr int kPlayabilityRole = Qt::UserRole + 1; // int(Playability)

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return static_cast<int>(entries_.size()); }
    // Item i; throws std::out_of_range past the end.
    const PlaylistEntry& at(int i) const;
    // Inserts at i (appends when i is outside 0..Count) and returns the index.
    // Entries without an id get a new one.
    int insert(int i, PlaylistEntry entry);
    void append(std::vector<PlaylistEntry> entries);
    void removeAt(int i);
    void clear();
    void setPlayability(int i, Playability playability, const QString& reason = {});
    void setTitle(int i, const QString& title);

private:
    std::vector<PlaylistEntry> entries_;
    quint64 lastId_ = 0;
};
