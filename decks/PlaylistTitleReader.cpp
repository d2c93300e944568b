#include "decks/PlaylistTitleReader.h"

#include "analysis/TrackTitle.h"
#include "decks/PlaylistModel.h"

#include <QHash>
#include <QTimer>
#include <algorithm>

PlaylistTitleReader::PlaylistTitleReader(PlaylistModel& rows)
    : rows_(rows) {}

// Destroying the tasks cancels them: no answer reaches a model that is gone.
PlaylistTitleReader::~PlaylistTitleReader() = default;

void PlaylistTitleReader::request(quint64 rowId, std::string path) {
    if (pending_.empty() && !reading_) {
        reading_ = true;
        QTimer::singleShot(0, &context_, [this] { readNext(); });
    }
    pending_.emplace_back(rowId, std::move(path));
}

void PlaylistTitleReader::readNext() {
    if (pending_.empty()) {
        reading_ = false;
        batchSize_ = kFirstBatch; // the next drop starts small again
        return;
    }
    const auto end = pending_.begin() + long(std::min(pending_.size(), batchSize_));
    Batch batch(std::make_move_iterator(pending_.begin()), std::make_move_iterator(end));
    pending_.erase(pending_.begin(), end);
    batchSize_ = std::min(batchSize_ * 2, kLargestBatch);
    std::erase_if(tasks_, [](const auto& task) { return !task->running(); });
    tasks_.push_back(std::make_unique<BackgroundTask>(
        [this, batch = std::move(batch)](const std::atomic<bool>& cancelled) {
            Titles titles;
            for (const auto& [id, path] : batch) {
                if (cancelled)
                    break;
                if (std::optional<QString> title = analysis::tagTitle(path))
                    titles.emplace_back(id, std::move(*title));
            }
            return [this, titles = std::move(titles)] {
                apply(titles);
                readNext();
            };
        }));
}

void PlaylistTitleReader::apply(const Titles& titles) {
    if (titles.empty())
        return;
    QHash<quint64, QString> byId;
    for (const auto& [id, title] : titles)
        byId.insert(id, title);
    for (int i = 0; i < rows_.count(); ++i)
        if (const auto title = byId.constFind(rows_.at(i).id); title != byId.constEnd())
            rows_.setTitle(i, *title);
}
