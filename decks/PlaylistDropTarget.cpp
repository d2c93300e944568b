#include "decks/PlaylistDropTarget.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

PlaylistDropTarget::PlaylistDropTarget(QAbstractItemView* view, Handler handler)
    : QObject(view)
    , list(view)
    , onDrop(std::move(handler)) {}

void PlaylistDropTarget::install() {
    list->setAcceptDrops(true);
    list->viewport()->setAcceptDrops(true);
    list->viewport()->installEventFilter(this);
}

void PlaylistDropTarget::remove() {
    list->viewport()->removeEventFilter(this);
    list->viewport()->setAcceptDrops(false);
    list->setAcceptDrops(false);
}

bool PlaylistDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<std::string> paths;
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile())
                paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        onDrop(paths);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
