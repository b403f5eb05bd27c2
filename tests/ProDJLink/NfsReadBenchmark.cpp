// Reading a file from the simulated player on 127.0.0.1, as the Pioneer DJ reader reads a
// medium's database: a new client each time, so the port lookups count too.
#include "NfsServer.hpp"
#include "ProDJLink/NfsClient.hpp"

#include <benchmark/benchmark.h>
#include <boost/asio/co_spawn.hpp>

#include <optional>

namespace bridge {
namespace {

namespace asio = boost::asio;

constexpr auto exportFile = "PIONEER/rekordbox/export.pdb";

std::string readOnce(asio::io_context& context, std::uint16_t portmapperPort) {
    NfsClient client{{.portmapperPort = portmapperPort}};
    std::optional<std::string> contents;
    std::exception_ptr failure;
    asio::co_spawn(context, client.read("127.0.0.1", MediaSlot::usb, exportFile, 1u << 30),
                   [&](std::exception_ptr error, MediaFile file) {
                       failure = error;
                       contents = std::move(file.bytes);
                   });
    while (!contents && !failure) {
        context.run_one();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return std::move(*contents);
}

void readWholeFile(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    asio::io_context context;
    NfsServer server{context};
    server.put(MediaSlot::usb, exportFile, std::string(size, 'x'));
    for (auto _ : state) {
        const auto contents = readOnce(context, server.portmapperPort());
        if (contents.size() != size) {
            state.SkipWithError("short file");
        }
    }
    const auto reads = static_cast<double>(state.iterations());
    state.counters["requests"] = server.requests().total() / reads;
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(readWholeFile)->Arg(1 << 20)->Arg(20 << 20)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace bridge

BENCHMARK_MAIN();
