// The Pioneer DJ reader against the simulated set on 127.0.0.x, in real time: packets on the
// real sockets of free ports, the media over the set's NFS service.
#include "Engine/BridgeLoop.hpp"
#include "ProDJLink/NfsClient.hpp"
#include "ProDJLink/ProDJLinkReader.hpp"
#include "ProDJLinkSet.hpp"
#include "ProDJLinkTesting.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <system_error>

namespace bridge {
namespace {

using namespace testing;
using namespace ProDJLink;
using SteadyClock = std::chrono::steady_clock;

const std::vector<ExportTrack> milonga{
    {.id = 1, .title = "Poema", .artist = "Francisco Canaro", .lengthSeconds = 190},
    {.id = 2, .title = "Milonga sentimental", .artist = "Francisco Canaro"},
};

const DeckSnapshot* deck(const VDJSnapshot& snapshot, int number) {
    for (const auto& one : snapshot.decks) {
        if (one.deck == number) {
            return &one;
        }
    }
    return nullptr;
}

std::optional<std::string> titleOn(const VDJSnapshot& snapshot, int number) {
    const auto* found = deck(snapshot, number);
    return found && found->song ? found->song->title : std::nullopt;
}

bool audibleOn(const VDJSnapshot& snapshot, int number) {
    const auto* found = deck(snapshot, number);
    return found && found->audible;
}

class ProDJLinkReaderTest : public ::testing::Test {
protected:
    explicit ProDJLinkReaderTest(bool mixer = true) : set(context, setOptions(mixer)) {
        set.start();
        set.changeMedium(1, Slot::usb, milonga);
        reader.emplace(
            std::make_shared<ProDJLinkLink>(ports),
            std::make_shared<NfsClient>(NfsClient::Options{.portmapperPort = set.mediaPort()}),
            ReferenceClock::now, BridgeLoop::sleep,
            ProDJLinkPresence::Options{.announcePort = set.listenPort(), .target = "127.0.0.1"});
    }

    ~ProDJLinkReaderTest() override {
        reader.reset();
        settle(context);
    }

    ProDJLinkSet::Options setOptions(bool mixer) const {
        ProDJLinkSet::Options options;
        options.mixer = mixer;
        options.announcePort = ports.announce;
        options.beatPort = ports.beat;
        options.statusPort = ports.status;
        return options;
    }

    // Reads as the engine does, every 100 ms, until a snapshot shows what is `wanted`.
    template <class Wanted>
    std::optional<VDJSnapshot> readUntil(Wanted wanted, std::chrono::milliseconds limit = 10s) {
        const auto deadline = SteadyClock::now() + limit;
        while (SteadyClock::now() < deadline) {
            try {
                auto snapshot = runUntilDone(context, reader->read());
                if (wanted(snapshot)) {
                    return snapshot;
                }
            } catch (const SourceError& error) {
                lastError = error;
            }
            context.restart();
            context.run_for(100ms);
        }
        return std::nullopt;
    }

