#pragma once

#include <string>

// One HTTP/1.1 exchange over a plain socket, with the request line and headers
// exactly as given (no escaping, no normalising), for hostile requests.
struct RawAnswer {
    int status = 0; // 0: no answer
    std::string headers;
    std::string body;
};

RawAnswer rawGet(int port, const std::string& target, const std::string& extraHeaders = {});
