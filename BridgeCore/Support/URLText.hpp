#pragma once

#include <boost/url/grammar/error.hpp>

#include <string_view>

namespace bridge {

// Whether `text` may be handed to Boost.URL's parser. Its 1.81 parser trips an assertion,
// aborting every debug build, on a scheme followed by a single character that cannot start a
// path ("a:{", even the valid "a:?"); no such text is an address the bridge could use, so it
// is refused. So are texts with characters no URL may hold: those the parser refuses anyway.
bool isParsableURLText(std::string_view text);

// One of boost::urls' parse functions applied to `text`, or a mismatch when the text is not
// parsable (above). Every parse of a text from outside goes through here.
template <class Parse>
auto parseURL(std::string_view text, Parse parse) -> decltype(parse(text)) {
    if (!isParsableURLText(text)) {
        return boost::urls::grammar::error::mismatch;
    }
    return parse(text);
}

} // namespace bridge