    asio::io_context context;
    const ProDJLinkLink::Ports ports = freePorts(context);
    ProDJLinkSet set;
    std::optional<ProDJLinkReader> reader;
    std::optional<SourceError> lastError;
};

TEST_F(ProDJLinkReaderTest, NoPlayerIsNotAnsweringUntilTheSetIsHeard) {
    set.stop();
    EXPECT_FALSE(readUntil([](const auto&) { return true; }, 1s));
    EXPECT_EQ(lastError, SourceError::notAnswering);
}

TEST_F(ProDJLinkReaderTest, OnlyTheDeckTheMixerHasOnAirCountsAndPreListeningNever) {
    set.load(1, 1, Slot::usb, 1);
    set.onAir(1, true);
    set.play(1);
    set.load(2, 1, Slot::usb, 2); // from the first player's stick
    set.preListen(2);
    const auto shown = readUntil(
        [](const VDJSnapshot& snapshot) { return titleOn(snapshot, 1) && titleOn(snapshot, 2); });
    ASSERT_TRUE(shown) << "the bridge should have joined and read the export";
    EXPECT_EQ(titleOn(*shown, 1), "Poema");
    EXPECT_EQ(deck(*shown, 1)->song->artist, "Francisco Canaro");
    EXPECT_EQ(deck(*shown, 1)->song->bpm, 120);
    EXPECT_TRUE(audibleOn(*shown, 1));
    EXPECT_EQ(titleOn(*shown, 2), "Milonga sentimental");
    EXPECT_FALSE(audibleOn(*shown, 2));
    ASSERT_TRUE(shown->network);
    EXPECT_TRUE(shown->network->starts_with("lo, 127.0.0.")) << *shown->network;

    // The DJ fades the second deck in and the first out.
    set.play(2);
    set.onAir(2, true);
    set.onAir(1, false);
    const auto faded = readUntil([](const VDJSnapshot& snapshot) {
        return audibleOn(snapshot, 2) && !audibleOn(snapshot, 1);
    });
    EXPECT_TRUE(faded);
}

TEST_F(ProDJLinkReaderTest, APlayerSwitchedOffWithoutAWordLeavesTheDecksWithinSeconds) {
    set.load(1, 1, Slot::usb, 1);
    set.load(2, 1, Slot::usb, 2);
    ASSERT_TRUE(readUntil([](const VDJSnapshot& snapshot) { return snapshot.decks.size() == 2; }));
    const auto off = SteadyClock::now();
    set.switchOff(2);
    const auto left =
        readUntil([](const VDJSnapshot& snapshot) { return snapshot.decks.size() == 1; });
    ASSERT_TRUE(left);
    EXPECT_EQ(left->decks[0].deck, 1);
    EXPECT_LT(SteadyClock::now() - off, 5s);
    EXPECT_EQ(titleOn(*left, 1), "Poema");
}

TEST_F(ProDJLinkReaderTest, ADeckKeepsItsSongWhileAnotherLoadsFromTheSameStick) {
    set.load(1, 1, Slot::usb, 1);
    set.onAir(1, true);
    set.play(1);
    ASSERT_TRUE(readUntil([](const VDJSnapshot& snapshot) { return titleOn(snapshot, 1); }));
    set.load(2, 1, Slot::usb, 2);
    bool keptItsSong = true;
    const auto both = readUntil([&](const VDJSnapshot& snapshot) {
        keptItsSong = keptItsSong && titleOn(snapshot, 1) == "Poema" && audibleOn(snapshot, 1);
        return titleOn(snapshot, 2).has_value();
    });
    ASSERT_TRUE(both);
    EXPECT_EQ(titleOn(*both, 2), "Milonga sentimental");
    EXPECT_TRUE(keptItsSong) << "a song that vanishes for a moment starts its count again";
}

TEST_F(ProDJLinkReaderTest, AnotherStickWithTheSameTrackNumbersIsReadAnew) {
    set.load(1, 1, Slot::usb, 1);
    ASSERT_TRUE(readUntil([](const VDJSnapshot& snapshot) { return titleOn(snapshot, 1); }));
    set.changeMedium(1, Slot::usb,
                     {{.id = 1, .title = "Gallo ciego", .artist = "Osvaldo Pugliese"}});
    // A stick is pulled out and another put in: the player is empty for a while.
    context.restart();
    context.run_for(600ms);
    set.load(1, 1, Slot::usb, 1);
    const auto again = readUntil([](const VDJSnapshot& snapshot) {
        const auto title = titleOn(snapshot, 1);
        return title && title != "Poema";
    });
    ASSERT_TRUE(again);
    EXPECT_EQ(titleOn(*again, 1), "Gallo ciego");
    EXPECT_EQ(deck(*again, 1)->song->artist, "Osvaldo Pugliese");
}

TEST_F(ProDJLinkReaderTest, TracksNoExportNamesAreUnknownAndNeverCount) {
    set.load(1, 1, Slot::usb, 99); // not in the export
    set.load(2, 2, Slot::usb, 1);  // a stick without rekordbox's export
    set.onAir(1, true);
    set.onAir(2, true);
    set.play(1);
    set.play(2);
    const auto shown = readUntil(
        [](const VDJSnapshot& snapshot) { return titleOn(snapshot, 1) && titleOn(snapshot, 2); });
    ASSERT_TRUE(shown);
    for (const int number : {1, 2}) {
        EXPECT_EQ(titleOn(*shown, number), "Unknown track") << number;
        EXPECT_FALSE(audibleOn(*shown, number)) << number;
    }
}

// A network whose ports the system will not give, for the reason given.
class RefusedNetwork : public ProDJLinkNetwork {
public:
    explicit RefusedNetwork(std::errc why) : why(why) {}
    asio::awaitable<void> listen(Hear) override {
        throw std::system_error(std::make_error_code(why));
        co_return;
    }
    asio::awaitable<void> send(ProDJLink::Bytes, std::string, std::uint16_t) override { co_return; }

private:
    std::errc why;
};

TEST(ProDJLinkReaderRefusals, PortsTheSystemRefusesAreNotAllowedAndPortsInUseNotAnswering) {
    for (const auto& [why, expected] :
         {std::pair{std::errc::permission_denied, SourceError::notAllowed},
          std::pair{std::errc::address_in_use, SourceError::notAnswering}}) {
        asio::io_context context;
        ProDJLinkReader reader(std::make_shared<RefusedNetwork>(why), std::make_shared<NfsClient>(),
                               ReferenceClock::now, BridgeLoop::sleep);
        const auto failure = [&]() -> std::optional<SourceError> {
            try {
                runUntilDone(context, reader.read());
            } catch (const SourceError& error) {
                return error;
            }
            return std::nullopt;
        };
        EXPECT_EQ(failure(), SourceError::notAnswering) << "before listening has failed";
        settle(context);
        EXPECT_EQ(failure(), expected);
    }
}

class ProDJLinkReaderWithoutMixerTest : public ProDJLinkReaderTest {
protected:
    ProDJLinkReaderWithoutMixerTest() : ProDJLinkReaderTest(false) {}
};

TEST_F(ProDJLinkReaderWithoutMixerTest, APlayingDeckCountsAndACuedOneDoesNot) {
    set.load(1, 1, Slot::usb, 1);
    set.play(1);
    set.load(2, 1, Slot::usb, 2);
    const auto shown = readUntil(
        [](const VDJSnapshot& snapshot) { return titleOn(snapshot, 1) && titleOn(snapshot, 2); });
    ASSERT_TRUE(shown);
    EXPECT_TRUE(audibleOn(*shown, 1));
    EXPECT_FALSE(audibleOn(*shown, 2));
}

} // namespace
} // namespace bridge
