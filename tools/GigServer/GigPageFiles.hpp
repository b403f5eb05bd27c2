#pragma once

#include <string_view>

namespace bridge::gigPageFiles {

// The files under pages/, compiled in so that the stand-in serves them from anywhere.
extern const std::string_view dancersHtml;
extern const std::string_view screenHtml;
extern const std::string_view styles;
extern const std::string_view script;

} // namespace bridge::gigPageFiles
