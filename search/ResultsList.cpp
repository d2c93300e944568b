#include "search/ResultsList.h"

#include <QTreeWidget>

void ShowResultRows(QTreeWidget* resultsList, const SearchResults& results) {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(results.captions.size()));
    for (const std::string& caption : results.captions)
        rows.push_back(new QTreeWidgetItem(QStringList{QString::fromStdString(caption)}));
    resultsList->addTopLevelItems(rows);
}
