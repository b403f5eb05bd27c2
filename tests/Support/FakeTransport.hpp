#pragma once

#include "Server/HTTPTransport.hpp"

#include <functional>
#include <vector>

namespace bridge::testing {

// Records every request and answers with `answer`, which may throw to fail the exchange.
class FakeTransport : public HTTPTransport {
public:
    std::vector<HTTPRequest> requests;
    std::function<HTTPResponse(const HTTPRequest&)> answer = [](const HTTPRequest&) {
        return HTTPResponse{200, "{}"};
    };

    boost::asio::awaitable<HTTPResponse> send(HTTPRequest request) override {
        requests.push_back(std::move(request));
        co_return answer(requests.back());
    }

    // Answers every request with this status and body.
    void answerWith(int status, std::string body) {
        answer = [status, body = std::move(body)](const HTTPRequest&) {
            return HTTPResponse{status, body};
        };
    }
};

} // namespace bridge::testing
