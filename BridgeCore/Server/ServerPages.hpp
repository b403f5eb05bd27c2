#pragma once

#include <optional>
#include <string>
#include <string_view>

// The service's own pages for a server; absent when the server's address makes no safe link.
namespace bridge::ServerPages {

std::optional<std::string> guide(std::string_view server);
std::optional<std::string> gigs(std::string_view server);

} // namespace bridge::ServerPages
