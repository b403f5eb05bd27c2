#pragma once

#include "AnswerWrites.hpp"
#include "GigServerStandIn.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace bridge {

// How to answer one request.
struct HttpReply {
    enum class Kind {
        answer,         // `status`, `contentType` and `body`
        dropConnection, // close without answering
        garbage,        // bytes that are not HTTP, then close
    };
    Kind kind = Kind::answer;
    unsigned status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::chrono::milliseconds delay{0}; // before answering or failing
};

// An HTTP/1.1 server on 127.0.0.1 that runs on a thread of its own from construction to
// destruction and answers every request with `handler`, called on that thread. A delayed
// reply holds up only its own connection.
class LocalHttpListener {
public:
    using Handler = std::function<HttpReply(GigServerStandIn::Request)>;

    // Listens at `port` (0: a free one) before returning; throws when it cannot.
    LocalHttpListener(std::uint16_t port, Handler handler,
                      AnswerWrites writes = AnswerWrites::whole);
    ~LocalHttpListener();
    LocalHttpListener(const LocalHttpListener&) = delete;
    LocalHttpListener& operator=(const LocalHttpListener&) = delete;

    std::uint16_t port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace bridge
