#include "PlayQueue/QueueFile.hpp"

#include "Support/JsonFields.hpp"
#include "Support/JsonText.hpp"

#include <boost/json/value.hpp>

namespace bridge::QueueFile {

namespace {

boost::json::value encodeInstant(Instant instant) {
    return referenceSeconds(instant);
}

Instant decodeInstant(const boost::json::value& json) {
    return instantFromReferenceSeconds(boost::json::value_to<double>(json));
}

constexpr InstantCoding instants{encodeInstant, decodeInstant};

boost::json::object toJson(const Entry& entry) {
    boost::json::object json{
        {"event", bridge::toJson(entry.event, instants)},
        {"sent", entry.sent},
        {"hidden", entry.hidden},
        {"hiddenOnServer", entry.hiddenOnServer},
        {"removed", entry.removed},
        {"removedOnServer", entry.removedOnServer},
        {"notTaken", entry.notTaken},
        {"refusals", entry.refusals},
    };
    if (entry.gigId) {
        json["gigId"] = *entry.gigId;
    }
    if (entry.retryAt) {
        json["retryAt"] = encodeInstant(*entry.retryAt);
    }
    if (entry.refusal) {
        json["refusal"] = *entry.refusal;
    }
    return json;
}

// Throws when the value is not an entry.
Entry entryFromJson(const boost::json::value& json) {
    const auto& object = json.as_object();
    auto event = playEventFromJson(requiredValue(object, "event"), instants);
    if (!event) {
        throw std::invalid_argument("entry without a valid event");
    }
    const auto retryAt = optionalField<double>(object, "retryAt");
    return Entry{
        .event = std::move(*event),
        .gigId = optionalField<std::int64_t>(object, "gigId"),
        .sent = optionalField<bool>(object, "sent").value_or(false),
        .hidden = optionalField<bool>(object, "hidden").value_or(false),
        .hiddenOnServer = optionalField<bool>(object, "hiddenOnServer").value_or(false),
        .removed = optionalField<bool>(object, "removed").value_or(false),
        .removedOnServer = optionalField<bool>(object, "removedOnServer").value_or(false),
        .notTaken = optionalField<bool>(object, "notTaken").value_or(false),
        .refusals = optionalField<int>(object, "refusals").value_or(0),
        .retryAt = retryAt ? std::optional(instantFromReferenceSeconds(*retryAt)) : std::nullopt,
        .refusal = optionalField<std::string>(object, "refusal"),
    };
}

} // namespace

std::optional<std::string> encode(const std::vector<Entry>& entries) {
    boost::json::array array;
    array.reserve(entries.size());
    for (const auto& entry : entries) {
        array.push_back(toJson(entry));
    }
    return sortedCompactJson(array);
}

std::optional<std::vector<Entry>> decode(std::string_view bytes) {
    // Read exactly, so that a file read back encodes to the same bytes.
    const auto json = exactJson(bytes);
    if (!json || !json->is_array()) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    entries.reserve(json->get_array().size());
    try {
        for (const auto& element : json->get_array()) {
            entries.push_back(entryFromJson(element));
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return entries;
}

} // namespace bridge::QueueFile
