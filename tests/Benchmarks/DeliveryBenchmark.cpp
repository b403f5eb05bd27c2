// Delivering a backlog of 10,000 queued plays to the gig server stand-in over real HTTP.
#include "GigServerStandIn.hpp"
#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "Server/BeastTransport.hpp"
#include "Server/ServerClient.hpp"
#include "Support/Await.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"

#include <benchmark/benchmark.h>

#include <sys/inotify.h>
#include <unistd.h>

namespace bridge {
namespace {

constexpr int backlog = 10'000;

std::vector<Entry> pendingPlays(std::int64_t gig) {
    std::vector<Entry> entries;
    for (int n = 0; n < backlog; ++n) {
        entries.push_back(Entry{
            .event =
                PlayEvent{
                    .id = "PLAY-" + std::to_string(gig) + "-" + std::to_string(n),
                    .playedAt = instantFromReferenceSeconds(786'297'600.0 + 200.0 * n),
                    .title = "Song number " + std::to_string(n),
                    .artist = "Artist " + std::to_string(n % 37),
                    .bpm = 95.0 + n % 40,
                    .key = "8A",
                    .filePath =
                        "sha256:2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881",
                    .durationMs = 241'000 + n},
            .gigId = gig});
    }
    return entries;
}

// Counts the files renamed into a folder: each save of the queue is one.
class RenameCounter {
public:
    explicit RenameCounter(const std::filesystem::path& folder)
        : fd(inotify_init1(IN_NONBLOCK)),
          watch(inotify_add_watch(fd, folder.c_str(), IN_MOVED_TO)) {}
    ~RenameCounter() { ::close(fd); }
    int count() {
        int renames = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<inotify_event*>(at);
                renames += (event->mask & IN_MOVED_TO) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return renames;
    }

private:
    int fd;
    int watch;
};

void deliverBacklog(benchmark::State& state) {
    GigServerStandIn standIn;
    auto client = std::make_shared<ServerClient>(
        standIn.url(), standIn.makeKey(), Source::virtualDJ, std::make_shared<BeastTransport>());
    testing::TempFolder folder;
    const auto file = folder / "queue.json";
    double requests = 0;
    double writes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Gig gig = standIn.startGig();
        replaceAtomically(file, *QueueFile::encode(pendingPlays(gig.id)), 0600);
        PlayQueue queue(file);
        RenameCounter renames(folder.path());
        const auto before = standIn.requests().size();
        state.ResumeTiming();
        testing::await(queue.flush(*client, ReferenceClock::now()));
        state.PauseTiming();
        requests += static_cast<double>(standIn.requests().size() - before);
        writes += renames.count();
        if (standIn.plays(gig.id).size() != backlog) {
            state.SkipWithError("not every play arrived");
        }
        state.ResumeTiming();
    }
    state.counters["requests"] = benchmark::Counter(requests, benchmark::Counter::kAvgIterations);
    state.counters["fileWrites"] = benchmark::Counter(writes, benchmark::Counter::kAvgIterations);
}
BENCHMARK(deliverBacklog)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace
} // namespace bridge

BENCHMARK_MAIN();
