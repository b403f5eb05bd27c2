#pragma once

#include "Server/BridgeServer.hpp"
#include "Server/ServerError.hpp"
#include "Values/Gig.hpp"
#include "Values/PlayEvent.hpp"

#include <boost/json/fwd.hpp>

#include <optional>
#include <string>
#include <string_view>

// The gig server's JSON, both ways.
namespace bridge {

// The "error" text of a JSON error body.
std::optional<std::string> serverMessage(std::string_view bytes);

// What an answer with an HTTP status outside 2xx means.
ServerError statusFailure(int status, const std::string& body);

// The answer to sent plays; throws ServerError::unavailable when it does not decode.
SentPlays sentPlaysFromJson(std::string_view bytes);

// The play object sent for one event.
boost::json::object playObject(const PlayEvent& event, bool hidden);

// A gig object of the server; throws when it does not decode.
Gig gigFromJson(const boost::json::value& json);

} // namespace bridge
