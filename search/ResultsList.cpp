#include "search/ResultsList.h"

#include <QKeyEvent>
#include <QMimeData>

void showResultRows(QTreeWidget* resultsList, const SearchResults& results) {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(results.captions.size()));
    for (const std::string& caption : results.captions)
        rows.push_back(new QTreeWidgetItem(QStringList{QString::fromStdString(caption)}));
    resultsList->addTopLevelItems(rows);
}

QStringList ResultsTree::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* ResultsTree::mimeData(const QList<QTreeWidgetItem*>& items) const {
    const QList<QUrl> urls = dragUrls_ ? dragUrls_(items) : QList<QUrl>();
    if (urls.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void ResultsTree::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
