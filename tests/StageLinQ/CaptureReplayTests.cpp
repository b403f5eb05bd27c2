// Replays a real capture of an SC6000 player and an X1800 mixer starting up, on 127.0.0.1
// only. The capture lives outside the repository; these tests skip where it is absent.
#include "StageLinQ/StageLinQConnection.hpp"
#include "StageLinQ/StageLinQLink.hpp"
#include "StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace bridge {
namespace {

using namespace testing;

const auto capturePath = std::filesystem::path{BRIDGE_SOURCE_DIR} / ".." / "shared" / "fixtures" /
                         "stagelinq" / "sc6000-x1800-boot.pcap";

struct Packet {
    std::chrono::microseconds time{0}; // when it was captured
    bool tcp = false;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint32_t sequence = 0;
    bool syn = false;
    Bytes payload;
};

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at, std::size_t count) {
    return static_cast<std::uint32_t>(*StageLinQ::Reader{bytes.data() + at, count}.uint(count));
}

// The IPv4 TCP and UDP packets of a classic pcap file of Ethernet frames.
std::vector<Packet> readCapture() {
    std::ifstream file{capturePath, std::ios::binary};
    const Bytes data{std::istreambuf_iterator<char>{file}, {}};
    if (data.size() < 24 || bigEndian(data, 0, 4) != 0xA1B2C3D4) {
        throw std::runtime_error("not a big-endian pcap file");
    }
    std::vector<Packet> packets;
    for (std::size_t at = 24; at + 16 <= data.size();) {
        const std::chrono::microseconds time{std::chrono::seconds{bigEndian(data, at, 4)} +
                                             std::chrono::microseconds{bigEndian(data, at + 4, 4)}};
        const auto length = bigEndian(data, at + 8, 4);
        const Bytes frame(data.begin() + static_cast<long>(at + 16),
                          data.begin() +
                              static_cast<long>(std::min(data.size(), at + 16 + length)));
        at += 16 + length;
        if (frame.size() < 34 || bigEndian(frame, 12, 2) != 0x0800) {
            continue;
        }
        const std::size_t ip = 14;
        const std::size_t header = (frame[ip] & 0x0F) * 4u;
        const std::size_t end =
            std::min<std::size_t>(frame.size(), ip + bigEndian(frame, ip + 2, 2));
        const std::size_t l4 = ip + header;
        const auto protocol = frame[ip + 9];
        Packet packet{.time = time};
        if (protocol == 17 && l4 + 8 <= end) {
            packet.payload.assign(frame.begin() + static_cast<long>(l4 + 8),
                                  frame.begin() + static_cast<long>(end));
        } else if (protocol == 6 && l4 + 20 <= end) {
            packet.tcp = true;
            packet.sequence = bigEndian(frame, l4 + 4, 4);
            packet.syn = (frame[l4 + 13] & 0x02) != 0;
            const std::size_t offset = (frame[l4 + 12] >> 4) * 4u;
            packet.payload.assign(frame.begin() + static_cast<long>(std::min(end, l4 + offset)),
                                  frame.begin() + static_cast<long>(end));
        } else {
            continue;
        }
        packet.sourcePort = static_cast<std::uint16_t>(bigEndian(frame, l4, 2));
        packet.destinationPort = static_cast<std::uint16_t>(bigEndian(frame, l4 + 2, 2));
        packets.push_back(std::move(packet));
    }
    return packets;
}

// The bytes one side of a TCP connection sent, in sequence order, each once.
Bytes stream(const std::vector<Packet>& packets, std::uint16_t from, std::uint16_t to) {
    std::map<std::uint32_t, Bytes> segments;
    std::optional<std::uint32_t> next;
    for (const auto& packet : packets) {
        if (packet.tcp && packet.sourcePort == from && packet.destinationPort == to) {
            if (packet.syn) {
                next = packet.sequence + 1;
            } else if (!packet.payload.empty()) {
                segments.emplace(packet.sequence, packet.payload);
            }
        }
    }
    Bytes all;
    for (const auto& [sequence, payload] : segments) {
        const auto skip = next ? *next - sequence : 0;
        if (skip < payload.size()) {
            all.insert(all.end(), payload.begin() + skip, payload.end());
            next = sequence + static_cast<std::uint32_t>(payload.size());
        }
    }
    return all;
}

