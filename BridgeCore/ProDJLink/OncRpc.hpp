#pragma once

#include "ProDJLink/MediaFiles.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// ONC RPC over UDP as Pioneer players serve their media: the portmapper's GETPORT, MOUNT's
// MNT, NFS version 2's LOOKUP and READ. Calls are encoded here; replies are decoded with
// every field checked, and fail with NfsError.
namespace bridge::OncRpc {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t handleSize = 32;
using Handle = std::array<std::uint8_t, handleSize>;

// Most bytes one READ returns.
inline constexpr std::uint32_t readMax = 8192;
// Longest name in a LOOKUP and longest mount path, in bytes.
inline constexpr std::size_t nameMax = 255;
inline constexpr std::size_t pathMax = 1024;
// Longest authentication body.
inline constexpr std::size_t authMax = 400;

struct Program {
    std::uint32_t number = 0;
    std::uint32_t version = 0;
};

inline constexpr Program portmapper{100000, 2};
inline constexpr Program mount{100005, 1};
inline constexpr Program nfs{100003, 2};

inline constexpr std::uint32_t getPortProcedure = 3;
inline constexpr std::uint32_t mountProcedure = 1;
inline constexpr std::uint32_t lookupProcedure = 4;
inline constexpr std::uint32_t readProcedure = 6;

inline constexpr std::uint32_t udpProtocol = 17;
inline constexpr std::uint32_t callMessage = 0;
inline constexpr std::uint32_t replyMessage = 1;
inline constexpr std::uint32_t authNull = 0;
inline constexpr std::uint32_t authUnix = 1;

// NFS version 2 statuses the client tells apart; MOUNT answers Unix error numbers.
inline constexpr std::uint32_t nfsOk = 0;
inline constexpr std::uint32_t noEntry = 2;
inline constexpr std::uint32_t notDirectory = 20;
inline constexpr std::uint32_t isDirectory = 21;
inline constexpr std::uint32_t staleHandle = 70;

inline constexpr std::uint32_t regularFile = 1;
inline constexpr std::uint32_t directory = 2;

// The path a player exports a slot's medium under.
std::string_view exportPath(MediaSlot slot);

// UTF-8 text as players expect mount paths and names: UTF-16 little-endian, no terminator.
// Absent when the text is not well-formed UTF-8.
std::optional<Bytes> playerText(std::string_view utf8);

// XDR writing: big-endian words, opaque data padded to a multiple of four bytes.
class Writer {
public:
    Writer& word(std::uint32_t value);
    // Variable-length opaque data or string: its length, the bytes, the padding.
    Writer& opaque(std::span<const std::uint8_t> bytes);
    // Fixed-length opaque data: the bytes and the padding.
    Writer& fixed(std::span<const std::uint8_t> bytes);
    Bytes take() { return std::move(bytes); }

private:
    Bytes bytes;
};

// XDR reading, each step bounds-checked: one past the end fails with NfsError::malformed.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes(bytes) {}

    std::uint32_t word();
    // Variable-length opaque data of at most `max` bytes, and its padding.
    Bytes opaque(std::size_t max);
    // Fixed-length opaque data, and its padding.
    Bytes fixed(std::size_t size);
    Handle handle();
    std::size_t remaining() const { return bytes.size() - at; }

private:
    std::span<const std::uint8_t> take(std::size_t count);

    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

// The parts of a file's attributes the client uses.
struct Attributes {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::uint32_t fileId = 0;
    std::uint32_t modifiedSeconds = 0;
    std::uint32_t modifiedMicroseconds = 0;
};

// Calls, with AUTH_UNIX credentials.
Bytes call(std::uint32_t xid, Program program, std::uint32_t procedure,
           std::span<const std::uint8_t> arguments);
// Asks for the UDP port of `wanted`.
Bytes getPortCall(std::uint32_t xid, Program wanted);
Bytes mountCall(std::uint32_t xid, std::span<const std::uint8_t> path);
Bytes lookupCall(std::uint32_t xid, const Handle& folder, std::span<const std::uint8_t> name);
Bytes readCall(std::uint32_t xid, const Handle& file, std::uint32_t offset, std::uint32_t count);

// The transaction id a reply starts with; absent when it is too short to have one.
std::optional<std::uint32_t> xidOf(std::span<const std::uint8_t> reply);

// Replies to the call with `xid`.
// GETPORT: the port; a program that is not registered is `refused`.
std::uint16_t getPortReply(std::span<const std::uint8_t> reply, std::uint32_t xid);
// MNT: the handle of the export's root.
Handle mountReply(std::span<const std::uint8_t> reply, std::uint32_t xid);

struct Found {
    Handle handle{};
    Attributes attributes;
};
Found lookupReply(std::span<const std::uint8_t> reply, std::uint32_t xid);

struct Chunk {
    Attributes attributes;
    Bytes data;
};
// READ of at most `count` bytes: more than that is `malformed`.
Chunk readReply(std::span<const std::uint8_t> reply, std::uint32_t xid, std::uint32_t count);

} // namespace bridge::OncRpc
