// An evening of the headless core against the stand-ins on 127.0.0.1: the loop with the real
// clock and sleep, the engine, a queue in a temporary folder, the detector, the real reader and
// the gig server client over the real transport. The stand-ins run in a child process (this
// program again, in its stand-ins role), so the figures are those of the core alone.
//
// Usage: EveningBenchmark --scenario virtualdj|whatsnowplaying|denon|prodjlink|server-down|floor
//                         [--seconds N] [--every SECONDS] [--count-after SECONDS]
//                         [--writes whole|two]
#include "DenonPlayer.hpp"
#include "Engine/BridgeEngine.hpp"
#include "Engine/BridgeLoop.hpp"
#include "Engine/PlayDetector.hpp"
#include "GigServerStandIn.hpp"
#include "PlayQueue/PlayQueue.hpp"
#include "ProDJLink/NfsClient.hpp"
#include "ProDJLink/ProDJLinkLink.hpp"
#include "ProDJLink/ProDJLinkReader.hpp"
#include "ProDJLinkSet.hpp"
#include "Readers/VDJClient.hpp"
#include "Readers/VDJReader.hpp"
#include "Readers/WhatsNowPlayingReader.hpp"
#include "Readers/WhatsNowPlayingServer.hpp"
#include "ScriptedSet.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/ServerClient.hpp"
#include "StageLinQ/DenonReader.hpp"
#include "StageLinQ/StageLinQLink.hpp"
#include "Support/Numbers.hpp"
#include "Support/TempFolder.hpp"
#include "VirtualDJSet.hpp"
#include "WhatsNowPlayingSet.hpp"
#include "WhatsNowPlayingStandIn.hpp"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <numeric>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bridge {
namespace {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC: one clock for both processes
using namespace std::chrono_literals;

constexpr auto warmUp = 5s;

struct Options {
    std::string scenario;
    std::string role = "core";
    double seconds = 180;
    double every = 8;      // from one song to the next
    double countAfter = 3; // on air before a song counts
    std::uint16_t denonPort = 0;
    ProDJLinkLink::Ports linkPorts; // where the core listens for the Pioneer set
    // How the source stand-ins write their answers; "two": head and body apart.
    AnswerWrites writes = AnswerWrites::whole;
};

// "50000,50001,50002": the announce, beat and status ports.
std::optional<ProDJLinkLink::Ports> linkPortsOf(const std::string& text) {
    std::istringstream parts(text);
    ProDJLinkLink::Ports ports;
    char comma = 0;
    char secondComma = 0;
    if (!(parts >> ports.announce >> comma >> ports.beat >> secondComma >> ports.status) ||
        comma != ',' || secondComma != ',' || !parts.eof()) {
        return std::nullopt;
    }
    return ports;
}

std::string linkPortsText(const ProDJLinkLink::Ports& ports) {
    return std::to_string(ports.announce) + "," + std::to_string(ports.beat) + "," +
           std::to_string(ports.status);
}

std::optional<Options> optionsOf(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view flag = argv[i];
        const std::string value = argv[i + 1];
        const auto number = parseNumber<double>(value);
        if (flag == "--scenario") {
            options.scenario = value;
        } else if (flag == "--role") {
            options.role = value;
        } else if (flag == "--seconds" && number && *number > 0) {
            options.seconds = *number;
        } else if (flag == "--every" && number && *number > 0) {
            options.every = *number;
        } else if (flag == "--count-after" && number && *number > 0) {
            options.countAfter = *number;
        } else if (flag == "--denon-port" && parseNumber<std::uint16_t>(value)) {
            options.denonPort = *parseNumber<std::uint16_t>(value);
        } else if (flag == "--link-ports" && linkPortsOf(value)) {
            options.linkPorts = *linkPortsOf(value);
        } else if (flag == "--writes" && (value == "whole" || value == "two")) {
            options.writes = value == "two" ? AnswerWrites::headThenBody : AnswerWrites::whole;
        } else {
            return std::nullopt;
        }
    }
    static const std::set<std::string> scenarios{"virtualdj", "whatsnowplaying", "denon",
                                                 "prodjlink", "server-down",     "floor"};
    if (argc % 2 == 0 || !scenarios.contains(options.scenario)) {
        return std::nullopt;
    }
    return options;
}

