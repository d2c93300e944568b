#pragma once

#include <QString>
#include <string>

class QAbstractItemView;
class QItemSelectionModel;

// Reading and selecting the playlist's rows through a view that shows a
// PlaylistModel, or through the model's selection. Indexes run from 0 in
// play order.
namespace playlist {

// Index of the selected row, or -1 when none is selected.
int selectedIndex(const QItemSelectionModel& selection);
// Selects row i (and makes it current); out-of-range indexes select nothing.
void select(QItemSelectionModel& selection, int i);

// The same through a view of the playlist.
int count(const QAbstractItemView* view);
// Path bytes of row i, exactly as added; throws std::out_of_range past the end.
std::string pathAt(const QAbstractItemView* view, int i);
// Title ("Track" column) of row i; throws std::out_of_range past the end.
QString titleAt(const QAbstractItemView* view, int i);
int selectedIndex(const QAbstractItemView* view);
void select(QAbstractItemView* view, int i);

} // namespace playlist
