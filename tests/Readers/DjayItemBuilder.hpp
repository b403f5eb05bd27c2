#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace bridge::testing {

// Lays out a djay history item the way djay stores it: a 16-byte header starting "TSAF",
// then fields, each value with its type tag first and the field's name after it, the name
// marked by 0x08 and ended by NUL. Numbers are little-endian, and 8-byte values start on an
// 8-byte boundary, zero bytes padding the gap after the tag.
class DjayItemBuilder {
public:
    static constexpr unsigned char textTag = 0x08;
    static constexpr unsigned char dateTag = 0x30;
    static constexpr unsigned char floatTag = 0x13;
    static constexpr unsigned char doubleTag = 0x14;
    static constexpr unsigned char smallIntegerTag = 0x0F;
    static constexpr unsigned char oneTag = 0x2D;
    static constexpr unsigned char objectTag = 0x0B;
    static constexpr unsigned char objectEnd = 0x0C;

    DjayItemBuilder() {
        bytes = "TSAF";
        bytes += std::string("\x03\x00\x03\x00\x27\x00\x00\x00\x05\x00\x00\x00", 12);
    }

    DjayItemBuilder& text(std::string_view name, std::string_view value) {
        bytes += static_cast<char>(textTag);
        bytes += value;
        bytes += '\0';
        return this->name(name);
    }

    DjayItemBuilder& date(std::string_view name, double secondsSince2001) {
        return aligned(name, dateTag, std::bit_cast<std::uint64_t>(secondsSince2001), 8);
    }

    DjayItemBuilder& real(std::string_view name, double value) {
        return aligned(name, doubleTag, std::bit_cast<std::uint64_t>(value), 8);
    }

    DjayItemBuilder& single(std::string_view name, float value) {
        return aligned(name, floatTag, std::bit_cast<std::uint32_t>(value), 4);
    }

    DjayItemBuilder& integer(std::string_view name, unsigned char value) {
        if (value == 1) {
            bytes += static_cast<char>(oneTag);
        } else {
            bytes += static_cast<char>(smallIntegerTag);
            bytes += static_cast<char>(value);
        }
        return this->name(name);
    }

    // A nested object: its fields between the object's tag and end, then its name.
    DjayItemBuilder& object(std::string_view name,
                            const std::function<void(DjayItemBuilder&)>& fields) {
        bytes += static_cast<char>(objectTag);
        fields(*this);
        bytes += static_cast<char>(objectEnd);
        return this->name(name);
    }

    // Bytes laid down as they are, to build what djay would not write.
    DjayItemBuilder& raw(std::string_view data) {
        bytes += data;
        return *this;
    }

    DjayItemBuilder& name(std::string_view name) {
        bytes += static_cast<char>(textTag);
        bytes += name;
        bytes += '\0';
        return *this;
    }

    const std::string& data() const { return bytes; }

    // An item as djay writes it for a song on the given deck.
    static DjayItemBuilder song(std::string_view title, std::string_view artist, double startTime,
                                float duration, unsigned char deck = 2) {
        DjayItemBuilder item;
        item.text("uuid", "6F1C2A4E-93B1-4E55-8C1D-2B7A0E9F4C11")
            .text("sessionUUID", "0D9E8F7A-6B5C-4D3E-2F1A-0B9C8D7E6F5A")
            .object("track",
                    [](DjayItemBuilder& track) {
                        track.text("sourceURI", "file:///Music/Salsa/Vivir%20Mi%20Vida.mp3")
                            .real("bpm", 104.2)
                            .integer("rating", 4);
                    })
            .text("title", title)
            .text("artist", artist)
            .text("album", "3.0")
            .single("duration", duration)
            .date("startTime", startTime)
            .date("endTime", startTime + duration)
            .integer("deckNumber", deck)
            .integer("playCount", 1);
        return item;
    }

private:
    template <class Bits>
    DjayItemBuilder& aligned(std::string_view name, unsigned char tag, Bits bits,
                             std::size_t width) {
        bytes += static_cast<char>(tag);
        while (bytes.size() % width != 0) {
            bytes += '\0';
        }
        for (std::size_t i = 0; i < width; ++i) {
            bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
        }
        return this->name(name);
    }

    std::string bytes;
};

} // namespace bridge::testing
