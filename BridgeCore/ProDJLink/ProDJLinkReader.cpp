#include "ProDJLink/ProDJLinkReader.hpp"

#include "ProDJLink/NfsError.hpp"
#include "ProDJLink/ProDJLinkDecks.hpp"
#include "ProDJLink/RekordboxExport.hpp"
#include "Support/Task.hpp"
#include "Values/SourceError.hpp"

#include <boost/asio/this_coro.hpp>

#include <map>
#include <optional>
#include <string>
#include <system_error>

namespace bridge {

namespace {

namespace asio = boost::asio;

// After a failure, the network is listened to again, and a medium asked again, this much later.
constexpr Seconds retryAfter{5};
constexpr Seconds askMediumAgainAfter{10};

// Where rekordbox puts its export; media formatted HFS+ keep it in a hidden folder.
constexpr std::string_view exportPath = "PIONEER/rekordbox/export.pdb";
constexpr std::string_view hiddenExportPath = ".PIONEER/rekordbox/export.pdb";

// Whether listening failed because the system does not allow it, as a sandbox or a security
// module may: the ports are then not the player's fault.
bool isRefusal(const std::exception_ptr& failure) {
    try {
        if (failure) {
            std::rethrow_exception(failure);
        }
    } catch (const std::system_error& error) {
        return error.code() == std::errc::permission_denied ||
               error.code() == std::errc::operation_not_permitted;
    } catch (...) {
    }
    return false;
}

} // namespace

// Everything of the reader, on the bridge thread: the presence's task feeds the decks, and
// each medium has at most one read or check of its export under way.
class ProDJLinkReader::Shared : public std::enable_shared_from_this<Shared> {
public:
    Shared(std::shared_ptr<ProDJLinkNetwork> network, std::shared_ptr<MediaFiles> media, Clock now,
           Wait wait, ProDJLinkPresence::Options options)
        : network(std::move(network)), files(std::move(media)), now(std::move(now)),
          wait(std::move(wait)), options(std::move(options)) {}

    VDJSnapshot read(const asio::any_io_executor& executor) {
        this->executor = executor;
        const Instant time = now();
        if (!presence && !stopped &&
            (!presenceEnded || waitIsOver(*presenceEnded, retryAfter, time))) {
            takePart();
        }
        if (!decks.anyPlayer(time)) {
            throw refused ? SourceError::notAllowed : SourceError::notAnswering;
        }
        keepExports(time);
        return decks.snapshot(time, [this](Medium medium, std::uint32_t id, std::uint64_t load) {
            return lookup(medium, id, load);
        });
    }

    void stop() {
        stopped = true;
        if (presence) {
            presence->cancel();
        }
        for (auto& [medium, known] : exports) {
            if (known.work) {
                known.work->cancel();
            }
        }
    }

private:
    // What is known of one medium's export.
    struct Export {
        std::shared_ptr<const ProDJLink::RekordboxExport> tracks; // none: unreadable or absent
        bool read = false;               // whether reading it has ended once
        std::optional<MediaStamp> stamp; // of the file read
        std::string path;                // where it was found
        std::uint64_t checkedLoads = 0;  // the loads from it when last read or checked
        std::optional<Instant> failedAt;
        std::optional<Task> work; // the read or check under way
    };

    void takePart() {
        auto self = shared_from_this();
        const auto taking = ProDJLinkPresence::create(network, now, wait, options);
        presence = Task::spawn(
            executor, taking->run([weak = weak_from_this()](const ProDJLinkNetwork::Heard& heard) {
                if (const auto shared = weak.lock()) {
                    shared->decks.note(heard, shared->now());
                }
            }),
            [self](std::exception_ptr failure) {
                self->presence.reset();
                self->presenceEnded = self->now();
                self->refused = isRefusal(failure);
            });
    }

    // Reads the export of each medium in use that has not been read, checks it again after
    // each new load from it (another medium in the slot may reuse the track ids), and forgets
    // the media of players gone.
    void keepExports(Instant time) {
        std::erase_if(exports, [&](const auto& entry) {
            return !entry.second.work && !decks.heard(entry.first.player, time);
        });
        for (const auto& [medium, loads] : decks.mediaInUse(time)) {
            auto& known = exports[medium];
            const auto address = decks.addressOf(medium.player);
            if (known.work || !address) {
                continue;
            }
            if (!known.read ||
                (!known.tracks && waitIsOver(*known.failedAt, askMediumAgainAfter, time))) {
                known.work = start(medium, readExport(shared_from_this(), medium, *address, loads));
            } else if (known.tracks && loads > known.checkedLoads) {
                known.work =
                    start(medium, checkExport(shared_from_this(), medium, *address, loads));
            }
        }
    }

