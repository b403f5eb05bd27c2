#include "ProDJLink/NfsError.hpp"
#include "ProDJLink/OncRpc.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace bridge {
namespace {

using namespace OncRpc;

constexpr std::uint32_t xid = 0x01020304;

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The start of an accepted, successful reply to `xid`, with a verifier of `verifier` bytes.
Writer acceptedReply(std::uint32_t to = xid, std::size_t verifier = 0) {
    Writer writer;
    writer.word(to).word(replyMessage).word(0).word(authNull).opaque(Bytes(verifier, 7));
    writer.word(0);
    return writer;
}

Writer& fileAttributes(Writer& writer, std::uint32_t type, std::uint32_t size) {
    writer.word(type);
    for (int word = 1; word < 17; ++word) {
        writer.word(word == 5 ? size : 0x55);
    }
    return writer;
}

void expectFailure(const std::function<void()>& decode, const NfsError& expected) {
    try {
        decode();
        ADD_FAILURE() << "decoded; expected " << expected.what();
    } catch (const NfsError& error) {
        EXPECT_EQ(error, expected) << error.what();
    }
}

TEST(OncRpcTests, CallsCarryTheHeaderCredentialsAndArguments) {
    const auto bytes = getPortCall(xid, nfs);
    Reader call{bytes};
    EXPECT_EQ(call.word(), xid);
    EXPECT_EQ(call.word(), callMessage);
    EXPECT_EQ(call.word(), 2u) << "RPC version";
    EXPECT_EQ(call.word(), portmapper.number);
    EXPECT_EQ(call.word(), portmapper.version);
    EXPECT_EQ(call.word(), getPortProcedure);
    EXPECT_EQ(call.word(), authUnix);
    const auto body = call.opaque(authMax);
    Reader credentials{body};
    EXPECT_EQ(credentials.word(), 0u) << "stamp";
    EXPECT_EQ(credentials.opaque(255), ascii("setmara"));
    EXPECT_EQ(credentials.word(), 0u) << "uid";
    EXPECT_EQ(credentials.word(), 0u) << "gid";
    EXPECT_EQ(credentials.word(), 0u) << "no further groups";
    EXPECT_EQ(credentials.remaining(), 0u);
    EXPECT_EQ(call.word(), authNull);
    EXPECT_EQ(call.opaque(authMax), Bytes{});
    EXPECT_EQ(call.word(), nfs.number);
    EXPECT_EQ(call.word(), nfs.version);
    EXPECT_EQ(call.word(), udpProtocol);
    EXPECT_EQ(call.word(), 0u);
    EXPECT_EQ(call.remaining(), 0u);
}

TEST(OncRpcTests, LookupsAndReadsNameTheirHandleNameAndRange) {
    Handle handle{};
    handle.fill(0xAB);
    const auto name = *playerText("PIONEER"); // 14 bytes: padded to 16
    auto lookup = lookupCall(xid, handle, name);
    // Header, credentials, verifier, then the arguments.
    ASSERT_EQ(lookup.size(), 24 + 8 + 28 + 8 + handleSize + 4 + 16);
    Reader arguments{std::span{lookup}.subspan(lookup.size() - handleSize - 20)};
    EXPECT_EQ(arguments.handle(), handle);
    EXPECT_EQ(arguments.opaque(nameMax), name);

    const auto read = readCall(xid, handle, 16384, 8192);
    Reader range{std::span{read}.subspan(read.size() - 12)};
    EXPECT_EQ(range.word(), 16384u);
    EXPECT_EQ(range.word(), 8192u);

    const auto mount = mountCall(xid, *playerText(exportPath(MediaSlot::usb)));
    Reader path{std::span{mount}.subspan(mount.size() - 12)};
    EXPECT_EQ(path.opaque(pathMax), (Bytes{'/', 0, 'C', 0, '/', 0}));
}

TEST(OncRpcTests, TextGoesAsUtf16LittleEndian) {
    EXPECT_EQ(*playerText("Ab"), (Bytes{'A', 0, 'b', 0}));
    EXPECT_EQ(*playerText("é♫"), (Bytes{0xE9, 0x00, 0x6B, 0x26}));
    EXPECT_EQ(*playerText("🎵"), (Bytes{0x3C, 0xD8, 0xB5, 0xDF})) << "a surrogate pair";
    EXPECT_EQ(*playerText(""), Bytes{});
    EXPECT_FALSE(playerText("\xFF"));
    EXPECT_FALSE(playerText("a\xC3"));
    EXPECT_EQ(exportPath(MediaSlot::sd), "/B/");
    EXPECT_EQ(exportPath(MediaSlot::usb), "/C/");
}

TEST(OncRpcTests, DecodesGoodReplies) {
    EXPECT_EQ(getPortReply(acceptedReply().word(2049).take(), xid), 2049);
    EXPECT_EQ(getPortReply(acceptedReply(xid, 8).word(1).take(), xid), 1)
        << "a verifier with a body";

    Handle handle{};
    handle.fill(0x42);
    EXPECT_EQ(mountReply(acceptedReply().word(0).fixed(handle).take(), xid), handle);

    auto lookup = acceptedReply();
    fileAttributes(lookup.word(nfsOk).fixed(handle), regularFile, 172032);
    const auto found = lookupReply(lookup.take(), xid);
    EXPECT_EQ(found.handle, handle);
    EXPECT_EQ(found.attributes.type, regularFile);
    EXPECT_EQ(found.attributes.size, 172032u);

    auto read = acceptedReply();
    fileAttributes(read.word(nfsOk), regularFile, 5).opaque(ascii("hello"));
    const auto chunk = readReply(read.take(), xid, 8192);
    EXPECT_EQ(chunk.data, ascii("hello"));
    EXPECT_EQ(chunk.attributes.size, 5u);
    EXPECT_EQ(xidOf(Bytes{1, 2, 3, 4, 5}), 0x01020304u);
    EXPECT_FALSE(xidOf(Bytes{1, 2, 3}));
}

TEST(OncRpcTests, StatusesBecomeTheirErrors) {
    expectFailure([] { getPortReply(acceptedReply().word(0).take(), xid); }, NfsError::refused);
    expectFailure([] { mountReply(acceptedReply().word(noEntry).take(), xid); },
                  NfsError::noSuchFile);
    expectFailure([] { mountReply(acceptedReply().word(13).take(), xid); }, NfsError::refused);
    const std::pair<std::uint32_t, NfsError> statuses[] = {
        {noEntry, NfsError::noSuchFile},
        {notDirectory, NfsError::noSuchFile},
        {isDirectory, NfsError::noSuchFile},
        {staleHandle, NfsError::stale},
        {5, NfsError::refused},  // an I/O error
        {13, NfsError::refused}, // access denied
    };
    for (const auto& [status, error] : statuses) {
        expectFailure([&] { lookupReply(acceptedReply().word(status).take(), xid); }, error);
        expectFailure([&] { readReply(acceptedReply().word(status).take(), xid, 10); }, error);
    }
}

TEST(OncRpcTests, RejectedAndUnacceptedCallsAreRefused) {
    const auto denied = [](std::uint32_t state) {
        return Writer{}.word(xid).word(replyMessage).word(1).word(state).word(2).word(2).take();
    };
    expectFailure([&] { getPortReply(denied(0), xid); }, NfsError::refused); // RPC version
    expectFailure([&] { getPortReply(denied(1), xid); }, NfsError::refused); // authentication
    expectFailure([&] { getPortReply(denied(2), xid); }, NfsError::malformed);
    for (std::uint32_t state = 1; state <= 5; ++state) {
        auto reply = Writer{}.word(xid).word(replyMessage).word(0).word(0).word(0).word(state);
        expectFailure([&] { mountReply(reply.word(0).word(0).take(), xid); }, NfsError::refused);
    }
    auto unknown = Writer{}.word(xid).word(replyMessage).word(0).word(0).word(0).word(6).take();
    expectFailure([&] { mountReply(unknown, xid); }, NfsError::malformed);
}

TEST(OncRpcTests, HostileRepliesAreMalformed) {
    const auto port = [](Writer writer) {
        return [bytes = writer.word(111).take()] { getPortReply(bytes, xid); };
    };
    expectFailure(port(acceptedReply(xid + 1)), NfsError::malformed); // another call's
    expectFailure([] { getPortReply(Bytes{}, xid); }, NfsError::malformed);
    expectFailure([] { getPortReply(Writer{}.word(xid).word(callMessage).take(), xid); },
                  NfsError::malformed);
    expectFailure([] { getPortReply(Writer{}.word(xid).word(1).word(2).take(), xid); },
                  NfsError::malformed);
    expectFailure(port(acceptedReply(xid, authMax + 1)), NfsError::malformed);
    expectFailure([] { getPortReply(acceptedReply().word(65536).take(), xid); },
                  NfsError::malformed);
    expectFailure([] { getPortReply(acceptedReply().take(), xid); }, NfsError::malformed);

    Handle handle{};
    expectFailure([&] { mountReply(acceptedReply().word(0).fixed(Bytes(28, 1)).take(), xid); },
                  NfsError::malformed);
    expectFailure(
        [&] { lookupReply(acceptedReply().word(nfsOk).fixed(handle).word(1).take(), xid); },
        NfsError::malformed);

    const auto read = [](std::uint32_t length, std::size_t present, std::uint32_t count) {
        auto writer = acceptedReply();
        fileAttributes(writer.word(nfsOk), regularFile, 100).word(length);
        auto bytes = writer.take();
        bytes.insert(bytes.end(), present, 0x61);
        return [bytes, count] { readReply(bytes, xid, count); };
    };
    expectFailure(read(5, 5, 10), NfsError::malformed);         // no padding
    expectFailure(read(10, 8, 10), NfsError::malformed);        // fewer bytes than said
    expectFailure(read(12, 12, 10), NfsError::malformed);       // more than asked for
    expectFailure(read(8196, 8196, 9000), NfsError::malformed); // more than READ gives
    expectFailure(read(0xFFFFFFFF, 16, 0xFFFFFFFF), NfsError::malformed);
    expectFailure([] { readReply(acceptedReply().word(nfsOk).word(1).take(), xid, 10); },
                  NfsError::malformed); // attributes cut short
}

} // namespace
} // namespace bridge