// The bodies of the length-prefixed messages of a state-map stream.
std::vector<Bytes> messages(const Bytes& stream) {
    std::vector<Bytes> bodies;
    StageLinQ::Reader reader{stream};
    while (const auto length = reader.uint(4)) {
        if (auto body = reader.bytes(*length)) {
            bodies.push_back(std::move(*body));
        } else {
            break;
        }
    }
    return bodies;
}

class CaptureReplayTests : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(capturePath)) {
            GTEST_SKIP() << "The StageLinQ capture is not here: " << capturePath;
        }
        packets = readCapture();
    }

    std::vector<Bytes> discoveryFrames() const {
        std::vector<Bytes> frames;
        for (const auto& packet : packets) {
            if (!packet.tcp && packet.destinationPort == StageLinQ::discoveryPort) {
                frames.push_back(packet.payload);
            }
        }
        return frames;
    }

    std::vector<Packet> packets;
    asio::io_context context;
};

TEST_F(CaptureReplayTests, ParsesEveryRealDiscoveryFrame) {
    const auto frames = discoveryFrames();
    ASSERT_EQ(frames.size(), 74u);
    std::map<std::pair<std::string, std::uint16_t>, StageLinQ::Device> announcers;
    for (const auto& frame : frames) {
        const auto device = StageLinQ::device(frame, "127.0.0.1");
        ASSERT_TRUE(device);
        announcers[{device->software, device->port}] = *device;
    }
    ASSERT_EQ(announcers.size(), 4u);
    const auto& player = announcers.at({"JP13", 42923});
    EXPECT_EQ(player.name, "sc6000");
    EXPECT_EQ(player.version, "2.3.1");
    EXPECT_EQ(player.token, (Bytes{0x8f, 0xba, 0x5c, 0xed, 0x93, 0x81, 0x4d, 0x5c, 0xb3, 0x34, 0x5b,
                                   0xf9, 0x35, 0xb8, 0xe4, 0x9e}));
    EXPECT_TRUE(player.connect());
    EXPECT_EQ(player.model()->name, "SC6000");
    EXPECT_FALSE(announcers.at({"JM08", 50010}).connect());
    EXPECT_EQ(announcers.at({"JM08", 50010}).name, "DN-X1800Prime");
    EXPECT_FALSE(announcers.at({"OfflineAnalyzer", 41339}).connect());
    EXPECT_FALSE(announcers.at({"OfflineAnalyzer", 46815}).connect());
}

TEST_F(CaptureReplayTests, HearsTheRealFramesOnLoopback) {
    StageLinQLink link{freePort(context), [] { return std::vector<std::string>{}; }};
    std::mutex lock;
    std::set<std::string> heard;
    bool ended = false;
    auto discovery =
        Task::spawn(context.get_executor(),
                    link.discover({},
                                  [&](const StageLinQ::Device& device) {
                                      std::lock_guard guard{lock};
                                      heard.insert(device.software + "@" + device.address);
                                  }),
                    [&](std::exception_ptr) { ended = true; });
    auto sending =
        Task::spawn(context.get_executor(), sendRepeatedly(link.port, discoveryFrames()));
    ASSERT_TRUE(runUntil(context, [&] {
        std::lock_guard guard{lock};
        return heard.size() == 3;
    }));
    EXPECT_TRUE(heard.contains("JP13@127.0.0.1"));
    EXPECT_TRUE(heard.contains("OfflineAnalyzer@127.0.0.1"));
    sending.cancel();
    discovery.cancel();
    ASSERT_TRUE(runUntil(context, [&] { return ended; }));
}

TEST_F(CaptureReplayTests, ThePlayerSendsAReferenceOfItsOwnEveryFiveSeconds) {
    // On its main connection the player answers each of the client's references at once
    // and, besides, sends references of its own: its token first, no second one.
    const auto player = Bytes{0x8f, 0xba, 0x5c, 0xed, 0x93, 0x81, 0x4d, 0x5c,
                              0xb3, 0x34, 0x5b, 0xf9, 0x35, 0xb8, 0xe4, 0x9e};
    const auto own = join({StageLinQ::uint(1, 4), player, Bytes(16, 0)});
    std::vector<std::chrono::microseconds> sent;
    for (const auto& packet : packets) {
        if (packet.tcp && packet.sourcePort == 42923 && packet.payload.size() == 44 &&
            std::equal(own.begin(), own.end(), packet.payload.begin())) {
            sent.push_back(packet.time);
        }
    }
    ASSERT_EQ(sent.size(), 3u);
    for (std::size_t i = 1; i < sent.size(); ++i) {
        EXPECT_NEAR(std::chrono::duration<double>(sent[i] - sent[i - 1]).count(), 5.0, 0.01);
    }
    // A session gives up after three of them went missing.
    EXPECT_EQ(StageLinQConnection::silentWithin, 3 * 5s);
}

