#include "Readers/DjayHistoryItem.hpp"

#include "Support/Text.hpp"

#include <bit>
#include <cmath>
#include <cstring>

namespace bridge {

namespace {

// The record's header; names and values are only looked for after it.
constexpr std::size_t headerSize = 16;

constexpr unsigned char textTag = 0x08;
constexpr unsigned char startTimeTag = 0x30;
constexpr unsigned char floatTag = 0x13;
constexpr unsigned char doubleTag = 0x14;
constexpr unsigned char smallIntegerTag = 0x0F;
constexpr unsigned char integerOne = 0x2D;

class Record {
public:
    explicit Record(std::string_view data) : data(data) {}

    // Offset of the name's 0x08 marker, when the name is there.
    std::optional<std::size_t> find(std::string_view name) const {
        std::string pattern;
        pattern += static_cast<char>(textTag);
        pattern += name;
        pattern += '\0';
        const auto position = data.find(pattern, headerSize);
        if (position == std::string_view::npos) {
            return std::nullopt;
        }
        return position;
    }

    // A NUL-ended text right before the name, with its own 0x08 marker before it.
    std::optional<std::string> text(std::string_view name) const {
        const auto position = find(name);
        if (!position || *position < headerSize + 2 || byte(*position - 1) != 0) {
            return std::nullopt;
        }
        const std::size_t end = *position - 1;
        for (std::size_t i = end; i-- > headerSize;) {
            if (byte(i) == textTag) {
                if (i + 1 == end) {
                    return std::nullopt;
                }
                return validUtf8(data.substr(i + 1, end - i - 1));
            }
        }
        return std::nullopt;
    }

    // The `width` little-endian bytes right before the name, when the tag before them (zero
    // padding allowed, at most `width` bytes of it) is `tag`.
    std::optional<std::string_view> number(std::string_view name, unsigned char tag,
                                           std::size_t width) const {
        const auto position = find(name);
        if (!position || *position < headerSize + width + 1) {
            return std::nullopt;
        }
        const std::size_t first = *position - width - 1;
        const std::size_t last =
            *position >= headerSize + 2 * width + 1 ? *position - 2 * width - 1 : headerSize;
        std::size_t i = first;
        while (i > last && byte(i) == 0) {
            --i;
        }
        if (byte(i) != tag) {
            return std::nullopt;
        }
        return data.substr(*position - width, width);
    }

    std::optional<std::int64_t> deck() const {
        const auto position = find("deckNumber");
        if (!position) {
            return std::nullopt;
        }
        if (byte(*position - 1) == integerOne) {
            return 1;
        }
        if (*position < headerSize + 2 || byte(*position - 2) != smallIntegerTag) {
            return std::nullopt;
        }
        return byte(*position - 1);
    }

    unsigned char byte(std::size_t offset) const {
        return static_cast<unsigned char>(data[offset]);
    }

private:
    // The text with every ill-formed sequence replaced by U+FFFD.
    static std::string validUtf8(std::string_view bytes) {
        std::string result;
        result.reserve(bytes.size());
        while (!bytes.empty()) {
            const std::size_t length = utf8SequenceLength(bytes);
            if (length == 0) {
                result += "\uFFFD";
                bytes.remove_prefix(1);
            } else {
                result += bytes.substr(0, length);
                bytes.remove_prefix(length);
            }
        }
        return result;
    }

    std::string_view data;
};

template <class Number, class Bytes>
Number littleEndian(std::string_view bytes) {
    static_assert(sizeof(Number) == sizeof(Bytes));
    Bytes raw = 0;
    for (std::size_t i = sizeof(Bytes); i-- > 0;) {
        raw = static_cast<Bytes>(raw << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return std::bit_cast<Number>(raw);
}

} // namespace

std::optional<DjayHistoryItem> DjayHistoryItem::decode(std::string_view data) {
    if (data.size() <= headerSize || !data.starts_with("TSAF")) {
        return std::nullopt;
    }
    const Record record(data);
    auto title = record.text("title");
    const auto startTime = record.number("startTime", startTimeTag, 8);
    if (!title || !startTime) {
        return std::nullopt;
    }
    const auto started = littleEndian<double, std::uint64_t>(*startTime);
    // A start that is no moment would keep the item on air for ever.
    if (!std::isfinite(started)) {
        return std::nullopt;
    }
    std::optional<double> duration;
    if (const auto single = record.number("duration", floatTag, 4)) {
        duration = littleEndian<float, std::uint32_t>(*single);
    } else if (const auto wide = record.number("duration", doubleTag, 8)) {
        duration = littleEndian<double, std::uint64_t>(*wide);
    }
    if (duration && !std::isfinite(*duration)) {
        duration.reset();
    }
    return DjayHistoryItem{
        .id = record.text("uuid").value_or(""),
        .title = std::move(*title),
        .artist = record.text("artist"),
        .duration = duration,
        .deck = record.deck(),
        .started = instantFromReferenceSeconds(started),
    };
}

} // namespace bridge
