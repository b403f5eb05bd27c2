// The link on this machine's loopback interface, with free ports.
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLinkTesting.hpp"
#include "StageLinQ/StageLinQTesting.hpp"
#include "Support/Task.hpp"

#include <gtest/gtest.h>

#include <system_error>

namespace bridge {
namespace {

using namespace testing;
using ProDJLink::Packet;

// Sends each datagram from `from` to 127.0.0.1 at its port, over and over, so that some arrive
// once the link listens.
asio::awaitable<void> sendFrom(std::string from,
                               std::vector<std::pair<ProDJLink::Bytes, std::uint16_t>> datagrams) {
    asio::ip::udp::socket sender{co_await asio::this_coro::executor,
                                 {asio::ip::make_address_v4(from), 0}};
    while (true) {
        for (const auto& [bytes, port] : datagrams) {
            co_await sender.async_send_to(
                asio::buffer(bytes), {asio::ip::address_v4::loopback(), port}, asio::use_awaitable);
        }
        co_await pause(50ms);
    }
}

class ProDJLinkLinkTests : public ::testing::Test {
protected:
    Task listen() {
        return Task::spawn(
            context.get_executor(),
            link.listen([this](const ProDJLinkNetwork::Heard& one) { heard.push_back(one); }),
            [this](std::exception_ptr error) {
                ended = true;
                failure = error;
            });
    }

    template <class Record>
    std::vector<ProDJLinkNetwork::Heard> heardOf() const {
        std::vector<ProDJLinkNetwork::Heard> found;
        std::copy_if(heard.begin(), heard.end(), std::back_inserter(found),
                     [](const auto& one) { return std::holds_alternative<Record>(one.packet); });
        return found;
    }

    void endListening(Task& task) {
        task.cancel();
        ASSERT_TRUE(runUntil(
            context, [&] { return ended; }, 2s));
        EXPECT_FALSE(failure);
    }

    asio::io_context context;
    ProDJLinkLink link{freePorts(context)};
    std::vector<ProDJLinkNetwork::Heard> heard;
    bool ended = false;
    std::exception_ptr failure;
};

const ProDJLink::KeepAlive player{
    "CDJ-3000", 2, ProDJLink::DeviceKind::player, {1, 2, 3, 4, 5, 6}, "127.0.0.12", 2};
const ProDJLink::PlayerStatus status{.name = "CDJ-3000", .number = 2};
const ProDJLink::Beat beat{"CDJ-3000", 2, 128.0, 0, 1};

TEST_F(ProDJLinkLinkTests, HearsEachPortAsItsOwnWithSenderAndInterface) {
    auto task = listen();
    auto sending = Task::spawn(context.get_executor(),
                               sendFrom("127.0.0.12", {{build(player), link.ports.announce},
                                                       {build(status), link.ports.status},
                                                       {build(beat), link.ports.beat},
                                                       {{0x51, 0x73, 0x70}, link.ports.status},
                                                       {build(player), link.ports.beat}}));
    ASSERT_TRUE(runUntil(context, [&] {
        return !heardOf<ProDJLink::KeepAlive>().empty() &&
               !heardOf<ProDJLink::PlayerStatus>().empty() && !heardOf<ProDJLink::Beat>().empty();
    }));
    for (const auto& one : heard) {
        EXPECT_EQ(one.from, "127.0.0.12");
        EXPECT_EQ(one.interface.name, "lo");
        EXPECT_EQ(one.interface.address, "127.0.0.1");
        EXPECT_EQ(one.interface.broadcast, "") << "loopback cannot broadcast";
        EXPECT_TRUE(one.packet == Packet{player} || one.packet == Packet{status} ||
                    one.packet == Packet{beat})
            << "a packet read on a port it was not sent to, or a broken one, was heard: "
            << one.packet.index();
    }
    sending.cancel();
    endListening(task);
}

TEST_F(ProDJLinkLinkTests, SendsToTheAddressAndPortGiven) {
    asio::ip::udp::socket receiver{context, {asio::ip::make_address_v4("127.0.0.1"), 0}};
    const auto packet = build(player);
    runUntilDone(context, link.send(packet, "127.0.0.1", receiver.local_endpoint().port()));
    ProDJLink::Bytes got(1024);
    asio::ip::udp::endpoint from;
    got.resize(receiver.receive_from(asio::buffer(got), from));
    EXPECT_EQ(got, packet);
    EXPECT_EQ(from.address().to_string(), "127.0.0.1");

    EXPECT_THROW(runUntilDone(context, link.send(packet, "not an address", 50000)),
                 std::system_error);
}

TEST_F(ProDJLinkLinkTests, ReturnsWhenCancelledAlsoBeforeItBegan) {
    auto task = listen();
    EXPECT_FALSE(runUntil(
        context, [&] { return ended; }, 100ms));
    endListening(task);

    ended = false;
    auto early = listen();
    early.cancel();
    ASSERT_TRUE(runUntil(
        context, [&] { return ended; }, 2s));
    EXPECT_FALSE(failure);
}

TEST_F(ProDJLinkLinkTests, FailsCleanlyWhenAPortIsHeld) {
    {
        asio::ip::udp::socket holder{context, {asio::ip::udp::v4(), link.ports.status}};
        listen();
        ASSERT_TRUE(runUntil(
            context, [&] { return ended; }, 2s));
        ASSERT_TRUE(failure);
        EXPECT_THROW(std::rethrow_exception(failure), std::system_error);
    }
    // The ports it did bind were let go.
    EXPECT_NO_THROW((asio::ip::udp::socket{context, {asio::ip::udp::v4(), link.ports.announce}}));
    ended = false;
    failure = nullptr;
    auto task = listen();
    EXPECT_FALSE(runUntil(
        context, [&] { return ended; }, 200ms));
    endListening(task);
}

TEST_F(ProDJLinkLinkTests, SharesItsPortsWithListenersThatAllowIt) {
    asio::ip::udp::socket other{context, asio::ip::udp::v4()};
    other.set_option(asio::socket_base::reuse_address(true));
    other.bind({asio::ip::udp::v4(), link.ports.announce});
    auto task = listen();
    EXPECT_FALSE(runUntil(
        context, [&] { return ended; }, 200ms));
    endListening(task);
}

} // namespace
} // namespace bridge