std::int64_t monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// A set long enough that no song comes twice in one evening.
std::vector<SetSong> evening() {
    std::vector<SetSong> songs;
    const auto base = builtInSet();
    for (std::size_t n = 0; n < 500; ++n) {
        auto song = base[n % base.size()];
        song.title += " #" + std::to_string(n);
        songs.push_back(std::move(song));
    }
    return songs;
}

// ---- The stand-ins' role: a child process, driven over its standard input and output.

// When the gig server stand-in took each play, by event id.
class StoredTimes {
public:
    StoredTimes(const GigServerStandIn& server, std::int64_t gig)
        : thread([this, &server, gig](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  note(server.plays(gig));
                  std::this_thread::sleep_for(1ms);
              }
          }) {}

    std::map<std::string, std::int64_t> times() const {
        const std::lock_guard lock(mutex);
        return stored;
    }

private:
    void note(const std::vector<GigServerStandIn::StoredPlay>& plays) {
        const auto now = monotonicNanoseconds();
        const std::lock_guard lock(mutex);
        for (const auto& play : plays) {
            stored.try_emplace(play.eventId, now);
        }
    }

    mutable std::mutex mutex;
    std::map<std::string, std::int64_t> stored;
    std::jthread thread; // last: stops before the times go
};

// The simulated Denon player, mixing a new song in every `every` on its own thread.
class DenonSet {
public:
    DenonSet(std::uint16_t discoveryPort, std::chrono::milliseconds every) : player(context) {
        player.start();
        player.playerNumber(1);
        player.crossfader(0.5);
        asio::co_spawn(context, player.announce(discoveryPort, 1s), asio::detached);
        asio::co_spawn(context, play(every), asio::detached);
        thread = std::jthread([this] { context.run(); });
    }
    ~DenonSet() {
        context.stop();
        thread.join();
    }

private:
    asio::awaitable<void> play(std::chrono::milliseconds every) {
        const auto songs = evening();
        asio::steady_timer timer(context);
        for (std::size_t step = 0;; ++step) {
            const int deck = 1 + static_cast<int>(step % 2);
            const int other = 3 - deck;
            const auto& song = songs[step % songs.size()];
            player.load(deck, song.title, song.artist);
            player.fader(deck, 1.0);
            player.play(deck, true);
            player.fader(other, 0.0);
            player.play(other, false);
            timer.expires_after(every);
            co_await timer.async_wait(asio::use_awaitable);
        }
    }

    asio::io_context context;
    DenonPlayer player;
    std::jthread thread;
};

// The simulated Pioneer set on 127.0.0.x, its two players and DJM on their own thread: every
// `every` the next deck loads the next song from the first player's stick, plays and goes on
// air, and the other goes off air and pauses.
class PioneerSet {
public:
    PioneerSet(const ProDJLinkLink::Ports& ports, std::chrono::milliseconds every)
        : set(context, optionsFor(ports)) {
        set.start();
        std::vector<ProDJLink::ExportTrack> tracks;
        for (const auto& song : evening()) {
            tracks.push_back({.id = static_cast<std::uint32_t>(tracks.size() + 1),
                              .title = song.title,
                              .artist = song.artist,
                              .lengthSeconds = song.lengthSeconds});
        }
        set.changeMedium(1, ProDJLink::Slot::usb, std::move(tracks));
        asio::co_spawn(context, play(every), asio::detached);
        thread = std::jthread([this] { context.run(); });
    }
    ~PioneerSet() {
        context.stop();
        thread.join();
    }

    std::uint16_t listenPort() const { return set.listenPort(); }
    std::uint16_t mediaPort() const { return set.mediaPort(); }

private:
    static ProDJLinkSet::Options optionsFor(const ProDJLinkLink::Ports& ports) {
        ProDJLinkSet::Options options;
        options.announcePort = ports.announce;
        options.beatPort = ports.beat;
        options.statusPort = ports.status;
        return options;
    }

