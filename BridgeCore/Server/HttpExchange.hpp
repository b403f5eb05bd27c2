#pragma once

#include "Server/HTTPTransport.hpp"

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <boost/system/system_error.hpp>

#include <exception>
#include <string>

namespace bridge::transport {

using PlainStream = boost::beast::tcp_stream;
using SecureStream = boost::beast::ssl_stream<boost::beast::tcp_stream>;

// Whether anything of the answer has arrived: a connection that had been idle and failed
// before that was closed by the server in the meantime.
struct Heard {
    bool anything = false;
};

struct Answer {
    HTTPResponse response;
    bool reusable = false; // the connection may carry the next request
};

// Writes the request and reads its answer, within the size cap.
boost::asio::awaitable<Answer> talk(PlainStream& stream, const std::string& request, Heard& heard);
boost::asio::awaitable<Answer> talk(SecureStream& stream, const std::string& request, Heard& heard);

// The failure an exchange's error stands for.
std::exception_ptr failureOf(const boost::system::system_error& error);

} // namespace bridge::transport
