#include "NfsServer.hpp"
#include "ProDJLink/NfsClient.hpp"
#include "ProDJLink/NfsError.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace bridge {
namespace {

using namespace testing;

constexpr auto exportFile = "PIONEER/rekordbox/export.pdb";
constexpr auto noLimit = std::numeric_limits<std::size_t>::max();
constexpr auto never = std::chrono::milliseconds::max();

std::string bytesOfSize(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 8192) & 0xFF);
    }
    return bytes;
}

// The NfsError a read ended with; absent when it ended otherwise.
std::optional<NfsError> nfsErrorOf(const std::exception_ptr& failure) {
    try {
        if (failure) {
            std::rethrow_exception(failure);
        }
    } catch (const NfsError& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

asio::awaitable<void> readInto(NfsClient& client, std::string path,
                               std::optional<std::string>& contents) {
    contents = (co_await client.read("127.0.0.1", MediaSlot::usb, std::move(path), noLimit)).bytes;
}

// The client against a simulated player on 127.0.0.1, with waits short enough for tests.
class NfsClientTests : public ::testing::Test {
protected:
    std::string read(const std::string& path, std::size_t limit = noLimit,
                     MediaSlot slot = MediaSlot::usb, const std::string& address = "127.0.0.1") {
        return runUntilDone(context, client.read(address, slot, path, limit)).bytes;
    }

    std::optional<NfsError> failureOf(const std::string& path, std::size_t limit = noLimit,
                                      MediaSlot slot = MediaSlot::usb,
                                      const std::string& address = "127.0.0.1") {
        try {
            read(path, limit, slot, address);
        } catch (...) {
            return nfsErrorOf(std::current_exception());
        }
        return std::nullopt;
    }

    // Starts reading `path` from USB in a task of its own; `failure` holds how it ended.
    Task startReading(const std::string& path) {
        return Task::spawn(context.get_executor(), readInto(client, path, contents),
                           [this](std::exception_ptr error) { failure = error; });
    }

    NfsClient::Options quick(std::uint16_t portmapperPort) const {
        return {.portmapperPort = portmapperPort, .wait = 50ms, .tries = 3, .timeLimit = 2s};
    }

    asio::io_context context;
    NfsServer server{context};
    NfsClient client{quick(server.portmapperPort())};
    std::optional<std::string> contents;
    std::exception_ptr failure;
};

TEST_F(NfsClientTests, ReadsWholeFilesOfEverySize) {
    const std::size_t sizes[] = {0, 1, 8192, 8193, 300 * 1024};
    for (const auto size : sizes) {
        const auto bytes = bytesOfSize(size);
        server.put(MediaSlot::usb, exportFile, bytes);
        const auto before = server.requests().read;
        EXPECT_EQ(read(exportFile), bytes) << size << " bytes";
        EXPECT_EQ(server.requests().read - before, static_cast<int>((size + 8191) / 8192));
    }
    EXPECT_EQ(server.requests().getPort, 2) << "the ports are asked for once";
    EXPECT_EQ(server.requests().mount, 5);
    EXPECT_EQ(server.requests().lookup, 15) << "one name per LOOKUP";
}

// A medium changed in the slot shows another stamp, told without reading the file.
TEST_F(NfsClientTests, TheStampTellsAFileWrittenAgainAndIsReadWithoutTheFile) {
    server.put(MediaSlot::usb, exportFile, bytesOfSize(100));
    const auto stampOf = [&] {
        return runUntilDone(context, client.stamp("127.0.0.1", MediaSlot::usb, exportFile));
    };
    const auto first = stampOf();
    EXPECT_EQ(first.size, 100u);
    EXPECT_EQ(stampOf(), first);
    EXPECT_EQ(server.requests().read, 0) << "only looked up";
    EXPECT_EQ(
        runUntilDone(context, client.read("127.0.0.1", MediaSlot::usb, exportFile, noLimit)).stamp,
        first);
    server.remove(MediaSlot::usb);
    server.put(MediaSlot::usb, exportFile, bytesOfSize(100));
    const auto second = stampOf();
    EXPECT_EQ(second.size, 100u);
    EXPECT_NE(second, first) << "another medium of the same size";
    server.remove(MediaSlot::usb);
    try {
        stampOf();
        ADD_FAILURE() << "a medium taken out has a stamp";
    } catch (const NfsError& error) {
        EXPECT_EQ(error, NfsError::noSuchFile);
    }
}

TEST_F(NfsClientTests, FollowsPathsAndNamesInEachSlot) {
    const auto song = "Contents/Ástor Piazzolla/Libertango ♫ 🎵.mp3";
    server.put(MediaSlot::usb, exportFile, "usb database");
    server.put(MediaSlot::sd, exportFile, "sd database");
    server.put(MediaSlot::usb, song, "tango");
    EXPECT_EQ(read(exportFile), "usb database");
    EXPECT_EQ(read(exportFile, noLimit, MediaSlot::sd), "sd database");
    EXPECT_EQ(read("/PIONEER//rekordbox/export.pdb/"), "usb database");
    EXPECT_EQ(read(song), "tango");

    EXPECT_EQ(failureOf("PIONEER/rekordbox/exportExt.pdb"), NfsError::noSuchFile);
    EXPECT_EQ(failureOf("Contents/Astor Piazzolla/Libertango ♫ 🎵.mp3"), NfsError::noSuchFile);
    EXPECT_EQ(failureOf("PIONEER/rekordbox"), NfsError::noSuchFile) << "a folder is no file";
    EXPECT_EQ(failureOf("PIONEER/rekordbox/export.pdb/more"), NfsError::noSuchFile);
    EXPECT_EQ(failureOf("//"), NfsError::noSuchFile);
    EXPECT_EQ(failureOf("PIONEER/\xFF"), NfsError::noSuchFile) << "not UTF-8";
    server.remove(MediaSlot::sd);
    EXPECT_EQ(failureOf(exportFile, noLimit, MediaSlot::sd), NfsError::noSuchFile)
        << "an empty slot";
}

TEST_F(NfsClientTests, LostRepliesAreAskedForAgainWithTheSameCall) {
    const auto bytes = bytesOfSize(20000);
    server.put(MediaSlot::usb, exportFile, bytes);
    server.dropReply(1); // the first GETPORT's
    EXPECT_EQ(read(exportFile), bytes);
    EXPECT_EQ(server.requests().getPort, 3);
    server.dropReply(6); // MNT, three LOOKUPs, a READ, then the second READ's
    EXPECT_EQ(read(exportFile), bytes);
    EXPECT_EQ(server.requests().read, 3 + 4);

    // A reply that comes after its try is over still answers the call: each try sends the
    // same call, with the same transaction id. With a new one, no try would get its reply.
    server.put(MediaSlot::usb, exportFile, "late");
    server.delayReplies(60ms);
    client = NfsClient{{.portmapperPort = server.portmapperPort(), .wait = 40ms, .tries = 2}};
    EXPECT_EQ(read(exportFile), "late");
}

TEST_F(NfsClientTests, RepliesToOtherCallsAreIgnored) {
    server.put(MediaSlot::usb, exportFile, bytesOfSize(10000));
    server.sendStrayReplies(true);
    EXPECT_EQ(read(exportFile), bytesOfSize(10000));
    EXPECT_EQ(server.requests().total(), 2 + 1 + 3 + 2) << "nothing was asked twice";
}

TEST_F(NfsClientTests, APlayerThatNeverAnswersFailsWithinTheTimeLimit) {
    server.put(MediaSlot::usb, exportFile, "x");
    server.dropReplies(never);
    client = NfsClient{{.portmapperPort = server.portmapperPort(),
                        .wait = 40ms,
                        .tries = 1000,
                        .timeLimit = 300ms}};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf(exportFile), NfsError::notAnswering);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 600ms);

    client = NfsClient{{.portmapperPort = freePort(context), .wait = 20ms, .tries = 2}};
    EXPECT_EQ(failureOf(exportFile), NfsError::notAnswering) << "nobody on that port";
    EXPECT_EQ(failureOf(exportFile, noLimit, MediaSlot::usb, "player"), NfsError::notAnswering)
        << "no IPv4 address";
}

