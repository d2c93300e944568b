#include "decks/PlaylistItems.h"

#include <QFile>
#include <QTreeWidget>
#include <stdexcept>

namespace playlist {
namespace {
constexpr int kFileColumn = 0;
constexpr int kTrackColumn = 1;
constexpr int kPathBytesRole = Qt::UserRole;

const QTreeWidgetItem* ItemAt(const QTreeWidget* list, int i) {
    if (i < 0 || i >= list->topLevelItemCount())
        throw std::out_of_range("playlist index out of range");
    return list->topLevelItem(i);
}

QTreeWidgetItem* MakeItem(const std::string& path, const QString& title) {
    auto* item = new QTreeWidgetItem;
    const QByteArray bytes = QByteArray::fromStdString(path);
    item->setText(kFileColumn, QFile::decodeName(bytes));
    item->setData(kFileColumn, kPathBytesRole, bytes);
    item->setText(kTrackColumn, title);
    return item;
}
} // namespace

int Count(const QTreeWidget* list) {
    return list->topLevelItemCount();
}

std::string PathAt(const QTreeWidget* list, int i) {
    return ItemAt(list, i)->data(kFileColumn, kPathBytesRole).toByteArray().toStdString();
}

QString TitleAt(const QTreeWidget* list, int i) {
    return ItemAt(list, i)->text(kTrackColumn);
}

int SelectedIndex(const QTreeWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

void Select(QTreeWidget* list, int i) {
    if (i < 0 || i >= list->topLevelItemCount()) {
        list->clearSelection();
        return;
    }
    QTreeWidgetItem* item = list->topLevelItem(i);
    list->setCurrentItem(item);
    item->setSelected(true);
}

int Insert(QTreeWidget* list, int i, const std::string& path, const QString& title) {
    QTreeWidgetItem* item = MakeItem(path, title);
    const int at = i < 0 || i > list->topLevelItemCount() ? list->topLevelItemCount() : i;
    list->insertTopLevelItem(at, item);
    return at;
}

void Append(QTreeWidget* list, const std::vector<Row>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const Row& row : rows)
        items.append(MakeItem(row.path, row.title));
    list->addTopLevelItems(items);
}

void RemoveAt(QTreeWidget* list, int i) {
    delete list->takeTopLevelItem(i);
}

void Clear(QTreeWidget* list) {
    list->clear();
}

} // namespace playlist
