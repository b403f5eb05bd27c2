#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "QueueTesting.hpp"
#include "Server/ServerError.hpp"
#include "Support/Await.hpp"
#include "Support/FakeGigServer.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/use_future.hpp>
#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::at;
using testing::FakeGigServer;
using testing::play;

class QueueDeliveryTests : public ::testing::Test {
protected:
    testing::TempFolder folder;
    std::filesystem::path file = folder / "queue.json";
    PlayQueue queue{file};
    FakeGigServer server;
    boost::asio::io_context io;

    Flushed flush(double now = 0) { return testing::await(io, queue.flush(server, at(now))); }

    template <class Failure>
    Failure flushFailure(double now = 0) {
        try {
            flush(now);
        } catch (const Failure& failure) {
            return failure;
        }
        throw std::logic_error("the flush did not fail");
    }

    void addPlays(int count, std::int64_t gig, const std::string& prefix = "p") {
        for (int i = 0; i < count; ++i) {
            queue.add(play(prefix + std::to_string(i), i), gig, false);
        }
    }

    const Entry& entry(const std::string& id) const {
        for (const auto& e : queue.entries()) {
            if (e.event.id == id) {
                return e;
            }
        }
        throw std::out_of_range("no entry " + id);
    }

    bool has(const std::string& id) const {
        return std::any_of(queue.entries().begin(), queue.entries().end(),
                           [&](const Entry& e) { return e.event.id == id; });
    }

    // The server refuses every play whose id is in `ids`, and any batch holding one.
    void refuse(std::set<std::string> ids, std::string message = "No karaoke") {
        server.onSend = [ids = std::move(ids), message, take = server.onSend](
                            const std::vector<PlayEvent>& plays, std::int64_t gig) {
            for (const auto& p : plays) {
                if (ids.contains(p.id)) {
                    throw ServerError::refused(message);
                }
            }
            return take(plays, gig);
        };
    }
};

TEST_F(QueueDeliveryTests, SendsInBatchesOfAHundredInQueueOrder) {
    addPlays(250, 1);
    const auto result = flush();
    ASSERT_EQ(server.calls.size(), 3u);
    EXPECT_EQ(server.calls[0].ids.size(), 100u);
    EXPECT_EQ(server.calls[1].ids.size(), 100u);
    EXPECT_EQ(server.calls[2].ids.size(), 50u);
    EXPECT_EQ(server.calls[0].ids.front(), "p0");
    EXPECT_EQ(server.calls[1].ids.front(), "p100");
    EXPECT_EQ(server.calls[2].ids.back(), "p249");
    EXPECT_EQ(result, (Flushed{.talked = true, .paused = false}));
    EXPECT_FALSE(queue.hasUnsent());
    EXPECT_EQ(QueueFile::decode(readWholeFile(file).bytes)->size(), 50u) << "pruned and saved";
}

TEST_F(QueueDeliveryTests, GigsGoInAscendingOrder) {
    queue.add(play("seven"), 7, false);
    queue.add(play("three"), 3, false);
    queue.add(play("waiting"), std::nullopt, false);
    flush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[0].gig, 3);
    EXPECT_EQ(server.calls[1].gig, 7);
    EXPECT_FALSE(entry("waiting").sent) << "plays without a gig wait";
}

TEST_F(QueueDeliveryTests, HiddenPlaysGoOutMarkedHidden) {
    queue.add(play("a"), 1, true);
    queue.add(play("b"), 1, false);
    flush();
    EXPECT_EQ(server.calls[0].hidden, std::set<std::string>{"a"});
}

TEST_F(QueueDeliveryTests, ARefusedBatchIsSentAgainOneByOne) {
    addPlays(3, 1);
    refuse({"p1"});
    const auto result = flush(1000);
    ASSERT_EQ(server.calls.size(), 4u);
    EXPECT_EQ(server.calls[1].ids, std::vector<std::string>{"p0"});
    EXPECT_EQ(server.calls[2].ids, std::vector<std::string>{"p1"});
    EXPECT_EQ(server.calls[3].ids, std::vector<std::string>{"p2"});
    EXPECT_TRUE(entry("p0").sent);
    EXPECT_TRUE(entry("p2").sent);
    const Entry& refused = entry("p1");
    EXPECT_FALSE(refused.sent);
    EXPECT_EQ(refused.refusals, 1);
    EXPECT_EQ(refused.refusal, "No karaoke");
    EXPECT_EQ(refused.retryAt, at(1060));
    EXPECT_EQ(refused.status(), QueuedPlay::Status::refused);
    EXPECT_EQ(result,
              (Flushed{.talked = true, .paused = false, .refused = "No karaoke", .refusedGig = 1}));
}

