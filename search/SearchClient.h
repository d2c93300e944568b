#pragma once

#include "search/SearchResults.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <string>

class BackgroundTask;

// The errors of a request that could not reach the service; the user sees them.
inline constexpr const char* kNoConnectionError =
    "Unable to connect to the Internet, make sure you are connected!";
inline constexpr const char* kNoAnswerFileError =
    "Database connection error! Please check your internet connection";
// The most a search answer may hold. A page of 100 results is a few tens of
// KB; a server that sends more is broken, and a well-formed 50 MB answer was
// measured to take ~850 MB and six seconds to list. A longer answer is
// refused as it arrives and reported as such.
inline constexpr long long kMaxQueryAnswerBytes = 2LL << 20;
inline constexpr const char* kAnswerTooLargeError =
    "The search service sent an answer too large to show!";

// What one request to the search service came to: the rows read from its
// answer, or the text of the error that kept it from being read (empty rows).
struct SearchAnswer {
    std::string error; // empty when the answer was read
    SearchResults results;
};

// Runs requests to the search service on a worker: downloads the answer into
// the method's query file (at most kMaxQueryAnswerBytes, see MusicLibrary.h)
// and reads it by the method's layout. Only the latest request is ever
// answered: starting one cancels the one still running, whose transfer ends
// within a few tens of milliseconds and leaves no partial file.
class SearchClient : public QObject {
    Q_OBJECT
public:
    explicit SearchClient(QObject* parent = nullptr);
    ~SearchClient() override;

    void start(const std::string& method, const std::string& address, const std::string& queryFile);
    void cancel();
    bool running() const;

    // The blocking part of a request, as the worker runs it.
    static SearchAnswer fetch(const std::string& method, const std::string& address,
                              const std::string& queryFile, const std::atomic<bool>& cancelled);

signals:
    // On the client's thread, for the latest request only.
    void answered(const SearchAnswer& answer);

private:
    std::unique_ptr<BackgroundTask> task_;
};
