#include "PlayQueue/Entry.hpp"
#include "QueueTesting.hpp"

#include <gtest/gtest.h>

namespace bridge {
namespace {

using testing::entry;

Entry with(std::function<void(Entry&)> change, std::optional<std::int64_t> gigId = 1) {
    auto e = entry("E", gigId);
    change(e);
    return e;
}

TEST(EntryTests, WaitingEntriesOweNothingAndAreNotSettled) {
    const auto waiting = entry("E", std::nullopt);
    EXPECT_TRUE(waiting.isWaiting());
    EXPECT_FALSE(waiting.owesServer());
    EXPECT_FALSE(waiting.isSettled());
}

TEST(EntryTests, WhatIsOwedAndWhatIsSettled) {
    const auto pending = entry("E");
    EXPECT_TRUE(pending.owesServer());
    EXPECT_FALSE(pending.isSettled());

    const auto sent = with([](Entry& e) { e.sent = true; });
    EXPECT_FALSE(sent.owesServer());
    EXPECT_TRUE(sent.isSettled());

    const auto hideOwed = with([](Entry& e) { e.sent = true, e.hidden = true; });
    EXPECT_TRUE(hideOwed.owesServer());
    EXPECT_FALSE(hideOwed.isSettled());

    const auto showOwed = with([](Entry& e) { e.sent = true, e.hiddenOnServer = true; });
    EXPECT_TRUE(showOwed.owesServer());

    const auto removalOwed = with([](Entry& e) { e.sent = true, e.removed = true; });
    EXPECT_TRUE(removalOwed.owesServer());
    EXPECT_FALSE(removalOwed.isSettled());

    const auto removed =
        with([](Entry& e) { e.sent = true, e.removed = true, e.removedOnServer = true; });
    EXPECT_FALSE(removed.owesServer());
    EXPECT_TRUE(removed.isSettled());

    // Taken back before it was sent: never sent, settled at once.
    const auto takenBack = with([](Entry& e) { e.removed = true; });
    EXPECT_FALSE(takenBack.owesServer());
    EXPECT_TRUE(takenBack.isSettled());

    const auto notTaken = with([](Entry& e) { e.notTaken = true, e.hidden = true; });
    EXPECT_FALSE(notTaken.owesServer());
    EXPECT_TRUE(notTaken.isSettled());
}

TEST(EntryTests, StatusTakesTheFirstRuleThatHolds) {
    using Status = QueuedPlay::Status;
    EXPECT_EQ(entry("E").status(), Status::queued);
    EXPECT_EQ(with([](Entry& e) { e.refusals = 2; }).status(), Status::refused);
    EXPECT_EQ(with([](Entry& e) { e.refusals = 2, e.sent = true; }).status(), Status::sent);
    EXPECT_EQ(with([](Entry& e) { e.refusals = 1, e.hidden = true; }).status(), Status::hidden);
    EXPECT_EQ(with([](Entry& e) { e.sent = true, e.hidden = true; }).status(), Status::hidden);
    EXPECT_EQ(with([](Entry& e) { e.hidden = true, e.notTaken = true; }).status(),
              Status::notTaken);
    EXPECT_EQ(text(Status::notTaken), "notTaken");
    EXPECT_EQ(text(Status::queued), "queued");
}

} // namespace
} // namespace bridge
