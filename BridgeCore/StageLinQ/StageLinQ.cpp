#include "StageLinQ/StageLinQ.hpp"

#include "Support/Numbers.hpp"
#include "Support/Text.hpp"

#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <random>

namespace bridge::StageLinQ {

namespace {

constexpr std::array<std::uint8_t, 4> magic{'a', 'i', 'r', 'D'};

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

// UTF-8 to UTF-16 code units; absent when the text is not well-formed UTF-8.
std::optional<std::u16string> utf16(std::string_view string) {
    if (string.empty()) {
        return std::u16string{};
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, string.data(), static_cast<int32_t>(string.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::u16string units(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(units.data(), length, nullptr, string.data(), static_cast<int32_t>(string.size()),
                  &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return units;
}

// The four octets of a dotted IPv4 text: empty pieces and pieces that are not decimal
// numbers 0 to 255 are dropped, and exactly four must remain.
std::optional<std::array<std::uint8_t, 4>> parts(std::string_view dotted) {
    std::vector<std::uint8_t> octets;
    while (true) {
        const auto dot = dotted.find('.');
        const auto piece = dotted.substr(0, dot);
        if (const auto number = parseNumber<unsigned>(piece); number && *number <= 255) {
            octets.push_back(static_cast<std::uint8_t>(*number));
        }
        if (dot == std::string_view::npos) {
            break;
        }
        dotted.remove_prefix(dot + 1);
    }
    if (octets.size() != 4) {
        return std::nullopt;
    }
    return std::array<std::uint8_t, 4>{octets[0], octets[1], octets[2], octets[3]};
}

} // namespace

Bytes newToken() {
    std::random_device random;
    std::uniform_int_distribution<std::uint64_t> any;
    Bytes token(16);
    for (auto& byte : token) {
        byte = static_cast<std::uint8_t>(any(random) & 0xFF);
    }
    token[0] &= 0x7F;
    return token;
}

const std::map<std::string, Model, std::less<>>& models() {
    static const std::map<std::string, Model, std::less<>> table{
        {"JP07", {"SC5000", true, 2}},          {"JP08", {"SC5000M", true, 2}},
        {"JP13", {"SC6000", true, 2}},          {"JP14", {"SC6000M", true, 2}},
        {"JC11", {"PRIME 4", true, 4}},         {"JC16", {"PRIME 2", true, 2}},
        {"JP11", {"PRIME GO", true, 2}},        {"JP20", {"SC LIVE 2", true, 2}},
        {"JP21", {"SC LIVE 4", true, 4}},       {"NH08", {"MIXSTREAM PRO", true, 2}},
        {"NH09", {"MIXSTREAM PRO+", true, 2}},  {"NH10", {"MIXSTREAM PRO GO", true, 2}},
        {"JM08", {"DN-X1800 Prime", false, 0}}, {"JM10", {"DN-X1850 Prime", false, 0}},
        {"JC20", {"LC6000", false, 0}},
    };
    return table;
}

std::optional<Model> Device::model() const {
    const auto found = models().find(software);
    if (found == models().end()) {
        return std::nullopt;
    }
    return found->second;
}

int Device::decks() const {
    const auto row = model();
    return row ? row->decks : 0;
}

bool Device::connect() const {
    if (port == 0) {
        return false;
    }
    if (const auto row = model()) {
        return row->connect;
    }
    if (software == "OfflineAnalyzer") {
        return false;
    }
    const auto begins = [this](std::string_view prefix) { return software.starts_with(prefix); };
    return !(begins("SoundSwitch") || begins("Resolume") || begins("SSS"));
}

Bytes uint(std::uint64_t value, std::size_t count) {
    Bytes bytes(count, 0);
    for (std::size_t i = 0; i < count && i < 8; ++i) {
        bytes[count - 1 - i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

Bytes text(std::string_view string) {
    const auto units = utf16(string).value_or(std::u16string{});
    Bytes bytes = uint(units.size() * 2, 4);
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
    return bytes;
}

std::optional<std::uint64_t> Reader::uint(std::size_t count) {
    if (size - at < count) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | data[at + i];
    }
    at += count;
    return value;
}

std::optional<std::string> Reader::text() {
    const auto start = at;
    const auto length = uint(4);
    if (!length || size - at < *length || *length % 2 != 0) {
        at = start;
        return std::nullopt;
    }
    std::u16string units;
    units.reserve(*length / 2);
    for (std::size_t i = 0; i < *length; i += 2) {
        units.push_back(static_cast<char16_t>((data[at + i] << 8) | data[at + i + 1]));
    }
    auto decoded = utf8FromUtf16(units);
    if (!decoded) {
        at = start;
        return std::nullopt;
    }
    at += *length;
    return decoded;
}

std::optional<Bytes> Reader::bytes(std::size_t count) {
    if (size - at < count) {
        return std::nullopt;
    }
    Bytes taken(data + at, data + at + count);
    at += count;
    return taken;
}

Bytes announcement(const Bytes& token, std::string_view name, std::string_view version) {
    Bytes frame(magic.begin(), magic.end());
    append(frame, token);
    append(frame, text(name));
    append(frame, text(howdy));
    append(frame, text(name));
    append(frame, text(version));
    append(frame, uint(0, 2));
    return frame;
}

std::optional<Device> device(const std::uint8_t* frame, std::size_t size, std::string address) {
    if (size < magic.size() || !std::equal(magic.begin(), magic.end(), frame)) {
        return std::nullopt;
    }
    Reader reader{frame + magic.size(), size - magic.size()};
    auto token = reader.bytes(16);
    if (!token) {
        return std::nullopt;
    }
    auto name = reader.text();
    auto action = reader.text();
    auto software = reader.text();
    auto version = reader.text();
    const auto port = reader.uint(2);
    if (!name || !action || !software || !version || !port || *action != howdy) {
        return std::nullopt;
    }
    return Device{
        .token = std::move(*token),
        .name = std::move(*name),
        .software = std::move(*software),
        .version = std::move(*version),
        .port = static_cast<std::uint16_t>(*port),
        .address = std::move(address),
    };
}

std::optional<std::string> broadcast(std::string_view address, std::string_view mask) {
    const auto host = parts(address);
    const auto net = parts(mask);
    if (!host || !net) {
        return std::nullopt;
    }
    if ((*host)[0] == 127 ||
        std::all_of(net->begin(), net->end(), [](std::uint8_t octet) { return octet == 255; })) {
        return std::nullopt;
    }
    std::string result;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            result += '.';
        }
        result += std::to_string(static_cast<std::uint8_t>((*host)[i] | ~(*net)[i]));
    }
    return result;
}

} // namespace bridge::StageLinQ
