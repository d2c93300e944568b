#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;

// Accepts files dragged from a file manager onto the playlist and hands their
// local paths (file-system bytes) on, in the order of the drag. Installed on the
// list's viewport by Install and taken off again by Remove.
class PlaylistDropTarget : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const std::vector<std::string>&)>;
    PlaylistDropTarget(QAbstractItemView* list, Handler onDrop);

    void install();
    void remove();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* list;
    Handler onDrop;
};
