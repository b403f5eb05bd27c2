#include "Tools/TestHttpClient.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

namespace bridge {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// Runs `exchange`(stream, input) on a fresh connection with `limit` for all of it.
template <class Result, class Input>
Result runAlone(asio::awaitable<Result> (*exchange)(beast::tcp_stream&, const Input&),
                std::uint16_t port, const Input& input, std::chrono::milliseconds limit) {
    asio::io_context context;
    auto task = [&]() -> asio::awaitable<Result> {
        beast::tcp_stream stream(context);
        stream.expires_after(limit);
        co_await stream.async_connect(
            asio::ip::tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port),
            asio::use_awaitable);
        co_return co_await exchange(stream, input);
    };
    auto result = asio::co_spawn(context, task(), asio::use_future);
    context.run();
    return result.get();
}

asio::awaitable<TestAnswer> httpExchange(beast::tcp_stream& stream, const TestRequest& request) {
    http::request<http::string_body> message;
    message.method_string(request.method);
    message.target(request.target);
    message.set(http::field::host, "127.0.0.1");
    for (const auto& [name, value] : request.headers) {
        message.insert(name, value);
    }
    message.body() = request.body;
    message.prepare_payload();
    co_await http::async_write(stream, message, asio::use_awaitable);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    co_await http::async_read(stream, buffer, response, asio::use_awaitable);
    co_return TestAnswer{response.result_int(), std::string(response[http::field::content_type]),
                         response.body()};
}

asio::awaitable<std::string> bytesExchange(beast::tcp_stream& stream, const std::string& bytes) {
    co_await asio::async_write(stream, asio::buffer(bytes), asio::use_awaitable);
    std::string received;
    for (;;) {
        char chunk[1024];
        auto [error, size] = co_await stream.async_read_some(asio::buffer(chunk),
                                                             asio::as_tuple(asio::use_awaitable));
        received.append(chunk, size);
        if (error == asio::error::eof || error == asio::error::connection_reset) {
            co_return received;
        }
        if (error) {
            throw boost::system::system_error(error);
        }
    }
}

} // namespace

TestAnswer sendTestRequest(std::uint16_t port, const TestRequest& request,
                           std::chrono::milliseconds limit) {
    return runAlone(httpExchange, port, request, limit);
}

std::string sendRawBytes(std::uint16_t port, const std::string& bytes,
                         std::chrono::milliseconds limit) {
    return runAlone(bytesExchange, port, bytes, limit);
}

} // namespace bridge
