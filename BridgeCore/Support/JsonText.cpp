#include "Support/JsonText.hpp"

#include "Support/Text.hpp"

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
        appendNumber(out, value.get_double());
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

} // namespace bridge