TEST_F(NfsClientTests, FilesAboveTheLimitAreRefusedBeforeAnyRead) {
    server.put(MediaSlot::usb, exportFile, bytesOfSize(100'000));
    EXPECT_EQ(failureOf(exportFile, 99'999), NfsError::tooLarge);
    EXPECT_EQ(server.requests().read, 0);
    EXPECT_EQ(read(exportFile, 100'000), bytesOfSize(100'000));
}

TEST_F(NfsClientTests, AMediumTakenOutMidReadFailsCleanly) {
    const auto bytes = bytesOfSize(1024 * 1024);
    server.put(MediaSlot::usb, exportFile, bytes);
    auto task = startReading(exportFile);
    ASSERT_TRUE(runUntil(context, [&] { return server.requests().read >= 3; }));
    server.remove(MediaSlot::usb);
    ASSERT_TRUE(runUntil(context, [&] { return task.isFinished(); }));
    EXPECT_EQ(nfsErrorOf(failure), NfsError::stale);

    server.put(MediaSlot::usb, exportFile, "the next stick");
    EXPECT_EQ(read(exportFile), "the next stick");

    // A player that stops answering mid-read.
    server.put(MediaSlot::usb, exportFile, bytes);
    const auto before = server.requests().read;
    task = startReading(exportFile);
    ASSERT_TRUE(runUntil(context, [&] { return server.requests().read >= before + 3; }));
    server.dropReplies(never);
    ASSERT_TRUE(runUntil(context, [&] { return task.isFinished(); }));
    EXPECT_EQ(nfsErrorOf(failure), NfsError::notAnswering);
    EXPECT_FALSE(contents);
}

TEST_F(NfsClientTests, AShortReadEndsTheFile) {
    const auto before = bytesOfSize(100'000);
    server.put(MediaSlot::usb, exportFile, before);
    auto task = startReading(exportFile);
    ASSERT_TRUE(runUntil(context, [&] { return server.requests().read == 2; }));
    const auto after = bytesOfSize(20'000);
    server.put(MediaSlot::usb, exportFile, after); // rewritten shorter while being read
    ASSERT_TRUE(runUntil(context, [&] { return task.isFinished(); }));
    ASSERT_TRUE(contents) << "failed: " << nfsErrorOf(failure).value_or(NfsError::refused).what();
    EXPECT_EQ(*contents, before.substr(0, 16384) + after.substr(16384));
    EXPECT_EQ(server.requests().read, 3);
}

TEST_F(NfsClientTests, APlayerIsAskedForItsPortsAgainAfterAFailure) {
    const auto address = "127.0.0.4";
    auto player = std::make_unique<NfsServer>(context, NfsServer::Options{.address = address});
    const auto port = player->portmapperPort();
    client = NfsClient{quick(port)};
    player->put(MediaSlot::usb, exportFile, "before");
    EXPECT_EQ(read(exportFile, noLimit, MediaSlot::usb, address), "before");

    // The player restarts: its MOUNT and NFS services come back on other ports.
    player.reset();
    NfsServer restarted{context, {.address = address, .portmapperPort = port}};
    restarted.put(MediaSlot::usb, exportFile, "after");
    EXPECT_EQ(failureOf(exportFile, noLimit, MediaSlot::usb, address), NfsError::notAnswering);
    EXPECT_EQ(read(exportFile, noLimit, MediaSlot::usb, address), "after");
    EXPECT_EQ(restarted.requests().getPort, 2);
}

TEST_F(NfsClientTests, SendsToNoAddressButTheOneGiven) {
    NfsServer other{context, {.address = "127.0.0.2", .portmapperPort = server.portmapperPort()}};
    other.put(MediaSlot::sd, exportFile, "the player at .2");
    server.put(MediaSlot::sd, exportFile, "the player at .1");
    EXPECT_EQ(read(exportFile, 100, MediaSlot::sd, "127.0.0.2"), "the player at .2");
    EXPECT_EQ(failureOf(exportFile, 100, MediaSlot::sd, "127.0.0.3"), NfsError::notAnswering);
    EXPECT_EQ(other.requests().total(), 2 + 1 + 3 + 1);
    EXPECT_EQ(server.requests().total(), 0) << "same port, another address";
}

// Its own io_context and player, to see that nothing of the read is left on it.
TEST(NfsClientCancellationTests, CancellingTheCallerEndsTheReadAtOnceAndLeavesNothing) {
    asio::io_context context;
    auto player = std::make_unique<NfsServer>(context);
    player->put(MediaSlot::usb, exportFile, bytesOfSize(50'000));
    player->dropReplies(never);
    NfsClient client{{.portmapperPort = player->portmapperPort(), .wait = 5s, .timeLimit = 60s}};
    std::optional<std::string> contents;
    std::exception_ptr failure;
    auto task = Task::spawn(context.get_executor(), readInto(client, exportFile, contents),
                            [&](std::exception_ptr error) { failure = error; });
    ASSERT_TRUE(runUntil(context, [&] { return player->requests().getPort == 1; }));

    const auto start = std::chrono::steady_clock::now();
    task.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return task.isFinished(); }, 1s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_FALSE(contents);
    EXPECT_THROW(std::rethrow_exception(failure), boost::system::system_error);

    // With the player gone, the context runs out of work at once: no wait, receive or
    // resend of the read is pending.
    player.reset();
    context.restart();
    const auto stopped = std::chrono::steady_clock::now();
    context.run();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 500ms);
}

} // namespace
} // namespace bridge
