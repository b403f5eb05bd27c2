// The whole server client over the real transport against the local stand-in.
#include "GigServerStandIn.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/Pairing.hpp"
#include "Server/ServerClient.hpp"
#include "Server/ServerError.hpp"
#include "Support/Await.hpp"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::await;

TEST(ServerEndToEndTests, PairAskSendHideRemoveEnd) {
    GigServerStandIn standIn;
    const Gig live = standIn.startGig({.name = "Friday Social", .venue = "Salsa Club"});
    auto transport = std::make_shared<BeastTransport>();

    const auto code = Pairing::code(standIn.makePairingCode("Ana's laptop", "Friday Social"));
    ASSERT_TRUE(code);
    const Paired paired = await(Pairing::pair(*code, standIn.url(), *transport));
    EXPECT_EQ(paired.summary(), "Ana's laptop, playing at Friday Social");
    try {
        await(Pairing::pair(*code, standIn.url(), *transport));
        ADD_FAILURE() << "a code works once";
    } catch (const ServerError& error) {
        EXPECT_EQ(error.kind(), ServerError::Kind::refused);
    }

    ServerClient client(standIn.url(), paired.key, Source::whatsNowPlaying, transport);
    const auto gig = await(client.currentGig(SourceState::connected, "Serato DJ Pro"));
    ASSERT_TRUE(gig);
    EXPECT_EQ(*gig, live);
    EXPECT_EQ(
        standIn.requests().back().target,
        "/api/bridge/gig?virtualdj=connected&source=whatsnowplaying&program=Serato%20DJ%20Pro");

    const PlayEvent first{.id = "E/1",
                          .playedAt = ReferenceClock::now(),
                          .title = "Vivir Mi Vida",
                          .artist = "Marc Anthony",
                          .bpm = 97.5,
                          .key = "5A",
                          .filePath = "sha256:ab",
                          .durationMs = 251'000};
    PlayEvent second = first;
    second.id = "E2";
    const auto sent = await(client.send({first, second}, {"E2"}, gig->id));
    EXPECT_FALSE(sent.paused);
    ASSERT_EQ(sent.plays.size(), 2u);
    EXPECT_TRUE(sent.plays[0].taken);
    EXPECT_EQ(sent.plays[1].hidden, true);
    const auto stored = standIn.plays(gig->id);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(boost::json::parse(stored[0].object).at("songBpm"), 97.5);

    await(client.setHidden("E/1", gig->id, true));
    EXPECT_TRUE(standIn.plays(gig->id)[0].hidden);
    await(client.remove("E/1", gig->id));
    EXPECT_EQ(standIn.plays(gig->id).size(), 1u);
    await(client.remove("E/1", gig->id)); // already gone: still fine

    await(client.endGig(gig->id));
    EXPECT_EQ(await(client.currentGig(SourceState::connected, std::nullopt)), std::nullopt);
    try {
        await(client.send({first}, {}, gig->id));
        ADD_FAILURE() << "an ended gig takes no plays";
    } catch (const ServerError& error) {
        EXPECT_EQ(error, ServerError::gigEnded);
    }
}

TEST(ServerEndToEndTests, FailuresOfTheRealServerBecomeServerErrors) {
    GigServerStandIn standIn;
    const Gig live = standIn.startGig();
    ServerClient client(standIn.url(), standIn.makeKey(), Source::virtualDJ,
                        std::make_shared<BeastTransport>());
    ServerClient stranger(standIn.url(), "", Source::virtualDJ, std::make_shared<BeastTransport>());
    auto failure = [](auto operation) {
        try {
            await(std::move(operation));
        } catch (const ServerError& error) {
            return error;
        }
        throw std::logic_error("did not fail");
    };
    EXPECT_EQ(failure(stranger.currentGig(SourceState::starting, std::nullopt)),
              ServerError::badKey);
    const auto plays = "/api/bridge/gigs/" + std::to_string(live.id) + "/plays";
    standIn.setFault(plays, GigServerStandIn::Fault::garbage());
    EXPECT_EQ(failure(client.send({}, {}, live.id)), ServerError::unavailable);
    standIn.setFault(plays, GigServerStandIn::Fault::dropConnection());
    EXPECT_EQ(failure(client.send({}, {}, live.id)), ServerError::unavailable);
    standIn.setFault(plays, GigServerStandIn::Fault::answer(403, R"({"error":"Bridge blocked"})"));
    EXPECT_EQ(failure(client.send({}, {}, live.id)), ServerError::refused("Bridge blocked"));
    standIn.setFault(plays, GigServerStandIn::Fault::answer(502, "<html>Bad gateway</html>"));
    EXPECT_EQ(failure(client.send({}, {}, live.id)), ServerError::unavailable);
}

} // namespace
} // namespace bridge
