// The queue at its realistic largest: 200 plays waiting for a gig, 50 settled, 100 pending.
#include "PlayQueue/PlayQueue.hpp"
#include "PlayQueue/QueueFile.hpp"
#include "Support/Files.hpp"
#include "Support/TempFolder.hpp"

#include <benchmark/benchmark.h>

namespace bridge {
namespace {

PlayEvent play(int n) {
    return PlayEvent{
        .id = "0B5E6C1D-2F3A-4B5C-8D6E-" + std::to_string(100'000'000'000 + n),
        .playedAt =
            instantFromReferenceSeconds(786'297'600.0 + 60.0 * n), // 350 plays span under 6 h
        .title = "Song number " + std::to_string(n) + " (Extended Club Mix)",
        .artist = "Artist " + std::to_string(n % 37),
        .bpm = 95.0 + n % 40,
        .key = "8A",
        .filePath = "sha256:2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881",
        .durationMs = 241'000 + n};
}

std::vector<Entry> fullQueue() {
    std::vector<Entry> entries;
    for (int n = 0; n < 50; ++n) {
        entries.push_back(Entry{.event = play(n), .gigId = 1, .sent = true});
    }
    for (int n = 50; n < 150; ++n) {
        entries.push_back(Entry{.event = play(n), .gigId = 1});
    }
    for (int n = 150; n < 350; ++n) {
        entries.push_back(Entry{.event = play(n)});
    }
    return entries;
}

struct QueueOnDisk {
    testing::TempFolder folder;
    std::filesystem::path file = folder / "queue.json";
    QueueOnDisk() { replaceAtomically(file, *QueueFile::encode(fullQueue()), 0600); }
};

// One counted play: the entry goes in and the whole file is written out.
void addAndSave(benchmark::State& state) {
    QueueOnDisk disk;
    PlayQueue queue(disk.file);
    int n = 350;
    for (auto _ : state) {
        // The next waiting play: the queue trims itself back to 200 waiting, so its size stays.
        queue.add(play(n++), std::nullopt, false);
    }
    state.counters["entries"] = static_cast<double>(queue.entries().size());
    state.counters["fileBytes"] = static_cast<double>(readWholeFile(disk.file).bytes.size());
}
BENCHMARK(addAndSave)->Unit(benchmark::kMicrosecond);

// What every tick asks when nothing changed: answered from the cache.
void recentUnchanged(benchmark::State& state) {
    QueueOnDisk disk;
    PlayQueue queue(disk.file);
    for (auto _ : state) {
        benchmark::DoNotOptimize(queue.recent(10).size());
    }
}
BENCHMARK(recentUnchanged);

// The recent list built afresh after a change.
void recentAfterChange(benchmark::State& state) {
    QueueOnDisk disk;
    PlayQueue queue(disk.file);
    for (auto _ : state) {
        state.PauseTiming();
        queue.hideLatest();
        state.ResumeTiming();
        benchmark::DoNotOptimize(queue.recent(10).size());
    }
}
BENCHMARK(recentAfterChange);

// Loading the queue file at the start of an engine.
void load(benchmark::State& state) {
    QueueOnDisk disk;
    for (auto _ : state) {
        PlayQueue queue(disk.file);
        benchmark::DoNotOptimize(queue.entries().size());
    }
}
BENCHMARK(load)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace bridge

BENCHMARK_MAIN();