    asio::awaitable<void> play(std::chrono::milliseconds every) {
        const auto count = evening().size();
        asio::steady_timer timer(context);
        for (std::size_t step = 0;; ++step) {
            const int deck = 1 + static_cast<int>(step % 2);
            const int other = 3 - deck;
            set.load(deck, 1, ProDJLink::Slot::usb, static_cast<std::uint32_t>(step % count + 1));
            set.play(deck);
            set.onAir(deck, true);
            set.onAir(other, false);
            set.pause(other);
            timer.expires_after(every);
            co_await timer.async_wait(asio::use_awaitable);
        }
    }

    asio::io_context context;
    ProDJLinkSet set;
    std::jthread thread;
};

struct StandIns {
    std::optional<GigServerStandIn> gig;
    std::optional<Gig> live;
    std::optional<StoredTimes> stored;
    std::optional<VirtualDJStandIn> vdj;
    std::optional<WhatsNowPlayingStandIn> wnp;
    std::optional<SetRunner> set;
    std::optional<DenonSet> denon;
    std::optional<PioneerSet> pioneer;

    std::size_t gigRequests() const { return gig ? gig->requests().size() : 0; }
    std::size_t sourceRequests() const {
        return vdj ? vdj->received().size() : wnp ? wnp->requestCount() : 0;
    }
};

void startSource(StandIns& standIns, const Options& options) {
    const auto every = std::chrono::milliseconds(std::llround(options.every * 1000));
    if (options.scenario == "virtualdj" || options.scenario == "server-down") {
        auto& vdj = standIns.vdj.emplace("", 2, 0, options.writes);
        standIns.set.emplace(
            SetPlayer(evening(), every, SetPlayer::Clock::now(),
                      [&vdj](std::uint64_t step, const SetSong& song, const SetSong& next) {
                          showOnDecks(vdj, step, song, next);
                      }));
    } else if (options.scenario == "whatsnowplaying") {
        auto& wnp = standIns.wnp.emplace(0, options.writes);
        standIns.set.emplace(SetPlayer(evening(), every, SetPlayer::Clock::now(),
                                       [&wnp](std::uint64_t, const SetSong& song, const SetSong&) {
                                           showOnTool(wnp, song, std::chrono::system_clock::now());
                                       }));
    } else if (options.scenario == "denon") {
        standIns.denon.emplace(options.denonPort, every);
    } else if (options.scenario == "prodjlink") {
        standIns.pioneer.emplace(options.linkPorts, every);
    }
}

// Prints "ready <gig port or 0> <key> <source port or 0> <media port or 0>", then answers
// "counts" and "stored" until its input closes. The Pioneer set's source port is where it hears
// the core announce itself, its media port the players' NFS portmapper.
int serveStandIns(const Options& options) {
    StandIns standIns;
    std::string key = "-";
    if (options.scenario != "server-down") {
        auto& gig = standIns.gig.emplace(0);
        standIns.live = gig.startGig();
        key = gig.makeKey();
        standIns.stored.emplace(gig, standIns.live->id);
    }
    startSource(standIns, options);
    const int sourcePort = standIns.vdj       ? standIns.vdj->port()
                           : standIns.wnp     ? standIns.wnp->port()
                           : standIns.pioneer ? standIns.pioneer->listenPort()
                                              : 0;
    const int mediaPort = standIns.pioneer ? standIns.pioneer->mediaPort() : 0;
    std::cout << "ready " << (standIns.gig ? standIns.gig->port() : 0) << ' ' << key << ' '
              << sourcePort << ' ' << mediaPort << std::endl;
    for (std::string command; std::getline(std::cin, command);) {
        if (command == "counts") {
            std::cout << standIns.gigRequests() << ' ' << standIns.sourceRequests() << std::endl;
        } else if (command == "stored") {
            for (const auto& [id, at] : standIns.stored ? standIns.stored->times()
                                                        : std::map<std::string, std::int64_t>{}) {
                std::cout << id << ' ' << at << '\n';
            }
            std::cout << "end" << std::endl;
        }
    }
    return 0;
}

