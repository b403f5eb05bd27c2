#include "Support/JsonText.hpp"

#include "Support/Text.hpp"

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace bridge {

namespace {

template <class Number>
void appendNumber(std::string& out, Number number) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    out.append(buffer, result.ptr);
}

// "-0" would read back as the integer 0: negative zero keeps its point.
void appendReal(std::string& out, double number) {
    if (number == 0 && std::signbit(number)) {
        out += "-0.0";
        return;
    }
    appendNumber(out, number);
}

void appendString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const char c = text.front();
        const auto byte = static_cast<unsigned char>(c);
        std::size_t length = 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0xF];
            } else if (byte < 0x80) {
                out += c;
            } else if ((length = utf8SequenceLength(text)) == 0) {
                out += "\xEF\xBF\xBD";
                length = 1;
            } else {
                out += text.substr(0, length);
            }
        }
        text.remove_prefix(length);
    }
    out += '"';
}

bool append(std::string& out, const boost::json::value& value);

bool appendObject(std::string& out, const boost::json::object& object) {
    std::vector<const boost::json::key_value_pair*> members;
    members.reserve(object.size());
    for (const auto& member : object) {
        members.push_back(&member);
    }
    std::sort(members.begin(), members.end(),
              [](const auto* a, const auto* b) { return a->key() < b->key(); });
    out += '{';
    for (const auto* member : members) {
        if (member != members.front()) {
            out += ',';
        }
        appendString(out, member->key());
        out += ':';
        if (!append(out, member->value())) {
            return false;
        }
    }
    out += '}';
    return true;
}

bool appendArray(std::string& out, const boost::json::array& array) {
    out += '[';
    for (const auto& element : array) {
        if (&element != array.begin()) {
            out += ',';
        }
        if (!append(out, element)) {
            return false;
        }
    }
    out += ']';
    return true;
}

bool append(std::string& out, const boost::json::value& value) {
    switch (value.kind()) {
    case boost::json::kind::null:
        out += "null";
        return true;
    case boost::json::kind::bool_:
        out += value.get_bool() ? "true" : "false";
        return true;
    case boost::json::kind::int64:
        appendNumber(out, value.get_int64());
        return true;
    case boost::json::kind::uint64:
        appendNumber(out, value.get_uint64());
        return true;
    case boost::json::kind::double_:
        if (!std::isfinite(value.get_double())) {
            return false;
        }
        appendReal(out, value.get_double());
        return true;
    case boost::json::kind::string:
        appendString(out, value.get_string());
        return true;
    case boost::json::kind::array:
        return appendArray(out, value.get_array());
    case boost::json::kind::object:
        return appendObject(out, value.get_object());
    }
    return false;
}

} // namespace

std::optional<std::string> sortedCompactJson(const boost::json::value& value) {
    std::string out;
    if (!append(out, value)) {
        return std::nullopt;
    }
    return out;
}

namespace {

// Builds the value like Boost.JSON's own parser, but reads real numbers from their text.
class ExactBuilder {
public:
    static constexpr std::size_t max_object_size = boost::json::object::max_size();
    static constexpr std::size_t max_array_size = boost::json::array::max_size();
    static constexpr std::size_t max_key_size = boost::json::string::max_size();
    static constexpr std::size_t max_string_size = boost::json::string::max_size();

    using string_view = boost::json::string_view;
    using error_code = boost::json::error_code;

    boost::json::value_stack stack;

    bool on_document_begin(error_code&) { return true; }
    bool on_document_end(error_code&) { return true; }
    bool on_object_begin(error_code&) { return true; }
    bool on_object_end(std::size_t n, error_code&) {
        stack.push_object(n);
        return true;
    }
    bool on_array_begin(error_code&) { return true; }
    bool on_array_end(std::size_t n, error_code&) {
        stack.push_array(n);
        return true;
    }
    bool on_key_part(string_view s, std::size_t, error_code&) {
        stack.push_chars(s);
        return true;
    }
    bool on_key(string_view s, std::size_t, error_code&) {
        stack.push_key(s);
        return true;
    }
    bool on_string_part(string_view s, std::size_t, error_code&) {
        stack.push_chars(s);
        return true;
    }
    bool on_string(string_view s, std::size_t, error_code&) {
        stack.push_string(s);
        return true;
    }
    bool on_number_part(string_view s, error_code&) {
        number.append(s.data(), s.size());
        return true;
    }
    bool on_int64(std::int64_t i, string_view, error_code&) {
        number.clear();
        stack.push_int64(i);
        return true;
    }
    bool on_uint64(std::uint64_t u, string_view, error_code&) {
        number.clear();
        stack.push_uint64(u);
        return true;
    }
    bool on_double(double d, string_view s, error_code& error) {
        number.append(s.data(), s.size());
        double exact = 0;
        const auto end = number.data() + number.size();
        const auto read = std::from_chars(number.data(), end, exact);
        const bool whole = read.ec == std::errc{} && read.ptr == end;
        number.clear();
        if (whole) {
            stack.push_double(exact);
            return true;
        }
        if (std::isinf(d)) {
            // Too large for a double: no value that could ever be written back.
            error = boost::json::error::exponent_overflow;
            return false;
        }
        stack.push_double(d); // too small for a double: the parser's zero
        return true;
    }
    bool on_bool(bool b, error_code&) {
        stack.push_bool(b);
        return true;
    }
    bool on_null(error_code&) {
        stack.push_null();
        return true;
    }
    bool on_comment_part(string_view, error_code&) { return true; }
    bool on_comment(string_view, error_code&) { return true; }

private:
    std::string number; // the text of the number being read
};

} // namespace

std::optional<boost::json::value> exactJson(std::string_view text) {
    boost::json::basic_parser<ExactBuilder> parser{boost::json::parse_options{}};
    parser.handler().stack.reset();
    boost::json::error_code error;
    const std::size_t read = parser.write_some(false, text.data(), text.size(), error);
    if (error || read != text.size()) {
        return std::nullopt;
    }
    return parser.handler().stack.release();
}

} // namespace bridge
