#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value_to.hpp>

#include <optional>
#include <stdexcept>
#include <string_view>

namespace bridge {

// Readers of one field of a JSON object for decoders that fail as a whole. Numbers convert
// between integer and real forms when the value is exact; any other mismatch of type throws.

// The field's value; absent when the key is missing or its value is null.
template <class T>
std::optional<T> optionalField(const boost::json::object& object, std::string_view key) {
    const auto* value = object.if_contains(key);
    if (value == nullptr || value->is_null()) {
        return std::nullopt;
    }
    return boost::json::value_to<T>(*value);
}

// The field's raw value; throws when the key is missing or its value is null.
inline const boost::json::value& requiredValue(const boost::json::object& object,
                                               std::string_view key) {
    const auto* value = object.if_contains(key);
    if (value == nullptr || value->is_null()) {
        throw std::invalid_argument("missing JSON key");
    }
    return *value;
}

// The field's value; throws when the key is missing or its value is null.
template <class T>
T requiredField(const boost::json::object& object, std::string_view key) {
    return boost::json::value_to<T>(requiredValue(object, key));
}

} // namespace bridge