// ---- The core's role.

// The child running the stand-ins, talked to over two pipes.
class StandInProcess {
public:
    explicit StandInProcess(const Options& options) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) {
            throw std::runtime_error("cannot make pipes");
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            const auto every = std::to_string(options.every);
            const auto port = std::to_string(options.denonPort);
            const char* writes = options.writes == AnswerWrites::whole ? "whole" : "two";
            const auto linkPorts = linkPortsText(options.linkPorts);
            ::execl("/proc/self/exe", "EveningBenchmark", "--role", "stand-ins", "--scenario",
                    options.scenario.c_str(), "--every", every.c_str(), "--denon-port",
                    port.c_str(), "--link-ports", linkPorts.c_str(), "--writes", writes, nullptr);
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input = ::fdopen(toChild[1], "w");
        output = ::fdopen(fromChild[0], "r");
    }
    ~StandInProcess() {
        std::fclose(input); // the child ends when its input closes
        std::fclose(output);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    std::istringstream ask(const std::string& command, bool untilEnd = false) {
        if (!command.empty()) {
            std::fprintf(input, "%s\n", command.c_str());
            std::fflush(input);
        }
        std::string answer;
        char line[512];
        while (std::fgets(line, sizeof line, output) != nullptr) {
            if (untilEnd && std::string_view(line) == "end\n") {
                break;
            }
            answer += line;
            if (!untilEnd) {
                break;
            }
        }
        return std::istringstream(answer);
    }

private:
    pid_t pid = -1;
    std::FILE* input = nullptr;
    std::FILE* output = nullptr;
};

// Counts the reads the engine makes, and times them once `timing` is on.
class CountedReads : public DeckReading {
public:
    explicit CountedReads(std::shared_ptr<DeckReading> reader) : reader(std::move(reader)) {}
    asio::awaitable<VDJSnapshot> read() override {
        ++count;
        const auto start = Clock::now();
        auto snapshot = co_await reader->read();
        if (timing) {
            milliseconds.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        co_return snapshot;
    }
    std::size_t count = 0;
    bool timing = false;
    std::vector<double> milliseconds; // of each timed read that answered

private:
    std::shared_ptr<DeckReading> reader;
};

std::uint16_t freePort(bool udp) {
    asio::io_context context;
    const auto loopback = asio::ip::make_address_v4("127.0.0.1");
    if (udp) {
        asio::ip::udp::socket socket(context, {loopback, 0});
        return socket.local_endpoint().port();
    }
    asio::ip::tcp::acceptor acceptor(context, {loopback, 0});
    return acceptor.local_endpoint().port(); // closed again: nothing listens there
}

struct Sample {
    std::int64_t at = 0;  // monotonic ns
    std::int64_t cpu = 0; // ns of this process, every thread
    long switches = 0;    // voluntary context switches
    std::size_t reads = 0;
    std::size_t gigRequests = 0;
    std::size_t sourceRequests = 0;
};

Sample sample(const CountedReads* reads, StandInProcess* standIns) {
    Sample taken;
    taken.at = monotonicNanoseconds();
    timespec cpu{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    taken.cpu = std::int64_t{cpu.tv_sec} * 1'000'000'000 + cpu.tv_nsec;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    taken.switches = usage.ru_nvcsw;
    taken.reads = reads ? reads->count : 0;
    if (standIns) {
        standIns->ask("counts") >> taken.gigRequests >> taken.sourceRequests;
    }
    return taken;
}

std::string statusLine(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":")) {
            return line;
        }
    }
    return name + ": ?";
}

