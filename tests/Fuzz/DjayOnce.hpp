#pragma once

#include "Readers/DjayReader.hpp"
#include "Support/Await.hpp"

#include <memory>

namespace bridge::fuzz {

// One read of the djay reader, with djay running, over the given history entry and text file.
inline VDJSnapshot readDjay(std::optional<DjayHistoryItem> latest,
                            std::optional<NowPlayingText> text, Instant now) {
    struct History : DjayHistory {
        std::optional<DjayHistoryItem> item;
        std::optional<DjayHistoryItem> latest() override { return item; }
    };
    struct File : NowPlayingFile {
        std::optional<NowPlayingText> text;
        std::optional<NowPlayingText> read() override { return text; }
    };
    auto history = std::make_shared<History>();
    history->item = std::move(latest);
    auto file = std::make_shared<File>();
    file->text = std::move(text);
    DjayReader reader(
        history, file, [] { return true; }, [now] { return now; });
    return testing::await(reader.read());
}

} // namespace bridge::fuzz