TEST_F(QueueDeliveryTests, RefusedPlaysAreRetriedOnTheirScheduleAndGivenUpAtTheFifth) {
    queue.add(play("r"), 1, false);
    refuse({"r"});
    double now = 0;
    const double waits[] = {60, 120, 240, 480};
    flush(now);
    for (double wait : waits) {
        EXPECT_EQ(entry("r").retryAt, at(now + wait));
        const auto before = server.calls.size();
        flush(now + wait - 1); // not yet due
        EXPECT_EQ(server.calls.size(), before);
        now += wait; // exactly due
        flush(now);
        EXPECT_EQ(server.calls.size(), before + 1);
    }
    EXPECT_EQ(entry("r").refusals, 5);
    EXPECT_TRUE(entry("r").sent);
    EXPECT_TRUE(entry("r").notTaken);
    const auto posts = server.calls.size();
    flush(now + 100'000);
    EXPECT_EQ(server.calls.size(), posts) << "given up: never posted again";
}

TEST_F(QueueDeliveryTests, ARetryTimeFurtherAheadThanAnyWaitIsDue) {
    queue.add(play("r"), 1, false);
    refuse({"r"});
    flush(1000);
    ASSERT_EQ(entry("r").retryAt, at(1060));
    flush(400); // the wall clock is set back ten minutes
    EXPECT_EQ(server.calls.size(), 2u) << "retried at once";
    EXPECT_EQ(entry("r").retryAt, at(520));
    flush(519);
    EXPECT_EQ(server.calls.size(), 2u) << "the next wait counts from the new time";
    flush(520); // the third refusal: 240 s
    flush(760); // the fourth: 480 s, the longest wait
    ASSERT_EQ(entry("r").refusals, 4);
    flush(760);
    EXPECT_EQ(server.calls.size(), 4u) << "the longest wait itself is waited for";
}

TEST_F(QueueDeliveryTests, PausedAnswersAndMissingPlaysAreNotTaken) {
    addPlays(2, 1);
    server.onSend = [](const std::vector<PlayEvent>& plays, std::int64_t) {
        return SentPlays{.paused = true, .plays = {{.eventId = plays[0].id, .taken = true}}};
    };
    EXPECT_EQ(flush().paused, true);
    EXPECT_TRUE(entry("p0").sent && entry("p0").notTaken);
    EXPECT_TRUE(entry("p1").sent && entry("p1").notTaken);

    queue.add(play("x"), 1, false);
    queue.add(play("y"), 1, false);
    queue.add(play("z"), 1, false);
    server.onSend = [](const std::vector<PlayEvent>&, std::int64_t) {
        return SentPlays{.paused = false,
                         .plays = {{.eventId = "x", .taken = true},
                                   {.eventId = "y", .taken = false},
                                   {.eventId = "x", .taken = false}}};
    };
    flush();
    EXPECT_FALSE(entry("x").notTaken) << "the first answer for an id counts";
    EXPECT_TRUE(entry("y").notTaken);
    EXPECT_TRUE(entry("z").notTaken) << "left out of the answer";
}

TEST_F(QueueDeliveryTests, AGoneGigIsDroppedAndTheFlushGoesOn) {
    queue.add(play("old"), 2, false);
    flush(); // "old" is settled
    queue.add(play("new"), 2, false);
    queue.add(play("other"), 5, false);
    server.onSend = [take = server.onSend](const std::vector<PlayEvent>& plays, std::int64_t gig) {
        if (gig == 2) {
            throw ServerError::gigGone;
        }
        return take(plays, gig);
    };
    const auto result = flush();
    EXPECT_FALSE(has("old"));
    EXPECT_FALSE(has("new"));
    EXPECT_TRUE(entry("other").sent);
    EXPECT_TRUE(result.talked);

    queue.add(play("alone"), 2, false);
    EXPECT_FALSE(flush().talked) << "a gone gig is no answer";
}

TEST_F(QueueDeliveryTests, AnEndedGigIsSettledAndTheFlushGoesOn) {
    addPlays(101, 7, "seven"); // two batches
    queue.add(play("refused"), 7, false);
    refuse({"refused"});
    flush(0); // "refused" waits a minute for its retry, the others are sent
    queue.add(play("late"), 7, false);
    queue.add(play("nine"), 9, false);
    server.calls.clear();
    server.onSend = [take = server.onSend](const std::vector<PlayEvent>& plays, std::int64_t gig) {
        if (gig == 7) {
            throw ServerError::gigEnded;
        }
        return take(plays, gig);
    };
    const auto result = flush(1);
    ASSERT_EQ(server.calls.size(), 2u) << "one request learns that gig 7 has ended";
    EXPECT_EQ(server.calls[0].gig, 7);
    EXPECT_EQ(server.calls[1].gig, 9);
    EXPECT_TRUE(entry("nine").sent);
    EXPECT_FALSE(entry("nine").notTaken);
    for (const auto* id : {"late", "refused"}) {
        EXPECT_TRUE(entry(id).sent) << id;
        EXPECT_EQ(entry(id).status(), QueuedPlay::Status::notTaken) << id;
    }
    EXPECT_FALSE(entry("seven100").notTaken) << "what the gig took before it ended stays taken";
    EXPECT_EQ(result, (Flushed{.talked = true, .paused = false, .endedGigs = {7}}));
    EXPECT_FALSE(queue.hasUnsent());
    EXPECT_EQ(PlayQueue(file).entries(), queue.entries()) << "saved";
}

TEST_F(QueueDeliveryTests, HidesAndRemovalsOfAnEndedGigCountAsDone) {
    auto sent = [](std::string id, std::int64_t gig) {
        Entry e = testing::entry(std::move(id), gig);
        e.sent = true;
        return e;
    };
    std::vector<Entry> entries;
    entries.push_back(sent("c0", 5)); // a removal, then gig 5 ends
    entries.back().removed = true;
    entries.push_back(sent("a0", 7)); // a hide and a removal, then gig 7 ends
    entries.back().hidden = true;
    entries.push_back(sent("a1", 7));
    entries.back().removed = true;
    entries.push_back(sent("a2", 7));
    entries.back().hidden = true;
    entries.push_back(sent("b0", 9)); // gig 9 goes on
    entries.back().removed = true;
    entries.push_back(sent("b1", 9));
    entries.back().hidden = true;
    ASSERT_TRUE(replaceAtomically(file, *QueueFile::encode(entries), 0600));
    PlayQueue loaded(file);
    server.onChange = [](const FakeGigServer::Call& call) {
        if (call.gig != 9) {
            throw ServerError::gigEnded;
        }
    };
    const auto result = testing::await(io, loaded.flush(server, at(0)));
    ASSERT_EQ(server.calls.size(), 4u);
    EXPECT_EQ(server.calls[0].ids[0], "b1");
    EXPECT_EQ(server.calls[1].ids[0], "a2") << "gig 7 ends here; a0 and a1 are not asked";
    EXPECT_EQ(server.calls[2].ids[0], "c0");
    EXPECT_EQ(server.calls[3].ids[0], "b0");
    EXPECT_EQ(result.endedGigs, (std::set<std::int64_t>{5, 7}));
    EXPECT_TRUE(result.talked);
    for (const auto& e : loaded.entries()) {
        EXPECT_TRUE(e.isSettled()) << e.event.id;
        EXPECT_FALSE(e.notTaken) << e.event.id << ": it was taken before the gig ended";
    }
    EXPECT_FALSE(loaded.hasUnsent());
}

TEST_F(QueueDeliveryTests, AFailureStopsTheFlushButKeepsWhatWasAnswered) {
    queue.add(play("first"), 1, false);
    queue.add(play("second"), 2, false);
    server.onSend = [take = server.onSend](const std::vector<PlayEvent>& plays, std::int64_t gig) {
        if (gig == 2) {
            throw ServerError::unavailable;
        }
        return take(plays, gig);
    };
    EXPECT_EQ(flushFailure<ServerError>(), ServerError::unavailable);
    EXPECT_TRUE(entry("first").sent);
    EXPECT_FALSE(entry("second").sent);
    PlayQueue reread(file);
    EXPECT_TRUE(reread.entries()[0].sent) << "saved before failing";
}

TEST_F(QueueDeliveryTests, AFailureOfTheOneByOneSendingStopsTheFlush) {
    addPlays(3, 1);
    int sends = 0;
    server.onSend = [&](const std::vector<PlayEvent>&, std::int64_t) -> SentPlays {
        if (++sends == 1) {
            throw ServerError::refused("batch");
        }
        throw ServerError::badKey;
    };
    EXPECT_EQ(flushFailure<ServerError>(), ServerError::badKey);
    EXPECT_EQ(server.calls.size(), 2u);
}

TEST_F(QueueDeliveryTests, HidesGoNewestFirstAndOnlyOnce) {
    addPlays(3, 1);
    flush();
    queue.hideLatest();
    queue.undoLatest();
    queue.hideLatest(); // p1 now
    server.calls.clear();
    flush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[0].kind, "setHidden");
    EXPECT_EQ(server.calls[0].ids[0], "p1");
    EXPECT_EQ(server.calls[1].kind, "remove");
    EXPECT_EQ(server.calls[1].ids[0], "p2");
    EXPECT_TRUE(entry("p1").hiddenOnServer);
    server.calls.clear();
    EXPECT_FALSE(flush().talked);
    EXPECT_TRUE(server.calls.empty());
}

