#pragma once

#include "Server/HTTPTransport.hpp"
#include "Server/PairingRules.hpp"
#include "Values/Paired.hpp"

#include <boost/asio/awaitable.hpp>

#include <string>

namespace bridge::Pairing {

// Exchanges a code for a bridge key. Fails with ServerError.
boost::asio::awaitable<Paired> pair(std::string code, std::string server, HTTPTransport& transport);

} // namespace bridge::Pairing