std::string loadAverage() {
    std::ifstream load("/proc/loadavg");
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

// Counted → stored, in milliseconds, for every play the stand-in took.
std::vector<double> latencies(StandInProcess& standIns,
                              const std::map<std::string, std::int64_t>& counted) {
    auto stored = standIns.ask("stored", true);
    std::vector<double> found;
    std::string id;
    std::int64_t at = 0;
    while (stored >> id >> at) {
        if (const auto play = counted.find(id); play != counted.end()) {
            found.push_back(static_cast<double>(at - play->second) / 1e6);
        }
    }
    return found;
}

struct Core {
    std::shared_ptr<DeckReading> reader;
    Source source = Source::virtualDJ;
};

Core readerFor(const Options& options, int sourcePort, std::uint16_t mediaPort,
               const std::shared_ptr<HTTPTransport>& transport) {
    if (options.scenario == "prodjlink") {
        return {
            std::make_shared<ProDJLinkReader>(
                std::make_shared<ProDJLinkLink>(options.linkPorts),
                std::make_shared<NfsClient>(NfsClient::Options{.portmapperPort = mediaPort}),
                ReferenceClock::now, BridgeLoop::sleep,
                ProDJLinkPresence::Options{.announcePort = static_cast<std::uint16_t>(sourcePort),
                                           .target = "127.0.0.1"}),
            Source::proDJLink};
    }
    if (options.scenario == "whatsnowplaying") {
        return {std::make_shared<WhatsNowPlayingReader>(
                    std::make_shared<WhatsNowPlayingServer>(transport, sourcePort)),
                Source::whatsNowPlaying};
    }
    if (options.scenario == "denon") {
        return {std::make_shared<DenonReader>(
                    std::make_shared<StageLinQLink>(
                        options.denonPort, [] { return std::vector<std::string>{"127.0.0.1"}; }),
                    StageLinQ::newToken()),
                Source::denon};
    }
    return {std::make_shared<VDJReader>(std::make_shared<VDJClient>(sourcePort, "", transport),
                                        std::vector<int>{1, 2}),
            Source::virtualDJ};
}

void report(const Options& options, const Sample& from, const Sample& to, const std::string& load,
            const std::optional<std::vector<double>>& delays, std::size_t counted) {
    const double seconds = static_cast<double>(to.at - from.at) / 1e9;
    const double cpuMs = static_cast<double>(to.cpu - from.cpu) / 1e6;
    const double reads = static_cast<double>(to.reads - from.reads);
    std::printf("scenario %s: %.0f s measured after a %lld s warm-up; load average %s\n",
                options.scenario.c_str(), seconds, static_cast<long long>(warmUp.count()),
                load.c_str());
    std::printf("cpu: %.4f %% of one core (%.1f ms)\n", cpuMs / (seconds * 10), cpuMs);
    std::printf("%s\n%s\n", statusLine("VmRSS").c_str(), statusLine("VmHWM").c_str());
    std::printf("voluntary context switches: %.2f/s\n",
                static_cast<double>(to.switches - from.switches) / seconds);
    if (reads > 0) {
        std::printf("reads: %.0f; requests per read: source %.3f, gig server %.3f\n", reads,
                    static_cast<double>(to.sourceRequests - from.sourceRequests) / reads,
                    static_cast<double>(to.gigRequests - from.gigRequests) / reads);
    }
    if (delays && !delays->empty()) {
        std::printf("plays: %zu counted, %zu stored; counted → stored p50 %.2f ms, p99 %.2f ms\n",
                    counted, delays->size(), percentile(*delays, 0.5), percentile(*delays, 0.99));
    } else if (delays) {
        std::printf("plays: %zu counted, none stored\n", counted);
    }
}

void reportReads(const std::vector<double>& milliseconds) {
    if (milliseconds.empty()) {
        return;
    }
    const double sum = std::accumulate(milliseconds.begin(), milliseconds.end(), 0.0);
    std::printf("time of a read: mean %.2f ms, p50 %.2f ms, p99 %.2f ms, longest %.2f ms\n",
                sum / static_cast<double>(milliseconds.size()), percentile(milliseconds, 0.5),
                percentile(milliseconds, 0.99),
                *std::max_element(milliseconds.begin(), milliseconds.end()));
}

std::chrono::milliseconds measured(const Options& options) {
    return std::chrono::milliseconds(std::llround(options.seconds * 1000));
}

asio::awaitable<void> floorTimer() {
    for (;;) {
        co_await BridgeLoop::sleep(Seconds{1.0});
    }
}

int runFloor(const Options& options) {
    asio::io_context context(1);
    asio::co_spawn(context, floorTimer(), asio::detached);
    const auto load = loadAverage();
    context.run_for(warmUp);
    const auto from = sample(nullptr, nullptr);
    context.run_for(measured(options));
    report(options, from, sample(nullptr, nullptr), load, std::nullopt, 0);
    return 0;
}

asio::awaitable<void> noShow(BridgeStatus) {
    co_return;
}

int runCore(Options options) {
    if (options.scenario == "floor") {
        return runFloor(options);
    }
    if (options.scenario == "denon") {
        options.denonPort = freePort(true);
    }
    if (options.scenario == "prodjlink") {
        options.linkPorts = {freePort(true), freePort(true), freePort(true)};
    }
    StandInProcess standIns(options);
    std::string ready;
    std::uint16_t gigPort = 0;
    std::string key;
    int sourcePort = 0;
    std::uint16_t mediaPort = 0;
    standIns.ask("") >> ready >> gigPort >> key >> sourcePort >> mediaPort;
    if (ready != "ready") {
        std::cerr << "EveningBenchmark: the stand-ins did not start\n";
        return 1;
    }
    if (gigPort == 0) {
        gigPort = freePort(false);
    }
    testing::TempFolder folder;
    asio::io_context context(1);
    const auto transport = std::make_shared<BeastTransport>();
    auto [reader, source] = readerFor(options, sourcePort, mediaPort, transport);
    const auto reads = std::make_shared<CountedReads>(reader);
    const auto server = std::make_shared<ServerClient>(
        "http://127.0.0.1:" + std::to_string(gigPort), key, source, transport);
    std::map<std::string, std::int64_t> counted; // when each play was counted
    const auto loop = BridgeLoop::create(context.get_executor(), BridgeLoop::sleep, noShow);
    loop->start([&] {
        return std::make_shared<BridgeEngine>(reads, server, PlayQueue(folder / "queue.json"),
                                              PlayDetector(Seconds{options.countAfter},
                                                           [&counted] {
                                                               auto id = randomPlayId();
                                                               counted.emplace(
                                                                   id, monotonicNanoseconds());
                                                               return id;
                                                           }),
                                              BridgeEngine::Settings{});
    });
    const auto load = loadAverage();
    context.run_for(warmUp);
    const auto from = sample(reads.get(), &standIns);
    reads->timing = true;
    context.run_for(measured(options));
    reads->timing = false;
    const auto to = sample(reads.get(), &standIns);
    // Plays counted in the last moments may still be on their way.
    context.run_for(1s);
    std::optional<std::vector<double>> delays;
    if (options.scenario != "server-down") {
        delays = latencies(standIns, counted);
    }
    report(options, from, to, load, delays, counted.size());
    reportReads(reads->milliseconds);
    asio::co_spawn(context, loop->stop(), asio::detached);
    context.run_for(5s);
    return 0;
}

} // namespace
} // namespace bridge

int main(int argc, char** argv) {
    const auto options = bridge::optionsOf(argc, argv);
    if (!options) {
        std::cerr << "Usage: EveningBenchmark --scenario "
                     "virtualdj|whatsnowplaying|denon|prodjlink|server-down|floor [--seconds N] "
                     "[--every SECONDS] [--count-after SECONDS] [--writes whole|two]\n";
        return 2;
    }
    try {
        return options->role == "stand-ins" ? bridge::serveStandIns(*options)
                                            : bridge::runCore(*options);
    } catch (const std::exception& failure) {
        std::cerr << "EveningBenchmark: " << failure.what() << '\n';
        return 1;
    }
}