TEST_F(QueueDeliveryTests, TheServersHiddenStateIsBroughtInLine) {
    queue.add(play("a"), 1, false);
    server.onSend = [](const std::vector<PlayEvent>&, std::int64_t) {
        return SentPlays{.paused = false,
                         .plays = {{.eventId = "a", .taken = true, .hidden = true}}};
    };
    flush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[1].kind, "setHidden");
    EXPECT_FALSE(server.calls[1].flag);
    EXPECT_FALSE(entry("a").hiddenOnServer);
}

TEST_F(QueueDeliveryTests, RemovalsGoOldestFirst) {
    addPlays(3, 1);
    flush();
    queue.undoLatest();
    queue.undoLatest();
    server.calls.clear();
    flush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[0].ids[0], "p1");
    EXPECT_EQ(server.calls[1].ids[0], "p2");
    EXPECT_TRUE(entry("p1").removedOnServer);
    EXPECT_TRUE(entry("p1").isSettled());
}

TEST_F(QueueDeliveryTests, GoneOnHideDropsThePlayAndGoneOnRemoveTheGig) {
    addPlays(2, 1);
    queue.add(play("g2"), 2, false);
    flush();
    queue.hideLatest(); // g2
    server.onChange = [](const FakeGigServer::Call&) { throw ServerError::gigGone; };
    flush();
    EXPECT_FALSE(has("g2"));
    EXPECT_TRUE(has("p0"));
    queue.undoLatest(); // p1
    flush();
    EXPECT_FALSE(has("p0")) << "a removal answered gigGone drops the gig's entries";
    EXPECT_FALSE(has("p1"));
}

