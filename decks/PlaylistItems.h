#pragma once

#include <QString>
#include <string>
#include <vector>

class QTreeWidget;

// Reading and selecting the playlist's rows. The playlist is a two-column list:
// "File" holds the path (its exact bytes are kept beside the shown text),
// "Track" the title. Indexes run from 0 in play order.
namespace playlist {

int Count(const QTreeWidget* list);

// Path bytes of row i, exactly as added; throws std::out_of_range past the end.
std::string PathAt(const QTreeWidget* list, int i);

// Title ("Track" column) of row i; throws std::out_of_range past the end.
QString TitleAt(const QTreeWidget* list, int i);

// Index of the selected row, or -1 when none is selected.
int SelectedIndex(const QTreeWidget* list);

// Selects row i (and makes it current); out-of-range indexes select nothing.
void Select(QTreeWidget* list, int i);

// Inserts a row at index i (appends when i >= Count) and returns its index.
int Insert(QTreeWidget* list, int i, const std::string& path, const QString& title);

struct Row {
    std::string path;
    QString title;
};

// Appends rows in order with one insertion into the list.
void Append(QTreeWidget* list, const std::vector<Row>& rows);

void RemoveAt(QTreeWidget* list, int i);
void Clear(QTreeWidget* list);

} // namespace playlist
