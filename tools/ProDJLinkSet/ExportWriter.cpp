#include "ExportWriter.hpp"

#include "ProDJLink/RekordboxLayout.hpp"

#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <stdexcept>

namespace bridge {

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace ProDJLink::pdb;

constexpr std::size_t pageSize = 4096;
// A byte counts a page's rows; more than that would need the second count.
constexpr std::size_t rowsPerPage = 255;

void put(Bytes& bytes, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

// A DeviceSQL string: short ASCII where it fits, else long ASCII or UTF-16LE, whose lengths
// count their 4 header bytes.
Bytes deviceString(const std::string& text) {
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && text.size() <= 126) {
        Bytes bytes{static_cast<std::uint8_t>((text.size() + 1) * 2 + 1)};
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    }
    Bytes bytes(4, 0);
    if (ascii) {
        bytes[0] = 0x40;
        bytes.insert(bytes.end(), text.begin(), text.end());
    } else {
        bytes[0] = 0x90;
        const auto units = icu::UnicodeString::fromUTF8(text);
        for (int32_t i = 0; i < units.length(); ++i) {
            bytes.push_back(static_cast<std::uint8_t>(units[i] & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(units[i] >> 8));
        }
    }
    if (bytes.size() > 0xFFFF) {
        throw std::length_error("a text too long for a rekordbox export");
    }
    put(bytes, 1, static_cast<std::uint32_t>(bytes.size()), 2);
    return bytes;
}

std::uint32_t hundredths(const std::optional<double>& value) {
    return value ? static_cast<std::uint32_t>(std::lround(*value * 100)) : 0;
}

// A track row followed by its strings: the title, and one empty string for all the others.
Bytes trackRow(const ProDJLink::ExportTrack& track, std::uint32_t artist) {
    Bytes row(trackRowSize, 0);
    put(row, 0x00, 0x24, 2);
    put(row, 0x08, 44100, 4); // sample rate
    put(row, 0x38, hundredths(track.bpm), 4);
    put(row, 0x44, artist, 4);
    put(row, 0x48, track.id, 4);
    put(row, 0x52, 16, 2); // sample depth
    put(row, 0x54, static_cast<std::uint32_t>(std::lround(track.lengthSeconds.value_or(0))), 2);
    for (std::size_t i = 0; i < 21; ++i) {
        put(row, 0x5e + 2 * i, static_cast<std::uint32_t>(trackRowSize), 2);
    }
    row.push_back(0x03);
    put(row, 0x5e + 2 * titleString, static_cast<std::uint32_t>(row.size()), 2);
    const auto title = deviceString(track.title);
    row.insert(row.end(), title.begin(), title.end());
    return row;
}

// An artist row with its name right after it, in reach of the one-byte name offset.
Bytes artistRow(std::uint32_t id, const std::string& name) {
    Bytes row(10, 0);
    put(row, 0x00, 0x60, 2);
    put(row, 0x04, id, 4);
    row[8] = 0x03;
    row[9] = 10;
    const auto text = deviceString(name);
    row.insert(row.end(), text.begin(), text.end());
    return row;
}

std::size_t aligned(std::size_t size) {
    return (size + 3) / 4 * 4;
}

// Rows shared out over pages, each page filled as far as its heap and row index allow.
std::vector<std::vector<Bytes>> paged(const std::vector<Bytes>& rows) {
    std::vector<std::vector<Bytes>> pages(1);
    std::size_t heap = 0;
    for (const auto& row : rows) {
        const auto fits = [&](std::size_t used, std::size_t count) {
            const auto groups = (count + rowsPerGroup) / rowsPerGroup;
            return count < rowsPerPage &&
                   pageHeaderSize + used + aligned(row.size()) + groups * groupSize <= pageSize;
        };
        if (!fits(heap, pages.back().size())) {
            if (!fits(0, 0)) {
                throw std::length_error("a row too long for a rekordbox export page");
            }
            pages.emplace_back();
            heap = 0;
        }
        pages.back().push_back(row);
        heap += aligned(row.size());
    }
    return pages;
}

Bytes page(const std::vector<Bytes>& rows, std::size_t index, std::uint32_t type,
           std::size_t next) {
    Bytes bytes(pageSize, 0);
    put(bytes, 0x04, static_cast<std::uint32_t>(index), 4);
    put(bytes, 0x08, type, 4);
    put(bytes, 0x0c, static_cast<std::uint32_t>(next), 4);
    put(bytes, 0x10, 1, 4);
    bytes[0x18] = static_cast<std::uint8_t>(rows.size());
    bytes[0x1b] = 0x34; // a data page
    std::size_t heap = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::copy(rows[i].begin(), rows[i].end(),
                  bytes.begin() + static_cast<long>(pageHeaderSize + heap));
        const std::size_t groupEnd = pageSize - (i / rowsPerGroup) * groupSize;
        put(bytes, groupEnd - 6 - 2 * (i % rowsPerGroup), static_cast<std::uint32_t>(heap), 2);
        const auto present = static_cast<std::uint32_t>((2u << (i % rowsPerGroup)) - 1);
        put(bytes, groupEnd - 4, present, 2);
        heap += aligned(rows[i].size());
    }
    const std::size_t rowIndex = (rows.size() + rowsPerGroup - 1) / rowsPerGroup * groupSize;
    put(bytes, 0x1c, static_cast<std::uint32_t>(pageSize - pageHeaderSize - heap - rowIndex), 2);
    put(bytes, 0x1e, static_cast<std::uint32_t>(heap), 2);
    put(bytes, 0x20, 1, 2);
    // rekordbox writes one less than the row count here.
    put(bytes, 0x22, static_cast<std::uint32_t>(rows.empty() ? 0 : rows.size() - 1), 2);
    return bytes;
}

} // namespace