TEST_F(QueueDeliveryTests, OtherFailuresOfHidesStopTheFlush) {
    addPlays(2, 1);
    flush();
    queue.hideLatest();
    queue.undoLatest();
    queue.hideLatest();
    server.onChange = [](const FakeGigServer::Call&) { throw ServerError::badKey; };
    server.calls.clear();
    EXPECT_EQ(flushFailure<ServerError>(), ServerError::badKey);
    EXPECT_EQ(server.calls.size(), 1u) << "no removal after the failed hide";
}

TEST_F(QueueDeliveryTests, NothingDueMeansNoRequestAndNoWrite) {
    queue.add(play("a"), 1, false);
    flush();
    std::filesystem::remove(file);
    server.calls.clear();
    EXPECT_EQ(flush(), Flushed{});
    EXPECT_TRUE(server.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A flush that waits at the gate of its first request, with the test acting meanwhile.
class InterleavingTests : public QueueDeliveryTests {
protected:
    testing::Gate gate;
    std::future<Flushed> pending;

    void startFlush() {
        server.gate = &gate;
        pending = boost::asio::co_spawn(io, queue.flush(server, at(0)), boost::asio::use_future);
        while (gate.waiting == 0) {
            io.run_one();
        }
    }
    Flushed finishFlush() {
        gate.release();
        io.run();
        return pending.get();
    }
};

TEST_F(InterleavingTests, APlayHiddenDuringItsBatchIsHiddenInTheSameFlush) {
    queue.add(play("a"), 1, false);
    startFlush();
    queue.hideLatest();
    finishFlush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[1].kind, "setHidden");
    EXPECT_TRUE(server.calls[1].flag);
    EXPECT_TRUE(entry("a").sent);
    EXPECT_TRUE(entry("a").hiddenOnServer);
}

TEST_F(InterleavingTests, APlayTakenBackDuringItsBatchIsRemovedInTheSameFlush) {
    queue.add(play("a"), 1, false);
    startFlush();
    queue.undoLatest();
    finishFlush();
    ASSERT_EQ(server.calls.size(), 2u);
    EXPECT_EQ(server.calls[1].kind, "remove");
    EXPECT_TRUE(entry("a").sent);
    EXPECT_TRUE(entry("a").removedOnServer);
}

TEST_F(InterleavingTests, APlayAddedDuringAFlushGoesOnlyWithAGigNotYetServed) {
    queue.add(play("a"), 1, false);
    queue.add(play("b"), 2, false);
    startFlush(); // gig 1's batch is on the way
    queue.add(play("late1"), 1, false);
    queue.add(play("late2"), 2, false);
    queue.add(play("late3"), 3, false);
    finishFlush();
    EXPECT_FALSE(entry("late1").sent) << "gig 1's turn had started";
    EXPECT_TRUE(entry("late2").sent) << "gig 2's turn had not";
    EXPECT_FALSE(entry("late3").sent) << "gig 3 was not among the gigs to serve";
    EXPECT_TRUE(queue.hasUnsent());
    EXPECT_EQ(PlayQueue(file).entries().size(), 5u);
}

} // namespace
} // namespace bridge
