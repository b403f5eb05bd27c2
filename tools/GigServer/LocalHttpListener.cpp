#include "LocalHttpListener.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <exception>
#include <string_view>
#include <thread>

namespace bridge {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using asio::ip::tcp;

namespace {

constexpr auto withError = asio::as_tuple(asio::use_awaitable);

// Far above any batch of plays; a larger body ends the connection.
constexpr std::uint64_t maxRequestBody = 8 * 1024 * 1024;

constexpr std::string_view notHttp = "Setmara stand-in says: this is not HTTP\r\n\r\n";

GigServerStandIn::Request record(const http::request<http::string_body>& request) {
    GigServerStandIn::Request recorded;
    recorded.method = std::string(request.method_string());
    recorded.target = std::string(request.target());
    for (const auto& field : request.base()) {
        recorded.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    recorded.body = request.body();
    return recorded;
}

http::response<http::string_body> response(const HttpReply& reply, unsigned version,
                                           bool keepAlive) {
    http::response<http::string_body> answer{static_cast<http::status>(reply.status), version};
    answer.set(http::field::content_type, reply.contentType);
    answer.keep_alive(keepAlive);
    answer.body() = reply.body;
    answer.prepare_payload();
    return answer;
}

void close(tcp::socket& socket) {
    boost::system::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

asio::awaitable<boost::system::error_code>
write(tcp::socket& socket, http::response<http::string_body> answer, AnswerWrites writes) {
    if (writes == AnswerWrites::whole) {
        co_return std::get<0>(co_await http::async_write(socket, answer, withError));
    }
    http::response_serializer<http::string_body> serializer(answer);
    auto [headError, head] = co_await http::async_write_header(socket, serializer, withError);
    if (headError) {
        co_return headError;
    }
    co_return std::get<0>(co_await http::async_write(socket, serializer, withError));
}

asio::awaitable<void> serve(tcp::socket socket, const LocalHttpListener::Handler& handler,
                            AnswerWrites writes) {
    boost::beast::flat_buffer buffer;
    for (;;) {
        http::request_parser<http::string_body> parser;
        parser.body_limit(maxRequestBody);
        auto [readError, readSize] = co_await http::async_read(socket, buffer, parser, withError);
        if (readError) {
            break;
        }
        const auto& request = parser.get();
        HttpReply reply;
        try {
            reply = handler(record(request));
        } catch (const std::exception& failure) {
            // A fault of the stand-in itself: the client sees it instead of a hang.
            reply = HttpReply{.status = 500, .contentType = "text/plain", .body = failure.what()};
        }
        if (reply.delay.count() > 0) {
            asio::steady_timer timer(socket.get_executor(), reply.delay);
            co_await timer.async_wait(withError);
        }
        if (reply.kind == HttpReply::Kind::dropConnection) {
            break;
        }
        if (reply.kind == HttpReply::Kind::garbage) {
            co_await asio::async_write(socket, asio::buffer(notHttp), withError);
            break;
        }
        const bool keepAlive = request.keep_alive();
        const auto writeError =
            co_await write(socket, response(reply, request.version(), keepAlive), writes);
        if (writeError || !keepAlive) {
            break;
        }
    }
    close(socket);
}

// Network failures end as error codes, and the handler's own are answered; anything that
// still escapes (memory running out) must not pass unnoticed.
void rethrow(std::exception_ptr failure) {
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace

struct LocalHttpListener::Impl {
    asio::io_context context{1};
    tcp::acceptor acceptor{context};
    std::uint16_t port = 0;
    Handler handler;
    AnswerWrites writes = AnswerWrites::whole;
    std::thread thread;

    asio::awaitable<void> acceptAll() {
        for (;;) {
            auto [error, socket] = co_await acceptor.async_accept(withError);
            if (error == asio::error::operation_aborted || !acceptor.is_open()) {
                co_return;
            }
            if (error) {
                continue; // a connection that failed on the way in; the next may do
            }
            asio::co_spawn(context, serve(std::move(socket), handler, writes), rethrow);
        }
    }
};

LocalHttpListener::LocalHttpListener(std::uint16_t port, Handler handler, AnswerWrites writes)
    : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->writes = writes;
    const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
    impl_->acceptor.open(endpoint.protocol());
    impl_->acceptor.set_option(tcp::acceptor::reuse_address(true));
    impl_->acceptor.bind(endpoint);
    impl_->acceptor.listen();
    impl_->port = impl_->acceptor.local_endpoint().port();
    asio::co_spawn(impl_->context, impl_->acceptAll(), rethrow);
    impl_->thread = std::thread([context = &impl_->context] { context->run(); });
}

LocalHttpListener::~LocalHttpListener() {
    // Stopping abandons open connections and pending delays; the context's destruction
    // frees them.
    impl_->context.stop();
    impl_->thread.join();
}

std::uint16_t LocalHttpListener::port() const {
    return impl_->port;
}

} // namespace bridge
