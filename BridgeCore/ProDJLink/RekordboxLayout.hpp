#pragma once

// The layout of rekordbox's export.pdb, as its reader and the stand-in's writer both use it.
#include <cstddef>
#include <cstdint>

namespace bridge::ProDJLink::pdb {

// Table types.
constexpr std::uint32_t tracksTable = 0;
constexpr std::uint32_t artistsTable = 2;

// File header: page size at 4, table count at 8, table pointers of 16 bytes from 0x1c.
constexpr std::size_t tablesAt = 0x1c;
constexpr std::size_t tablePointerSize = 16;
// Row offsets are 16 bits, counted from the end of the page header.
constexpr std::size_t pageHeaderSize = 0x28;
// Row groups grow back from the page end: 16 offsets, presence flags, 2 unknown bytes.
constexpr std::size_t rowsPerGroup = 16;
constexpr std::size_t groupSize = rowsPerGroup * 2 + 4;

// A track row ends in 21 string offsets; the title is the 18th.
constexpr std::size_t trackRowSize = 0x5e + 21 * 2;
constexpr std::size_t titleString = 17;

} // namespace bridge::ProDJLink::pdb
