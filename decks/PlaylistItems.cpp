#include "decks/PlaylistItems.h"

#include "decks/PlaylistModel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <stdexcept>

namespace playlist {
namespace {
const PlaylistModel& ModelOf(const QAbstractItemView* view) {
    const auto* model = qobject_cast<const PlaylistModel*>(view->model());
    if (!model)
        throw std::logic_error("the view does not show a playlist");
    return *model;
}
} // namespace

int SelectedIndex(const QItemSelectionModel& selection) {
    const QModelIndexList selected = selection.selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void Select(QItemSelectionModel& selection, int i) {
    const QAbstractItemModel* model = selection.model();
    if (i < 0 || i >= model->rowCount()) {
        selection.clearSelection();
        return;
    }
    selection.setCurrentIndex(model->index(i, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int Count(const QAbstractItemView* view) {
    return ModelOf(view).Count();
}

std::string PathAt(const QAbstractItemView* view, int i) {
    return ModelOf(view).At(i).path;
}

QString TitleAt(const QAbstractItemView* view, int i) {
    return ModelOf(view).At(i).title;
}

int SelectedIndex(const QAbstractItemView* view) {
    return SelectedIndex(*view->selectionModel());
}

void Select(QAbstractItemView* view, int i) {
    Select(*view->selectionModel(), i);
}

} // namespace playlist
