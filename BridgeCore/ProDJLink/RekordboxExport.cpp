#include "ProDJLink/RekordboxExport.hpp"

#include "ProDJLink/RekordboxLayout.hpp"
#include "Support/SourceText.hpp"

#include <unicode/unistr.h>

#include <vector>

namespace bridge::ProDJLink {

namespace {

using Error = RekordboxExportError;
using namespace pdb;

constexpr std::size_t smallestPage = 0x100;
constexpr std::size_t largestPage = 0x10000;
constexpr std::uint8_t strangePage = 0x40;
constexpr std::uint16_t noLargeCount = 0x1fff;

constexpr std::size_t artistRowSize = 0x0c;
constexpr std::uint16_t farArtistName = 0x64;

// Bounds were checked against the view's size before any of these reads.
std::uint32_t little(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i > 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i - 1]);
    }
    return value;
}

struct File {
    std::string_view bytes;
    std::size_t pageSize = 0;
    std::size_t pages = 0;

    std::string_view page(std::size_t index) const {
        return bytes.substr(index * pageSize, pageSize);
    }
};

File fileOf(std::string_view bytes) {
    if (bytes.size() > RekordboxExport::maximumSize) {
        throw Error{Error::Kind::tooLarge};
    }
    if (bytes.size() < tablesAt || little(bytes, 0, 4) != 0) {
        throw Error{Error::Kind::malformed};
    }
    const std::size_t pageSize = little(bytes, 4, 4);
    const std::size_t tables = little(bytes, 8, 4);
    if (pageSize < smallestPage || pageSize > largestPage || bytes.size() < pageSize ||
        tables > (pageSize - tablesAt) / tablePointerSize) {
        throw Error{Error::Kind::malformed};
    }
    return {bytes, pageSize, bytes.size() / pageSize};
}

// The pages of one table, following each page's link to the next up to the table's last page.
// A link that leaves the file, comes back to a page already seen or reaches a page of another
// type breaks every table after it, so the file is refused rather than read in part.
std::vector<std::string_view> tablePages(const File& file, std::uint32_t type) {
    const auto tables = little(file.bytes, 8, 4);
    for (std::size_t t = 0; t < tables; ++t) {
        const std::size_t at = tablesAt + t * tablePointerSize;
        if (little(file.bytes, at, 4) != type) {
            continue;
        }
        const std::size_t last = little(file.bytes, at + 12, 4);
        std::vector<bool> seen(file.pages, false);
        std::vector<std::string_view> pages;
        for (std::size_t index = little(file.bytes, at + 8, 4);;) {
            if (index == 0 || index >= file.pages || seen[index]) {
                throw Error{Error::Kind::malformed};
            }
            seen[index] = true;
            const auto page = file.page(index);
            if (little(page, 8, 4) != type) {
                throw Error{Error::Kind::malformed};
            }
            pages.push_back(page);
            if (index == last) {
                return pages;
            }
            index = little(page, 12, 4);
        }
    }
    return {};
}

// Where each row present in a data page starts. A page whose row index would reach into its
// header is skipped: its rows cannot be told apart, but the other pages can still be read.
std::vector<std::size_t> rowsOf(std::string_view page) {
    if ((static_cast<std::uint8_t>(page[0x1b]) & strangePage) != 0) {
        return {};
    }
    const std::size_t small = static_cast<std::uint8_t>(page[0x18]);
    const std::size_t large = little(page, 0x22, 2);
    const std::size_t count = large > small && large != noLargeCount ? large : small;
    const std::size_t groups = (count + rowsPerGroup - 1) / rowsPerGroup;
    if (groups * groupSize > page.size() - pageHeaderSize) {
        return {};
    }
    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < count; ++row) {
        const std::size_t groupEnd = page.size() - (row / rowsPerGroup) * groupSize;
        const std::size_t bit = row % rowsPerGroup;
        // Rows not flagged present are deleted ones: their bytes may be anything.
        if (((little(page, groupEnd - 4, 2) >> bit) & 1) != 0) {
            rows.push_back(pageHeaderSize + little(page, groupEnd - 6 - 2 * bit, 2));
        }
    }
    return rows;
}

