#include "Server/HttpExchange.hpp"

#include "Support/Text.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>

#include <algorithm>
#include <bit>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace bridge::transport {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::use_awaitable;

namespace {

using Parser = http::response_parser<http::string_body>;

// Whether the part of an answer's head that Beast has not taken yet declares a length too
// long for 64 bits, which Beast refuses as malformed: it is a length over the cap like any.
bool declaresHugeLength(std::string_view head) {
    static constexpr std::string_view name = "\r\ncontent-length:";
    static constexpr std::string_view largest = "18446744073709551615";
    const auto lowered = "\r\n" + lowercased(head); // it may start at the field itself
    for (auto at = lowered.find(name); at != std::string::npos; at = lowered.find(name, at + 1)) {
        auto value = std::string_view(lowered).substr(at + name.size());
        value = value.substr(0, value.find('\r'));
        value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
        value = value.substr(0, value.find_last_not_of(" \t") + 1);
        const bool digits =
            !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
        if (digits && (value.size() > largest.size() ||
                       (value.size() == largest.size() && value > largest))) {
            return true;
        }
    }
    return false;
}

// Room for an answer's head, and often its whole body, in one receive.
constexpr std::size_t headRoom = 4096;
// At most what one receive of Beast's takes.
constexpr std::size_t readSize = 64 * 1024;

// Makes room for the next receive: as much as a declared body still needs (up to what one
// receive takes). A body of undeclared length grows by powers of two up to the cap, so that
// it never holds more memory than the cap itself (a string left to grow by doubling from its
// own first size would take almost twice that).
void makeRoom(beast::flat_buffer& buffer, Parser& parser) {
    if (!parser.is_header_done()) {
        buffer.reserve(buffer.size() + headRoom);
        return;
    }
    if (const auto left = parser.content_length_remaining()) {
        buffer.reserve(buffer.size() + std::clamp<std::uint64_t>(*left, 1, readSize));
        return;
    }
    auto& body = parser.get().body();
    if (body.capacity() < body.size() + readSize) {
        body.reserve(std::min(HTTPTransport::maximumBody, std::bit_ceil(body.size() + readSize)));
    }
    buffer.reserve(buffer.size() + readSize);
}

// Parses what has arrived; true once the answer is whole.
bool parse(beast::flat_buffer& buffer, Parser& parser) {
    while (buffer.size() > 0) {
        boost::system::error_code error;
        const auto used = parser.put(buffer.data(), error);
        buffer.consume(used);
        if (error == http::error::need_more || (!error && used == 0)) {
            return false;
        }
        if (error == http::error::bad_content_length &&
            declaresHugeLength({static_cast<const char*>(buffer.data().data()), buffer.size()})) {
            throw HTTPError::dataLengthExceedsMaximum;
        }
        if (error) {
            throw boost::system::system_error(error);
        }
        if (parser.is_done()) {
            return true;
        }
    }
    return false;
}

// Acknowledges what has arrived at once. A server that writes an answer's head and body
// separately holds the body back until the head is acknowledged (Nagle), and Linux delays
// that acknowledgement by about 40 ms on a connection past its first exchanges. Setting the
// flag sends a pending acknowledgement there and then; the kernel clears it again by itself,
// so it is set after each receive that left the answer incomplete, and an answer that comes
// whole costs no extra system call.
void acknowledgeAtOnce(asio::ip::tcp::socket& socket) {
    const int on = 1;
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Reads the answer, parsing each receive as it comes, as Beast's own reading does but
// without a round through the io_context for bytes that are already here.
template <class Stream>
asio::awaitable<void> readAnswer(Stream& stream, beast::flat_buffer& buffer, Parser& parser,
                                 Heard& heard) {
    for (;;) {
        makeRoom(buffer, parser);
        const auto [error, received] = co_await stream.async_read_some(
            buffer.prepare(buffer.capacity() - buffer.size()), asio::as_tuple(use_awaitable));
        buffer.commit(received);
        heard.anything = heard.anything || received > 0;
        if (parse(buffer, parser)) {
            co_return;
        }
        if (error == asio::error::eof && parser.got_some()) {
            boost::system::error_code ended;
            parser.put_eof(ended); // a body that runs to the end of the connection
            if (ended) {
                throw boost::system::system_error(ended);
            }
            co_return;
        }
        if (error == asio::error::eof) {
            throw boost::system::system_error(http::error::end_of_stream);
        }
        if (error) {
            throw boost::system::system_error(error);
        }
        acknowledgeAtOnce(beast::get_lowest_layer(stream).socket());
    }
}

// Writes the request. On a plain connection what the socket takes at once goes without a
// round through the io_context; the rest, and everything over TLS, is written as usual.
asio::awaitable<void> write(PlainStream& stream, const std::string& bytes) {
    boost::system::error_code error;
    const auto sent = stream.socket().write_some(asio::buffer(bytes), error);
    if (error && error != asio::error::would_block) {
        throw boost::system::system_error(error);
    }
    if (sent < bytes.size()) {
        co_await asio::async_write(stream, asio::buffer(bytes.data() + sent, bytes.size() - sent),
                                   use_awaitable);
    }
}

asio::awaitable<void> write(SecureStream& stream, const std::string& bytes) {
    co_await asio::async_write(stream, asio::buffer(bytes), use_awaitable);
}

template <class Stream>
asio::awaitable<Answer> exchange(Stream& stream, const std::string& request, Heard& heard) {
    co_await write(stream, request);
    beast::flat_buffer buffer;
    Parser parser;
    parser.header_limit(64 * 1024);
    // Beast refuses a declared length above the limit before reading the body, and stops
    // a body without one as soon as it passes the limit.
    parser.body_limit(HTTPTransport::maximumBody);
    co_await readAnswer(stream, buffer, parser, heard);
    // Bytes past the answer would belong to no request.
    const bool reusable = parser.keep_alive() && buffer.size() == 0;
    co_return Answer{
        HTTPResponse{static_cast<int>(parser.get().result_int()), std::move(parser.get().body())},
        reusable};
}

} // namespace

asio::awaitable<Answer> talk(PlainStream& stream, const std::string& request, Heard& heard) {
    return exchange(stream, request, heard);
}

asio::awaitable<Answer> talk(SecureStream& stream, const std::string& request, Heard& heard) {
    return exchange(stream, request, heard);
}

std::exception_ptr failureOf(const boost::system::system_error& error) {
    const auto code = error.code();
    if (code == http::error::body_limit) {
        return std::make_exception_ptr(HTTPError::dataLengthExceedsMaximum);
    }
    if (code == beast::error::timeout) {
        return std::make_exception_ptr(HTTPError::timedOut);
    }
    // A connection closed before a whole answer is a network failure; anything else the
    // HTTP parser refuses is no HTTP answer.
    if (code.category() == http::make_error_code(http::error::end_of_stream).category() &&
        code != http::error::end_of_stream && code != http::error::partial_message) {
        return std::make_exception_ptr(HTTPError::badServerResponse);
    }
    return std::make_exception_ptr(error);
}

} // namespace bridge::transport
