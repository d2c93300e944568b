#include "decks/PlaylistItems.h"

#include "decks/PlaylistModel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <stdexcept>

namespace playlist {
namespace {
const PlaylistModel& modelOf(const QAbstractItemView* view) {
    const auto* model = qobject_cast<const PlaylistModel*>(view->model());
    if (!model)
        throw std::logic_error("the view does not show a playlist");
    return *model;
}
} // namespace

int selectedIndex(const QItemSelectionModel& selection) {
    const QModelIndexList selected = selection.selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void select(QItemSelectionModel& selection, int i) {
    const QAbstractItemModel* model = selection.model();
    if (i < 0 || i >= model->rowCount()) {
        selection.clearSelection();
        return;
    }
    selection.setCurrentIndex(model->index(i, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int count(const QAbstractItemView* view) {
    return modelOf(view).count();
}

std::string pathAt(const QAbstractItemView* view, int i) {
    return modelOf(view).at(i).path;
}

QString titleAt(const QAbstractItemView* view, int i) {
    return modelOf(view).at(i).title;
}

int selectedIndex(const QAbstractItemView* view) {
    return selectedIndex(*view->selectionModel());
}

void select(QAbstractItemView* view, int i) {
    select(*view->selectionModel(), i);
}

} // namespace playlist
