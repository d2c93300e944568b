#include "search/SearchClient.h"

#include "platform/BackgroundTask.h"
#include "platform/Download.h"
#include "platform/Shell.h"
#include "search/MusicLibrary.h"
#include "search/ResultReaders.h"

#include <mutex>

namespace {
// Two requests of one method write the same query file. A cancelled request
// leaves before the next one may start writing, so a late rename of the old
// answer can never overwrite the new one or be read in its place.
std::mutex& queryFilesLock() {
    static std::mutex lock;
    return lock;
}
} // namespace

SearchClient::SearchClient(QObject* parent)
    : QObject(parent) {}

SearchClient::~SearchClient() = default;

void SearchClient::start(const std::string& method, const std::string& address,
                         const std::string& queryFile) {
    cancel();
    task_ = std::make_unique<BackgroundTask>([this, method, address,
                                              queryFile](const std::atomic<bool>& cancelled) {
        auto answer = std::make_shared<SearchAnswer>(fetch(method, address, queryFile, cancelled));
        // Moved, so that the answer is released on this object's thread only.
        return [this, answer = std::move(answer)] { emit answered(*answer); };
    });
}

void SearchClient::cancel() {
    if (task_)
        task_->cancel();
    task_.reset();
}

bool SearchClient::running() const {
    return task_ && task_->running();
}

SearchAnswer SearchClient::fetch(const std::string& method, const std::string& address,
                                 const std::string& queryFile, const std::atomic<bool>& cancelled) {
    SearchAnswer answer;
    std::lock_guard lock(queryFilesLock());
    if (cancelled)
        return answer;
    // The download renames a complete answer into place and leaves nothing on
    // failure, so the second error only catches a file that went away at once.
    const Downloaded download =
        downloadToFile(address, queryFile, kMaxQueryAnswerBytes, &cancelled);
    if (!download) {
        answer.error = download.tooLarge ? kAnswerTooLargeError : kNoConnectionError;
    } else if (!shell::isExistingFile(queryFile)) {
        answer.error = kNoAnswerFileError;
    } else {
        // A malformed or unexpected answer is no error: the rows read so far stay.
        try {
            pugi::xml_document document;
            if (loadAnswer(queryFile, document))
                readAnswer(method, document, answer.results);
        } catch (const std::exception&) {
        }
    }
    return answer;
}