std::string exportFile(const std::vector<ProDJLink::ExportTrack>& tracks) {
    std::map<std::string, std::uint32_t> artistIds;
    std::vector<Bytes> artistRows;
    std::vector<Bytes> trackRows;
    for (const auto& track : tracks) {
        std::uint32_t artist = 0;
        if (track.artist) {
            const auto [found, added] =
                artistIds.emplace(*track.artist, static_cast<std::uint32_t>(artistIds.size() + 1));
            if (added) {
                artistRows.push_back(artistRow(found->second, *track.artist));
            }
            artist = found->second;
        }
        trackRows.push_back(trackRow(track, artist));
    }
    const auto trackPages = paged(trackRows);
    const auto artistPages = paged(artistRows);
    const std::size_t total = 1 + trackPages.size() + artistPages.size();

    Bytes file(pageSize, 0);
    put(file, 0x04, pageSize, 4);
    put(file, 0x08, 2, 4);
    put(file, 0x0c, static_cast<std::uint32_t>(total), 4); // the next page not used
    put(file, 0x14, 1, 4);                                 // sequence
    std::size_t first = 1;
    std::size_t pointer = tablesAt;
    for (const auto& [type, pages] :
         {std::pair{tracksTable, &trackPages}, std::pair{artistsTable, &artistPages}}) {
        const std::size_t last = first + pages->size() - 1;
        put(file, pointer, type, 4);
        put(file, pointer + 4, static_cast<std::uint32_t>(total), 4);
        put(file, pointer + 8, static_cast<std::uint32_t>(first), 4);
        put(file, pointer + 12, static_cast<std::uint32_t>(last), 4);
        pointer += tablePointerSize;
        for (std::size_t i = 0; i < pages->size(); ++i) {
            const std::size_t index = first + i;
            const auto bytes = page((*pages)[i], index, type, index == last ? total : index + 1);
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        first = last + 1;
    }
    return {file.begin(), file.end()};
}

} // namespace bridge
