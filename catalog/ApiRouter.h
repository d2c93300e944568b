#pragma once

#include <httplib.h>

#include <string>
#include <string_view>

// cpp-httplib's routing and answer writing, fed a request whose header block
// the transport has already read and checked; the answer comes back as bytes
// for the transport to send. One request per connection.
class ApiRouter : public httplib::Server {
public:
    std::string answer(std::string_view block);
};
