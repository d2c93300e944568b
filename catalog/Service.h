#pragma once

#include "catalog/ConnectionPool.h"

#include <string>
#include <string_view>

// The search service without the transport: answers the query part of a
// request on the music and video paths.
struct Reply {
    int status = 200;
    std::string contentType = "text/xml; charset=utf-8";
    std::string body;
};

class Service {
public:
    explicit Service(ConnectionPool& pool)
        : pool_(pool) {}

    // "/api/music/?method=...": rawQuery is the text after "?", as it came.
    Reply music(std::string_view rawQuery);
    // "/api/video/?vq=...": media addresses in the answer begin with
    // serviceAddress ("http://127.0.0.1:8098").
    Reply video(std::string_view rawQuery, const std::string& serviceAddress);

    // Longer query texts are refused as malformed.
    static constexpr size_t kMaxQueryLength = 4096;

private:
    ConnectionPool& pool_;
};
