#include "DjayLibrary.hpp"
#include "Engine/PlayDetector.hpp"
#include "Readers/DjayDatabase.hpp"
#include "Readers/DjayReader.hpp"
#include "Readers/NowPlayingOnDisk.hpp"
#include "Support/TempFolder.hpp"
#include "Values/SourceError.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>

namespace bridge {
namespace {

const Instant started = instantFromReferenceSeconds(818'454'600.0);

class FakeHistory : public DjayHistory {
public:
    std::optional<DjayHistoryItem> latest() override {
        if (fails) {
            throw DjayHistoryError::failed("database is locked");
        }
        return item;
    }
    std::optional<DjayHistoryItem> item;
    bool fails = false;
};

class FakeFile : public NowPlayingFile {
public:
    std::optional<NowPlayingText> read() override {
        ++reads;
        if (error != 0) {
            throw std::system_error(error, std::generic_category());
        }
        return text;
    }
    std::optional<NowPlayingText> text;
    int error = 0;
    int reads = 0;
};

struct Fixture {
    std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
    std::shared_ptr<FakeFile> file = std::make_shared<FakeFile>();
    bool running = true;
    double secondsAfterStart = 30;

    VDJSnapshot read() {
        DjayReader reader(
            history, file, [this] { return running; },
            [this] { return started + Seconds{secondsAfterStart}; });
        return testing::readOnce(reader);
    }
    SourceError failure() {
        try {
            read();
        } catch (const SourceError& error) {
            return error;
        }
        throw std::logic_error("the read did not fail");
    }
    void writeFile(std::string text) {
        file->text = NowPlayingText{.text = std::move(text), .modified = started};
    }
};

DjayHistoryItem item(std::optional<double> duration = 200.0) {
    return DjayHistoryItem{.id = "u",
                           .title = "Mi Gente",
                           .artist = "J Balvin",
                           .duration = duration,
                           .deck = 2,
                           .started = started};
}

const VDJSnapshot emptyDeck = VDJSnapshot::oneDeck(std::nullopt, false);

TEST(DjayReaderTests, ACurrentHistoryItemIsOnAir) {
    Fixture f;
    f.history->item = item();
    f.writeFile("Title: Other");
    f.secondsAfterStart = 240;
    EXPECT_EQ(f.read(), VDJSnapshot::oneDeck(Song{.filePath = "djay:J Balvin – Mi Gente",
                                                  .title = "Mi Gente",
                                                  .artist = "J Balvin",
                                                  .lengthSeconds = 200.0},
                                             true));
    EXPECT_EQ(f.file->reads, 0);
}

TEST(DjayReaderTests, AnOldOrUnreadableHistoryFallsBackToTheFile) {
    Fixture f;
    f.history->item = item();
    f.writeFile("Title: From the file\nArtist: Someone\nTime: 4:05\n");
    f.secondsAfterStart = 261;
    const auto fromFile = VDJSnapshot::oneDeck(Song{.filePath = "djay:Someone – From the file",
                                                    .title = "From the file",
                                                    .artist = "Someone",
                                                    .lengthSeconds = 245.0},
                                               true);
    EXPECT_EQ(f.read(), fromFile); // the history item ended, the file's song has not
    f.history->item = item(std::nullopt);
    f.secondsAfterStart = 901;
    EXPECT_EQ(f.read().decks[0].song->title, "From the file");
    f.history->fails = true;
    f.secondsAfterStart = 30;
    EXPECT_EQ(f.read().decks[0].song->title, "From the file");
}

TEST(DjayReaderTests, TheFileIsOnAirForItsTimeAndAMinute) {
    Fixture f;
    f.writeFile("Title: T\nTime: 4:05");
    f.secondsAfterStart = 305;
    EXPECT_TRUE(f.read().decks[0].audible);
    f.secondsAfterStart = 306;
    EXPECT_FALSE(f.read().decks[0].audible);
    f.writeFile("Title: T\nTime: 245");
    f.secondsAfterStart = 900;
    EXPECT_TRUE(f.read().decks[0].audible);
    EXPECT_EQ(f.read().decks[0].song->lengthSeconds, std::nullopt);
    f.secondsAfterStart = 901;
    EXPECT_FALSE(f.read().decks[0].audible);
}

TEST(DjayReaderTests, NothingCurrentIsAnEmptyDeck) {
    Fixture f;
    EXPECT_EQ(f.read(), emptyDeck); // no file
    f.writeFile("Artist: A\nTitle:\n");
    EXPECT_EQ(f.read(), emptyDeck); // no title
}

TEST(DjayReaderTests, FailuresBecomeSourceErrors) {
    Fixture f;
    f.running = false;
    EXPECT_EQ(f.failure(), SourceError::notAnswering);
    f.running = true;
    for (const int refused : {EACCES, EPERM}) {
        f.file->error = refused;
        EXPECT_EQ(f.failure(), SourceError::notAllowed);
    }
    for (const int other : {EILSEQ, EIO, EFBIG}) {
        f.file->error = other;
        EXPECT_EQ(f.failure(), SourceError::notAnswering);
    }
}

TEST(DjayReaderTests, ParsesTheNowPlayingLines) {
    EXPECT_EQ(NowPlayingFields::parse("\uFEFFTitle: Vivir Mi Vida\r\nArtist:Marc Anthony\r\n"
                                      "Album: 3.0\r\nTime: 1:02:03\r\n"),
              (NowPlayingFields{
                  .title = "Vivir Mi Vida", .artist = "Marc Anthony", .lengthSeconds = 3723.0}));
    EXPECT_EQ(NowPlayingFields::parse("TITLE:X").title, "X");
    EXPECT_EQ(NowPlayingFields::parse("  title  :  X: the remix \u2028Title:  ").title,
              "X: the remix");
    EXPECT_EQ(NowPlayingFields::parse("Title: A\nTitle: B").title, "B");
    EXPECT_EQ(NowPlayingFields::parse("Title A\nno colon").title, std::nullopt);
    EXPECT_EQ(NowPlayingFields::parse("Ti\uFEFFtle: T\uFEFF").title, "T");
    for (const auto* time : {"245", "4:5x", "1:2:3:4", "-4:05", "", ":::"}) {
        EXPECT_EQ(NowPlayingFields::parse(std::string("Title: T\nTime: ") + time).lengthSeconds,
                  std::nullopt)
            << time;
    }
    EXPECT_EQ(NowPlayingFields::parse("Time: 3:45").lengthSeconds, 225.0);
    EXPECT_EQ(NowPlayingFields::parse("Time: :3::45:").lengthSeconds, 225.0);
}

TEST(DjayReaderTests, DjaysNotAvailableMarkIsNoValue) {
    EXPECT_EQ(NowPlayingFields::parse("Title: N/A\nArtist: N/A\nTime: N/A"), NowPlayingFields{});
    EXPECT_EQ(NowPlayingFields::parse("Title: T\nTitle: N/A\nArtist:  N/A ").title, "T");
    EXPECT_EQ(NowPlayingFields::parse("Title: N/A remix").title, "N/A remix");
    Fixture f;
    f.writeFile("Title: Mi Gente\nArtist: N/A\n");
    EXPECT_EQ(f.read().decks[0].song, (Song{.filePath = "djay:Mi Gente", .title = "Mi Gente"}));
}

TEST(DjayReaderTests, SongsFromTheDatabaseAndTheFileBecomePlays) {
    testing::TempFolder folder;
    const auto db = folder / "MediaLibrary.db";
    const auto text = folder / "NowPlaying.txt";
    testing::DjayLibrary library(db);
    library.addItem(testing::DjayItemBuilder::song("Mi Gente", "J Balvin", 818'454'600.0, 189.5f));
    std::ofstream(text, std::ios::binary) << "\xFF\xFE" << std::string("T\0:\0X\0", 6);

    double clock = 30;
    DjayReader reader(
        std::make_shared<DjayDatabase>(db), std::make_shared<NowPlayingOnDisk>(text),
        [] { return true; }, [&] { return started + Seconds{clock}; });
    PlayDetector detector(Seconds{10}, [] { return "play-1"; });
    std::vector<PlayEvent> events;
    for (; clock <= 41 && events.empty(); clock += 1) {
        events = detector.observe(testing::readOnce(reader), started + Seconds{clock});
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].playedAt, started + Seconds{30});
    EXPECT_EQ(events[0].title, "Mi Gente");
    EXPECT_EQ(events[0].artist, "J Balvin");
    EXPECT_EQ(events[0].durationMs, 189'500);
    EXPECT_EQ(events[0].bpm, std::nullopt);

    // Long after the history item, the text file tells; written in UTF-16 by older djays.
    std::ofstream(text, std::ios::binary)
        << "\xFE\xFF" << std::string("\0T\0i\0t\0l\0e\0:\0 \0B\0a\0i\0l\0a\0n\0d\0o", 30);
    const timespec written[2] = {{0, UTIME_OMIT}, {1'796'761'800 + 9'990, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, text.c_str(), written, 0), 0);
    clock = 10'000;
    const auto snapshot = testing::readOnce(reader);
    EXPECT_EQ(snapshot.decks[0].song->title, "Bailando");
    EXPECT_TRUE(snapshot.decks[0].audible); // the file was written ten seconds before
}

} // namespace
} // namespace bridge
