#pragma once

#include <string>
#include <string_view>

namespace bridge::FileKey {

// The text that stands for a song's location outside this computer: URLs and URIs with a
// scheme other than file: stay readable; local paths and file: URLs become "sha256:" and
// the hex digest of their UTF-8 bytes, so the server can tell files apart without seeing them.
std::string of(std::string_view path);

} // namespace bridge::FileKey
