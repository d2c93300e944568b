#pragma once

#include "search/SearchResults.h"

#include <QList>
#include <QTreeWidget>
#include <QUrl>

#include <functional>

// Adds one row per caption to the results list, in answer order.
void showResultRows(QTreeWidget* resultsList, const SearchResults& results);

// The results list: its rows can be dragged out as the files they stand for
// (onto the playlist), and Enter on it is reported.
class ResultsTree : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;

    // The files of the dragged rows; a drag of rows without files never starts.
    using DragUrls = std::function<QList<QUrl>(const QList<QTreeWidgetItem*>& rows)>;
    void setDragUrls(DragUrls urls) { dragUrls_ = std::move(urls); }

signals:
    void enterPressed();

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    DragUrls dragUrls_;
};