void appendAscii(std::string& text, std::string_view bytes) {
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            text += "\xEF\xBF\xBD";
        } else if (byte != '\0') {
            text.push_back(byte);
        }
    }
}

// UTF-16LE code units as UTF-8; unpaired surrogates become U+FFFD.
std::string fromUtf16(std::string_view bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(little(bytes, i, 2)));
    }
    while (!units.empty() && units.back() == u'\0') {
        units.pop_back();
    }
    std::string text;
    icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())).toUTF8String(text);
    return text;
}

// A DeviceSQL string at `at` in the page, trimmed; absent when it runs off the page or its
// kind is unknown. Long strings count their 4 header bytes in their length.
std::optional<std::string> stringAt(std::string_view page, std::size_t at) {
    if (at >= page.size()) {
        return std::nullopt;
    }
    const auto kind = static_cast<std::uint8_t>(page[at]);
    std::string text;
    if ((kind & 1) != 0) {
        const std::size_t length = (kind - 1) / 2;
        if (length == 0 || page.size() - at < length) {
            return std::nullopt;
        }
        appendAscii(text, page.substr(at + 1, length - 1));
        return trimmed(text);
    }
    if ((kind != 0x40 && kind != 0x90) || page.size() - at < 4) {
        return std::nullopt;
    }
    const std::size_t length = little(page, at + 1, 2);
    if (length < 4 || page.size() - at < length) {
        return std::nullopt;
    }
    const auto data = page.substr(at + 4, length - 4);
    if (kind == 0x40) {
        appendAscii(text, data);
    } else {
        text = fromUtf16(data);
    }
    return trimmed(text);
}

std::map<std::uint32_t, std::string> artistsOf(const File& file) {
    std::map<std::uint32_t, std::string> artists;
    for (const auto page : tablePages(file, artistsTable)) {
        for (const auto row : rowsOf(page)) {
            if (row > page.size() - artistRowSize) {
                continue;
            }
            const bool far = little(page, row, 2) == farArtistName;
            const auto offset = far ? little(page, row + 0x0a, 2) : little(page, row + 9, 1);
            if (auto name = stringAt(page, row + offset); name && !name->empty()) {
                artists.emplace(little(page, row + 4, 4), std::move(*name));
            }
        }
    }
    return artists;
}

std::optional<double> hundredths(std::uint32_t value) {
    return value == 0 ? std::nullopt : std::optional<double>{value / 100.0};
}

// A track row; absent when it does not fit its page or its title runs off the page.
std::optional<ExportTrack> trackAt(std::string_view page, std::size_t row,
                                   const std::map<std::uint32_t, std::string>& artists) {
    if (row > page.size() - trackRowSize) {
        return std::nullopt;
    }
    auto title = stringAt(page, row + little(page, row + 0x5e + 2 * titleString, 2));
    if (!title) {
        return std::nullopt;
    }
    ExportTrack track{.id = little(page, row + 0x48, 4), .title = std::move(*title)};
    if (const auto artist = artists.find(little(page, row + 0x44, 4)); artist != artists.end()) {
        track.artist = artist->second;
    }
    if (const auto seconds = little(page, row + 0x54, 2); seconds != 0) {
        track.lengthSeconds = seconds;
    }
    track.bpm = hundredths(little(page, row + 0x38, 4));
    return track;
}

} // namespace

RekordboxExport::RekordboxExport(std::string_view pdbBytes) {
    const auto file = fileOf(pdbBytes);
    const auto artists = artistsOf(file);
    for (const auto page : tablePages(file, tracksTable)) {
        for (const auto row : rowsOf(page)) {
            if (auto track = trackAt(page, row, artists)) {
                byId.emplace(track->id, std::move(*track));
            }
        }
    }
}

const ExportTrack* RekordboxExport::find(std::uint32_t id) const {
    const auto found = byId.find(id);
    return found == byId.end() ? nullptr : &found->second;
}

std::map<std::uint32_t, ExportTrack> tracksOf(std::string_view pdbBytes) {
    return RekordboxExport{pdbBytes}.tracks();
}

} // namespace bridge::ProDJLink
