#include "StageLinQ/StageLinQ.hpp"
#include "StageLinQTesting.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using namespace testing;
using StageLinQ::Bytes;

Bytes frame(std::string_view action, std::string_view software, std::uint16_t port) {
    return join({ascii("airD"), tokenOf(0x11), StageLinQ::text("sc6000"), StageLinQ::text(action),
                 StageLinQ::text(software), StageLinQ::text("2.3.1"), StageLinQ::uint(port, 2)});
}

StageLinQ::Device deviceWith(std::string software, std::uint16_t port) {
    return {.token = tokenOf(1), .software = std::move(software), .port = port};
}

TEST(StageLinQWire, WritesIntegersAndTextsBigEndian) {
    EXPECT_EQ(StageLinQ::uint(51337, 2), (Bytes{0xC8, 0x89}));
    EXPECT_EQ(StageLinQ::uint(0x0102030405060708, 10), (Bytes{0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(StageLinQ::uint(0x1234, 1), (Bytes{0x34}));
    EXPECT_EQ(StageLinQ::text(""), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(StageLinQ::text("A"), (Bytes{0, 0, 0, 2, 0, 0x41}));
    // A character outside the basic plane takes a surrogate pair.
    EXPECT_EQ(StageLinQ::text("\U0001F3B5"), (Bytes{0, 0, 0, 4, 0xD8, 0x3C, 0xDF, 0xB5}));
    // Text that is not UTF-8 goes out empty rather than garbled.
    EXPECT_EQ(StageLinQ::text("\xC3"), (Bytes{0, 0, 0, 0}));
}

TEST(StageLinQWire, ReaderTakesWhatIsThereAndStaysPutOtherwise) {
    const auto bytes = join({StageLinQ::text("Deck \u00E9"), Bytes{0xC8}});
    StageLinQ::Reader reader{bytes};
    EXPECT_EQ(reader.text(), "Deck \u00E9");
    EXPECT_EQ(reader.uint(2), std::nullopt);
    EXPECT_EQ(reader.uint(1), 0xC8u);
    EXPECT_EQ(reader.uint(0), 0u);
    EXPECT_EQ(reader.uint(1), std::nullopt);

    for (const auto& bad : {
             Bytes{0, 0, 0},                   // no whole length
             Bytes{0, 0, 0, 4, 0, 0x41},       // shorter than its length
             Bytes{0, 0, 0, 3, 0, 0x41, 0},    // odd length
             Bytes{0, 0, 0, 2, 0xD8, 0x3C},    // lone surrogate
             Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0}, // huge length, no allocation
         }) {
        StageLinQ::Reader broken{bad};
        EXPECT_EQ(broken.text(), std::nullopt);
        EXPECT_EQ(broken.position(), 0u);
    }
}

TEST(StageLinQDiscovery, OwnAnnouncementIsExactAndParsesBack) {
    const auto token = StageLinQ::newToken();
    const auto own = StageLinQ::announcement(token, "Setmara Bridge", "1.0");
    ASSERT_EQ(own.size(), 134u);
    EXPECT_EQ(Bytes(own.begin(), own.begin() + 4), ascii("airD"));
    EXPECT_EQ(Bytes(own.begin() + 4, own.begin() + 20), token);
    EXPECT_EQ(own[132], 0);
    EXPECT_EQ(own[133], 0);
    const auto device = StageLinQ::device(own, "10.0.1.5");
    ASSERT_TRUE(device);
    EXPECT_EQ(*device, (StageLinQ::Device{.token = token,
                                          .name = "Setmara Bridge",
                                          .software = "Setmara Bridge",
                                          .version = "1.0",
                                          .port = 0,
                                          .address = "10.0.1.5"}));
    EXPECT_FALSE(device->connect());
}

TEST(StageLinQDiscovery, ParsesOnlyWholeHowdyFrames) {
    const auto good = frame("DISCOVERER_HOWDY_", "JP13", 42923);
    const auto device = StageLinQ::device(good, "169.254.1.2");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->token, tokenOf(0x11));
    EXPECT_EQ(device->name, "sc6000");
    EXPECT_EQ(device->software, "JP13");
    EXPECT_EQ(device->version, "2.3.1");
    EXPECT_EQ(device->port, 42923);
    EXPECT_EQ(device->address, "169.254.1.2");

    EXPECT_EQ(StageLinQ::device(join({good, Bytes{1, 2, 3}}), "169.254.1.2"), device)
        << "bytes after the port are ignored";
    EXPECT_FALSE(StageLinQ::device(frame("DISCOVERER_EXIT_", "JP13", 42923), "a"));
    EXPECT_FALSE(StageLinQ::device(frame("DISCOVERER_HOWDY_X", "JP13", 42923), "a"));
    for (std::size_t size : {0, 3, 4, 19, 20}) {
        EXPECT_FALSE(StageLinQ::device(Bytes(good.begin(), good.begin() + size), "a")) << size;
    }
    EXPECT_FALSE(StageLinQ::device(Bytes(good.begin(), good.end() - 1), "a")) << "half a port";
    EXPECT_FALSE(StageLinQ::device(Bytes(good.begin(), good.end() - 5), "a"))
        << "ends inside the version";
    auto wrongMagic = good;
    wrongMagic[3] = 'd';
    EXPECT_FALSE(StageLinQ::device(wrongMagic, "a"));
}

TEST(StageLinQDiscovery, DecidesWhichDevicesAreWorthASession) {
    EXPECT_EQ(StageLinQ::models().size(), 15u);
    EXPECT_FALSE(deviceWith("JM08", 50010).connect());
    EXPECT_EQ(deviceWith("JM08", 50010).decks(), 0);
    EXPECT_TRUE(deviceWith("JC11", 1).connect());
    EXPECT_EQ(deviceWith("JC11", 1).decks(), 4);
    EXPECT_EQ(deviceWith("JP13", 1).model(), (StageLinQ::Model{"SC6000", true, 2}));
    EXPECT_TRUE(deviceWith("JP99", 1).connect());
    EXPECT_EQ(deviceWith("JP99", 1).decks(), 0);
    EXPECT_EQ(deviceWith("JP99", 1).model(), std::nullopt);
    for (const auto* other :
         {"OfflineAnalyzer", "SoundSwitch Pro", "Resolume Arena", "SSS0", "JC20", "JM10"}) {
        EXPECT_FALSE(deviceWith(other, 1).connect()) << other;
    }
    EXPECT_FALSE(deviceWith("JP13", 0).connect());
}

TEST(StageLinQDiscovery, WorksOutBroadcastAddresses) {
    EXPECT_EQ(StageLinQ::broadcast("10.0.1.5", "255.255.255.0"), "10.0.1.255");
    EXPECT_EQ(StageLinQ::broadcast("192.168.1.20", "255.255.0.0"), "192.168.255.255");
    EXPECT_EQ(StageLinQ::broadcast("169.254.12.7", "255.255.0.0"), "169.254.255.255");
    EXPECT_EQ(StageLinQ::broadcast("127.0.0.1", "255.0.0.0"), std::nullopt);
    EXPECT_EQ(StageLinQ::broadcast("10.8.0.2", "255.255.255.255"), std::nullopt);
    EXPECT_EQ(StageLinQ::broadcast("10.0.1", "255.255.255.0"), std::nullopt);
    EXPECT_EQ(StageLinQ::broadcast("10.0.1.256", "255.255.255.0"), std::nullopt);
    EXPECT_EQ(StageLinQ::broadcast("10.0.1.5", "mask"), std::nullopt);
    // Pieces that are not octets are dropped before counting.
    EXPECT_EQ(StageLinQ::broadcast("10..0.1.5", "255.255.255.0"), "10.0.1.255");
    EXPECT_EQ(StageLinQ::broadcast("10.x.0.1.5", "255.255.255.0"), "10.0.1.255");
}

TEST(StageLinQDiscovery, NewTokensHaveTheTopBitClear) {
    bool differ = false;
    const auto first = StageLinQ::newToken();
    for (int i = 0; i < 64; ++i) {
        const auto token = StageLinQ::newToken();
        ASSERT_EQ(token.size(), 16u);
        EXPECT_EQ(token[0] & 0x80, 0);
        differ = differ || token != first;
    }
    EXPECT_TRUE(differ);
}

TEST(StageLinQMessages, BuildsSessionMessagesByteForByte) {
    const auto own = tokenOf(0xAA);
    const auto device = tokenOf(0xBB);
    EXPECT_EQ(StageLinQ::servicesRequest(own), join({Bytes{0, 0, 0, 2}, own}));
    const auto reference = StageLinQ::reference(own, device);
    EXPECT_EQ(reference, join({Bytes{0, 0, 0, 1}, own, device, Bytes(8, 0)}));
    EXPECT_EQ(reference.size(), 44u);
    EXPECT_EQ(StageLinQ::stateMapAnnouncement(own, 41321),
              join({Bytes{0, 0, 0, 0}, own, Bytes{0, 0, 0, 16},
                    Bytes{0, 'S', 0, 't', 0, 'a', 0, 't', 0, 'e', 0, 'M', 0, 'a', 0, 'p'},
                    Bytes{0xA1, 0x69}}));

    const auto deckCount = StageLinQ::subscription("/Engine/DeckCount");
    Bytes path;
    for (char c : std::string_view{"/Engine/DeckCount"}) {
        path.push_back(0);
        path.push_back(static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(deckCount, join({Bytes{0, 0, 0, 0x32}, ascii("smaa"), Bytes{0, 0, 7, 0xD2},
                               Bytes{0, 0, 0, 0x22}, path, Bytes{0, 0, 0, 0}}));
    EXPECT_EQ(deckCount.size(), 54u);
}

TEST(StageLinQMessages, SubscribesToThirtyFivePathsInOrder) {
    const auto& paths = StageLinQ::paths();
    ASSERT_EQ(paths.size(), 35u);
    EXPECT_EQ(paths[0], "/Engine/Deck1/Play");
    EXPECT_EQ(paths[6], "/Engine/Deck1/ExternalMixerVolume");
    EXPECT_EQ(paths[7], "/Mixer/CH1faderPosition");
    EXPECT_EQ(paths[8], "/Engine/Deck2/Play");
    EXPECT_EQ(paths[31], "/Mixer/CH4faderPosition");
    EXPECT_EQ(paths[32], "/Mixer/CrossfaderPosition");
    EXPECT_EQ(paths[33], "/Client/Preferences/Player");
    EXPECT_EQ(paths[34], "/Engine/DeckCount");
    EXPECT_EQ(StageLinQ::followed().size(), 35u);
    EXPECT_TRUE(StageLinQ::followed().contains("/Engine/Deck4/Track/SongLoaded"));
}

TEST(StageLinQMessages, ParsesServiceAnnouncements) {
    const auto message = serviceMessage("StateMap", 41321);
    const Bytes body(message.begin() + 4, message.end());
    EXPECT_EQ(StageLinQ::service(body), (std::pair<std::string, std::uint16_t>{"StateMap", 41321}));
    EXPECT_EQ(StageLinQ::service(Bytes(body.begin(), body.end() - 1)), std::nullopt);
    EXPECT_EQ(StageLinQ::service(Bytes(body.begin(), body.begin() + 15)), std::nullopt);
}

TEST(StageLinQMessages, ParsesValueMessagesAndDropsTheRest) {
    const auto body = [](const Bytes& message) {
        return Bytes(message.begin() + 4, message.end());
    };
    const auto play =
        StageLinQ::value(body(valueMessage("/Engine/Deck1/Play", R"({"state":true})")));
    ASSERT_TRUE(play);
    EXPECT_EQ(play->first, "/Engine/Deck1/Play");
    EXPECT_EQ(play->second, (StageLinQ::StateValue{.flag = true}));

    EXPECT_FALSE(StageLinQ::value(body(stateMessage(
        0x7D1, "/Client/Preferences/Player", StageLinQ::text(R"({"string":"1","type":4})")))));
    EXPECT_FALSE(StageLinQ::value(
        body(stateMessage(0x7D2, "/Engine/Deck1/Play", StageLinQ::uint(0x64, 4)))));
    EXPECT_FALSE(StageLinQ::value(body(valueMessage("/Engine/Deck1/Play", "[true]"))));
    EXPECT_FALSE(StageLinQ::value(body(valueMessage("/Engine/Deck1/Play", "{\"state\":"))));
    EXPECT_FALSE(StageLinQ::value(Bytes{}));
    auto notSmaa = body(valueMessage("/Engine/Deck1/Play", "{}"));
    notSmaa[0] = 'x';
    EXPECT_FALSE(StageLinQ::value(notSmaa));
    const auto whole = body(valueMessage("/Engine/Deck1/Play", "{}"));
    EXPECT_FALSE(StageLinQ::value(Bytes(whole.begin(), whole.end() - 1)));
}

TEST(StageLinQMessages, ReadsStateValuesFromJson) {
    using StageLinQ::StateValue;
    EXPECT_EQ(StateValue::fromJson(R"({"string":"So What","type":8})"),
              (StateValue{.text = "So What"}));
    EXPECT_EQ(StateValue::fromJson(R"({"type":0,"value":0.5})"), (StateValue{.number = 0.5}));
    EXPECT_EQ(StateValue::fromJson(R"({"type":10,"value":4})"), (StateValue{.number = 4}));
    EXPECT_EQ(StateValue::fromJson(R"({"value":true})"), StateValue{});
    EXPECT_EQ(StateValue::fromJson(R"({"data":1,"value":2})"), (StateValue{.number = 1}));
    EXPECT_EQ(StateValue::fromJson(R"({"data":"x","float":2.5})"), (StateValue{.number = 2.5}));
    EXPECT_EQ(StateValue::fromJson(R"({"state":false,"type":1})"), (StateValue{.flag = false}));
    EXPECT_EQ(StateValue::fromJson(R"({"color":"#ffea2828","type":16})"), StateValue{});
    EXPECT_EQ(StateValue::fromJson(R"({"string":1,"state":"yes"})"), StateValue{});
    EXPECT_EQ(StateValue::fromJson("4"), std::nullopt);
    EXPECT_EQ(StateValue::fromJson("not json"), std::nullopt);
}

} // namespace
} // namespace bridge
