#include "ProDJLink/OncRpc.hpp"

#include "ProDJLink/NfsError.hpp"

#include <unicode/unistr.h>

#include <algorithm>
#include <limits>
#include <string>

namespace bridge::OncRpc {

namespace {

constexpr std::uint32_t rpcVersion = 2;
constexpr std::uint32_t messageAccepted = 0;
constexpr std::uint32_t messageDenied = 1;
constexpr std::uint32_t acceptedSuccess = 0;
constexpr std::uint32_t acceptedLast = 5;  // SYSTEM_ERR, the last accept state defined
constexpr std::uint32_t deniedLast = 1;    // AUTH_ERROR, the last reject state defined
constexpr std::size_t attributeWords = 17; // fattr: type, mode, ... ctime
constexpr std::string_view machineName = "setmara";

std::size_t padding(std::size_t size) {
    return (4 - size % 4) % 4;
}

Bytes credentials() {
    const std::span name{reinterpret_cast<const std::uint8_t*>(machineName.data()),
                         machineName.size()};
    // Stamp, machine name, uid 0, gid 0, no further groups: players check none of it.
    return Writer{}.word(0).opaque(name).word(0).word(0).word(0).take();
}

// The reader positioned at the results of an accepted, successful reply to `xid`.
Reader results(std::span<const std::uint8_t> reply, std::uint32_t xid) {
    Reader reader{reply};
    if (reader.word() != xid || reader.word() != replyMessage) {
        throw NfsError::malformed;
    }
    const auto state = reader.word();
    if (state == messageDenied) {
        throw reader.word() <= deniedLast ? NfsError::refused : NfsError::malformed;
    }
    if (state != messageAccepted) {
        throw NfsError::malformed;
    }
    reader.word(); // the verifier's flavor
    reader.opaque(authMax);
    const auto accepted = reader.word();
    if (accepted == acceptedSuccess) {
        return reader;
    }
    throw accepted <= acceptedLast ? NfsError::refused : NfsError::malformed;
}

// The error an NFS status other than NFS_OK stands for.
NfsError failureOf(std::uint32_t status) {
    switch (status) {
    case noEntry:
    case notDirectory:
    case isDirectory:
        return NfsError::noSuchFile;
    case staleHandle:
        return NfsError::stale;
    default:
        return NfsError::refused;
    }
}

void requireOk(Reader& reader) {
    if (const auto status = reader.word(); status != nfsOk) {
        throw failureOf(status);
    }
}

// type, mode, nlink, uid, gid, size, blocksize, rdev, blocks, fsid, fileid, atime (2),
// mtime (2), ctime (2).
Attributes attributes(Reader& reader) {
    std::array<std::uint32_t, attributeWords> words{};
    for (auto& word : words) {
        word = reader.word();
    }
    return Attributes{.type = words[0],
                      .size = words[5],
                      .fileId = words[10],
                      .modifiedSeconds = words[13],
                      .modifiedMicroseconds = words[14]};
}

} // namespace

std::string_view exportPath(MediaSlot slot) {
    return slot == MediaSlot::sd ? "/B/" : "/C/";
}

std::optional<Bytes> playerText(std::string_view utf8) {
    const auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), utf8.size()));
    // ICU replaces what is not UTF-8; such text would name another file.
    std::string back;
    if (text.toUTF8String(back) != utf8) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(static_cast<std::size_t>(text.length()) * 2);
    for (int32_t i = 0; i < text.length(); ++i) {
        const char16_t unit = text.charAt(i);
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

Writer& Writer::word(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
    return *this;
}

Writer& Writer::opaque(std::span<const std::uint8_t> data) {
    word(static_cast<std::uint32_t>(data.size()));
    return fixed(data);
}

Writer& Writer::fixed(std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), padding(data.size()), 0);
    return *this;
}

std::span<const std::uint8_t> Reader::take(std::size_t count) {
    if (count > remaining()) {
        throw NfsError::malformed;
    }
    const auto taken = bytes.subspan(at, count);
    at += count;
    return taken;
}

std::uint32_t Reader::word() {
    const auto taken = take(4);
    return std::uint32_t{taken[0]} << 24 | std::uint32_t{taken[1]} << 16 |
           std::uint32_t{taken[2]} << 8 | taken[3];
}

Bytes Reader::opaque(std::size_t max) {
    const auto size = word();
    if (size > max) {
        throw NfsError::malformed;
    }
    return fixed(size);
}

Bytes Reader::fixed(std::size_t size) {
    const auto data = take(size);
    take(padding(size));
    return Bytes(data.begin(), data.end());
}

Handle Reader::handle() {
    const auto data = take(handleSize);
    Handle handle{};
    std::copy(data.begin(), data.end(), handle.begin());
    return handle;
}

Bytes call(std::uint32_t xid, Program program, std::uint32_t procedure,
           std::span<const std::uint8_t> arguments) {
    Writer writer;
    writer.word(xid).word(callMessage).word(rpcVersion);
    writer.word(program.number).word(program.version).word(procedure);
    writer.word(authUnix).opaque(credentials());
    writer.word(authNull).word(0);
    return writer.fixed(arguments).take();
}

Bytes getPortCall(std::uint32_t xid, Program wanted) {
    const auto arguments =
        Writer{}.word(wanted.number).word(wanted.version).word(udpProtocol).word(0).take();
    return call(xid, portmapper, getPortProcedure, arguments);
}

Bytes mountCall(std::uint32_t xid, std::span<const std::uint8_t> path) {
    return call(xid, mount, mountProcedure, Writer{}.opaque(path).take());
}

Bytes lookupCall(std::uint32_t xid, const Handle& folder, std::span<const std::uint8_t> name) {
    return call(xid, nfs, lookupProcedure, Writer{}.fixed(folder).opaque(name).take());
}

Bytes readCall(std::uint32_t xid, const Handle& file, std::uint32_t offset, std::uint32_t count) {
    // The last word, "totalcount", is unused.
    const auto arguments = Writer{}.fixed(file).word(offset).word(count).word(count).take();
    return call(xid, nfs, readProcedure, arguments);
}

std::optional<std::uint32_t> xidOf(std::span<const std::uint8_t> reply) {
    if (reply.size() < 4) {
        return std::nullopt;
    }
    return Reader{reply}.word();
}

std::uint16_t getPortReply(std::span<const std::uint8_t> reply, std::uint32_t xid) {
    auto reader = results(reply, xid);
    const auto port = reader.word();
    if (port > std::numeric_limits<std::uint16_t>::max()) {
        throw NfsError::malformed;
    }
    if (port == 0) {
        throw NfsError::refused;
    }
    return static_cast<std::uint16_t>(port);
}

Handle mountReply(std::span<const std::uint8_t> reply, std::uint32_t xid) {
    auto reader = results(reply, xid);
    if (const auto status = reader.word(); status != 0) {
        throw status == noEntry ? NfsError::noSuchFile : NfsError::refused;
    }
    return reader.handle();
}

Found lookupReply(std::span<const std::uint8_t> reply, std::uint32_t xid) {
    auto reader = results(reply, xid);
    requireOk(reader);
    Found found;
    found.handle = reader.handle();
    found.attributes = attributes(reader);
    return found;
}

Chunk readReply(std::span<const std::uint8_t> reply, std::uint32_t xid, std::uint32_t count) {
    auto reader = results(reply, xid);
    requireOk(reader);
    Chunk chunk;
    chunk.attributes = attributes(reader);
    chunk.data = reader.opaque(std::min(count, readMax));
    return chunk;
}

} // namespace bridge::OncRpc
