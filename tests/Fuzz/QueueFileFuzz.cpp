// The queue file as the disk gives it back. Whatever decodes must encode again, or the
// queue could never save; and what it encodes to must read back to the same entries.
#include "FuzzInput.hpp"
#include "PlayQueue/QueueFile.hpp"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto entries = QueueFile::decode(fuzz::text(data, size));
    if (!entries) {
        return 0;
    }
    const auto first = QueueFile::encode(*entries);
    fuzz::require(first.has_value(), "a decoded file encodes");
    const auto again = QueueFile::decode(*first);
    fuzz::require(again.has_value(), "an encoded file decodes");
    fuzz::require(*again == *entries, "a file reads back to the same entries");
    fuzz::require(QueueFile::encode(*again) == first, "the second encoding equals the first");
    return 0;
}