    Task start(Medium medium, asio::awaitable<void> work) {
        return Task::spawn(
            executor, std::move(work), [self = shared_from_this(), medium](std::exception_ptr) {
                if (const auto known = self->exports.find(medium); known != self->exports.end()) {
                    known->second.work.reset();
                }
            });
    }

    // A track loaded after the medium was last read or checked waits for the check: another
    // medium may have taken the slot. Tracks loaded before keep their names meanwhile.
    Lookup lookup(Medium medium, std::uint32_t id, std::uint64_t load) const {
        const auto known = exports.find(medium);
        if (known == exports.end() || !known->second.read || load > known->second.checkedLoads) {
            return {};
        }
        const auto* track = known->second.tracks ? known->second.tracks->find(id) : nullptr;
        return track ? Lookup{Lookup::State::found, track} : Lookup{Lookup::State::unknown};
    }

    // The export at either of its places on the medium.
    static asio::awaitable<std::pair<MediaFile, std::string>>
    fetch(std::shared_ptr<MediaFiles> files, std::string address, MediaSlot slot) {
        constexpr auto limit = ProDJLink::RekordboxExport::maximumSize;
        std::optional<MediaFile> file;
        try {
            file = co_await files->read(address, slot, std::string(exportPath), limit);
        } catch (const NfsError& error) {
            if (error != NfsError::noSuchFile) {
                throw;
            }
        }
        if (file) {
            co_return std::pair{std::move(*file), std::string(exportPath)};
        }
        co_return std::pair{
            co_await files->read(address, slot, std::string(hiddenExportPath), limit),
            std::string(hiddenExportPath)};
    }

    static asio::awaitable<void> readExport(std::shared_ptr<Shared> self, Medium medium,
                                            std::string address, std::uint64_t loads) {
        std::shared_ptr<const ProDJLink::RekordboxExport> tracks;
        std::optional<std::pair<MediaFile, std::string>> found;
        try {
            found = co_await fetch(self->files, address, medium.slot);
            tracks = std::make_shared<const ProDJLink::RekordboxExport>(found->first.bytes);
        } catch (const NfsError&) {
            // No export to be had now: its tracks are unknown until asked again.
        } catch (const ProDJLink::RekordboxExportError&) {
            // An export that cannot be read names no track.
        }
        auto& known = self->exports[medium];
        known.read = true;
        known.tracks = tracks;
        known.checkedLoads = loads;
        known.stamp = found ? std::optional(found->first.stamp) : std::nullopt;
        known.path = found ? found->second : std::string();
        known.failedAt = tracks ? std::nullopt : std::optional(self->now());
    }

    // A new load: the same file names its track (or knows it not), another medium in the slot
    // is read anew.
    static asio::awaitable<void> checkExport(std::shared_ptr<Shared> self, Medium medium,
                                             std::string address, std::uint64_t loads) {
        const auto path = self->exports[medium].path;
        std::optional<MediaStamp> now;
        try {
            now = co_await self->files->stamp(address, medium.slot, path);
        } catch (const NfsError&) {
            // Gone or changed: read again below.
        }
        auto& known = self->exports[medium];
        if (now && now == known.stamp) {
            known.checkedLoads = loads;
            co_return;
        }
        co_await readExport(self, medium, std::move(address), loads);
    }

    const std::shared_ptr<ProDJLinkNetwork> network;
    const std::shared_ptr<MediaFiles> files;
    const Clock now;
    const Wait wait;
    const ProDJLinkPresence::Options options;

    asio::any_io_executor executor; // where the tasks run; set by the first read
    ProDJLinkDecks decks;
    std::map<Medium, Export> exports;
    std::optional<Task> presence;
    std::optional<Instant> presenceEnded;
    bool refused = false; // whether the system refused the last try to listen
    bool stopped = false;
};

ProDJLinkReader::ProDJLinkReader(std::shared_ptr<ProDJLinkNetwork> network,
                                 std::shared_ptr<MediaFiles> media, Clock now, Wait wait,
                                 ProDJLinkPresence::Options options)
    : shared(std::make_shared<Shared>(std::move(network), std::move(media), std::move(now),
                                      std::move(wait), std::move(options))) {}

ProDJLinkReader::~ProDJLinkReader() {
    shared->stop();
}

asio::awaitable<VDJSnapshot> ProDJLinkReader::read() {
    co_return shared->read(co_await asio::this_coro::executor);
}

} // namespace bridge
