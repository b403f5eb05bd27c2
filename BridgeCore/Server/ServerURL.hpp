#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bridge {

using QueryItems = std::vector<std::pair<std::string, std::string>>;

// `base` with the percent-encoded `path` appended to its path (one slash between them),
// and, when there are query items, those items in order as its query. Absent when `base`
// is no absolute URL.
std::optional<std::string> serverURL(std::string_view base, std::string_view path,
                                     const QueryItems& query = {});

// `text` percent-encoded as one path segment: only letters, digits and -._~!$&'()*+,;=:@
// stay as they are; a slash is encoded too.
std::string pathSegment(std::string_view text);

} // namespace bridge