asio::awaitable<void> serve(tcp::acceptor& acceptor, std::size_t skip, Bytes bytes) {
    auto socket = co_await acceptor.async_accept(asio::use_awaitable);
    co_await readBytes(socket, skip);
    co_await writeBytes(socket, bytes);
    co_await pause(60s);
}

TEST_F(CaptureReplayTests, FollowsTheRealPlayerStreams) {
    tcp::acceptor main{context, {asio::ip::address_v4::loopback(), 0}};
    tcp::acceptor stateMap{context, {asio::ip::address_v4::loopback(), 0}};

    // The player's answer on its main connection, with its state map moved to loopback.
    auto mainStream = stream(packets, 42923, 49153);
    const auto name = StageLinQ::text("StateMap");
    const auto at = std::search(mainStream.begin(), mainStream.end(), name.begin(), name.end());
    ASSERT_NE(at, mainStream.end());
    ASSERT_EQ(bigEndian(Bytes(at + static_cast<long>(name.size()),
                              at + static_cast<long>(name.size()) + 2),
                        0, 2),
              38631u);
    const auto port = StageLinQ::uint(stateMap.local_endpoint().port(), 2);
    std::copy(port.begin(), port.end(), at + static_cast<long>(name.size()));

    // Both sides' state-map messages: the player's values and subscriptions, then the
    // mixer's, which hold its 0x7d1 messages (after its unprefixed announcement).
    const auto playerSide = stream(packets, 38631, 49154);
    const auto mixerSide = stream(packets, 49154, 38631);
    const auto mixerMessages = Bytes(mixerSide.begin() + 42, mixerSide.end());
    std::vector<std::pair<std::string, StageLinQ::StateValue>> expected;
    std::size_t answers = 0;
    for (const auto* side : {&playerSide, &mixerMessages}) {
        for (const auto& body : messages(*side)) {
            answers += bigEndian(body, 4, 4) == 0x7D1 ? 1 : 0;
            if (auto value = StageLinQ::value(body)) {
                expected.push_back(std::move(*value));
            }
        }
    }
    EXPECT_GT(answers, 0u);
    ASSERT_GT(expected.size(), 10u);

    asio::co_spawn(context, serve(main, 20, mainStream), [](const std::exception_ptr&) {});
    asio::co_spawn(context, serve(stateMap, 42, join({playerSide, mixerMessages})),
                   [](const std::exception_ptr&) {});
    std::vector<std::pair<std::string, StageLinQ::StateValue>> values;
    bool ended = false;
    std::exception_ptr failure;
    const StageLinQ::Device player{.token = tokenOf(0x33),
                                   .software = "JP13",
                                   .port = main.local_endpoint().port(),
                                   .address = "127.0.0.1"};
    auto session = Task::spawn(context.get_executor(),
                               StageLinQConnection::follow(player, tokenOf(0x0A), {},
                                                           [&](const std::string& path,
                                                               const StageLinQ::StateValue& value) {
                                                               values.emplace_back(path, value);
                                                           }),
                               [&](std::exception_ptr error) {
                                   ended = true;
                                   failure = error;
                               });
    ASSERT_TRUE(runUntil(context, [&] { return values.size() == expected.size() || ended; }));
    EXPECT_EQ(values, expected);
    const auto tempo = std::find_if(values.begin(), values.end(), [](const auto& value) {
        return value.first == "/Engine/Deck1/Track/CurrentBPM";
    });
    ASSERT_NE(tempo, values.end());
    EXPECT_NEAR(*tempo->second.number, 121.975, 0.001);
    session.cancel();
    ASSERT_TRUE(runUntil(context, [&] { return ended; }));
    EXPECT_FALSE(failure);
}

} // namespace
} // namespace bridge
