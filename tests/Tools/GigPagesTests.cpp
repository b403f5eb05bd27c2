#include "GigServerStandIn.hpp"
#include "Support/TempFolder.hpp"
#include "Tools/TestHttpClient.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace bridge {
namespace {

namespace json = boost::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct Sent {
    std::string id;
    std::string title;
    std::string artist = "Artist";
    std::int64_t playedAt = 1'700'000'000'000;
    bool hidden = false;
};

// A gig with the bridge's side of the API at hand, and the pages' view of it.
class GigPagesTests : public ::testing::Test {
protected:
    GigServerStandIn server;
    std::string key = server.makeKey();
    Gig gig = server.startGig({.name = "Friday Milonga", .venue = "Club Sur", .slug = "friday"});

    TestAnswer call(std::string method, std::string target, std::string body = {}) {
        TestRequest request{.method = std::move(method), .target = std::move(target)};
        request.headers.emplace_back("Authorization", "Bearer " + key);
        if (!body.empty()) {
            request.headers.emplace_back("Content-Type", "application/json");
            request.body = std::move(body);
        }
        return sendTestRequest(server.port(), request);
    }

    std::string playsPath() const {
        return "/api/bridge/gigs/" + std::to_string(gig.id) + "/plays";
    }

    void send(const std::vector<Sent>& plays) {
        json::array list;
        for (const auto& play : plays) {
            json::object object{{"id", play.id},
                                {"playedAt", play.playedAt},
                                {"title", play.title},
                                {"artist", play.artist}};
            if (play.hidden) {
                object["hidden"] = true;
            }
            list.push_back(std::move(object));
        }
        ASSERT_EQ(call("POST", playsPath(), json::serialize(json::object{{"plays", list}})).status,
                  200u);
    }

    void setHidden(const std::string& id, bool hidden) {
        const auto body = std::string(R"({"hidden":)") + (hidden ? "true}" : "false}");
        ASSERT_EQ(call("PATCH", playsPath() + "/" + id, body).status, 200u);
    }

    TestAnswer get(const std::string& target) {
        return sendTestRequest(server.port(), TestRequest{.target = target});
    }

    json::object view(const std::string& slug = "friday") {
        const auto answer = get("/gigs/" + slug + "/songs.json");
        EXPECT_EQ(answer.status, 200u);
        EXPECT_EQ(answer.contentType, "application/json");
        return json::parse(answer.body).as_object();
    }

    std::vector<std::string> titles(const std::string& slug = "friday") {
        const auto songs = view(slug).at("songs");
        std::vector<std::string> shown;
        for (const auto& song : songs.as_array()) {
            shown.emplace_back(song.as_object().at("title").as_string());
        }
        return shown;
    }
};

TEST_F(GigPagesTests, theViewShowsTheGigAndItsSongsNewestFirst) {
    auto empty = view();
    EXPECT_EQ(empty, json::parse(R"({"name":"Friday Milonga","venue":"Club Sur","url":")" +
                                 gig.url + R"(","sharing":true,"ended":false,"songs":[]})"));

    send({{.id = "e1", .title = "First", .artist = "Ada", .playedAt = 1'700'000'000'000},
          {.id = "e2", .title = "Second", .artist = "Ben", .playedAt = 1'700'000'200'000}});
    send({{.id = "e3", .title = "Third", .artist = "Cy", .playedAt = 1'700'000'400'000}});
    EXPECT_EQ(view().at("songs"), json::parse(R"([
        {"title":"Third","artist":"Cy","playedAt":1700000400000},
        {"title":"Second","artist":"Ben","playedAt":1700000200000},
        {"title":"First","artist":"Ada","playedAt":1700000000000}])"));

    send({{.id = "e2", .title = "Second again"}});
    EXPECT_THAT(titles(), ElementsAre("Third", "Second", "First")) << "a play sent again";
    EXPECT_EQ(server.requests().size(), 3u) << "page requests are not the bridge's";
}

TEST_F(GigPagesTests, hiddenPlaysAreLeftOutAndRemovedOnesDisappear) {
    send({{.id = "e1", .title = "First"},
          {.id = "e2", .title = "Hidden at once", .hidden = true},
          {.id = "e3", .title = "Third"}});
    EXPECT_THAT(titles(), ElementsAre("Third", "First"));

    setHidden("e3", true);
    EXPECT_THAT(titles(), ElementsAre("First")) << "the latest song hidden";
    setHidden("e2", false);
    EXPECT_THAT(titles(), ElementsAre("Hidden at once", "First"));

    ASSERT_EQ(call("DELETE", playsPath() + "/e1").status, 200u);
    EXPECT_THAT(titles(), ElementsAre("Hidden at once"));
    setHidden("e3", false);
    EXPECT_THAT(titles(), ElementsAre("Third", "Hidden at once"));
}

TEST_F(GigPagesTests, aPausedBridgeAddsNothing) {
    send({{.id = "e1", .title = "First"}});
    server.setPaused(true);
    send({{.id = "e2", .title = "While paused"}});
    EXPECT_THAT(titles(), ElementsAre("First"));

    server.setPaused(false);
    send({{.id = "e2", .title = "While paused"}});
    EXPECT_THAT(titles(), ElementsAre("While paused", "First"));
}

TEST_F(GigPagesTests, aGigNotSharedShowsNoSongs) {
    send({{.id = "e1", .title = "First"}});
    server.setSharing(false);
    auto hidden = view();
    EXPECT_EQ(hidden.at("sharing"), false);
    EXPECT_TRUE(hidden.at("songs").as_array().empty());

    server.setSharing(true);
    EXPECT_THAT(titles(), ElementsAre("First"));
}

TEST_F(GigPagesTests, anEndedGigKeepsItsSongsAsEnded) {
    send({{.id = "e1", .title = "First"}, {.id = "e2", .title = "Last"}});
    ASSERT_EQ(call("POST", "/api/bridge/gigs/" + std::to_string(gig.id) + "/end", "{}").status,
              200u);
    auto ended = view();
    EXPECT_EQ(ended.at("ended"), true);
    EXPECT_EQ(ended.at("name"), "Friday Milonga");
    EXPECT_THAT(titles(), ElementsAre("Last", "First"));

    server.startGig({.name = "Saturday", .slug = "saturday"});
    EXPECT_EQ(view("saturday").at("ended"), false);
    EXPECT_TRUE(view("saturday").at("songs").as_array().empty());
    EXPECT_EQ(view().at("ended"), true) << "an ended gig's page stays";

    // The same slug again: its page follows the live gig.
    server.startGig({.name = "Friday again", .slug = "friday"});
    EXPECT_EQ(view().at("name"), "Friday again");
    EXPECT_EQ(view().at("ended"), false);
    EXPECT_EQ(view("saturday").at("ended"), true) << "starting a gig ends the live one";
    server.endGig();
    EXPECT_EQ(view().at("name"), "Friday again");
    EXPECT_EQ(view().at("ended"), true);
}

TEST_F(GigPagesTests, textsReachTheViewExactlyAsSent) {
    const std::string title = R"(<script>alert("x")</script> & ’ · …)";
    const std::string artist = "<img src=x onerror=alert(1)>";
    send({{.id = "e1", .title = title, .artist = artist}});
    const auto shown = view();
    const auto& song = shown.at("songs").as_array().at(0).as_object();
    EXPECT_EQ(song.at("title"), json::value(title));
    EXPECT_EQ(song.at("artist"), json::value(artist));
}

TEST_F(GigPagesTests, theGigsLinksAreItsPages) {
    EXPECT_EQ(gig.url, server.url() + "/gigs/friday");
    for (const auto& link : {gig.url, gig.screen()}) {
        ASSERT_THAT(link, StartsWith(server.url()));
        const auto page = get(link.substr(server.url().size()));
        EXPECT_EQ(page.status, 200u) << link;
        EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
        // Everything it needs comes from the stand-in itself.
        EXPECT_THAT(page.body, HasSubstr(R"(<script src="/pages/gig.js")"));
        EXPECT_THAT(page.body, HasSubstr(R"(<link rel="stylesheet" href="/pages/gig.css">)"));
        EXPECT_THAT(page.body, HasSubstr("default-src 'self'"));
        EXPECT_THAT(page.body, Not(HasSubstr("://")));
    }
    EXPECT_THAT(get(gig.screen().substr(server.url().size())).body, HasSubstr(R"(src="qr.svg")"));

    const auto script = get("/pages/gig.js");
    EXPECT_EQ(script.status, 200u);
    EXPECT_EQ(script.contentType, "text/javascript; charset=utf-8");
    EXPECT_THAT(script.body, HasSubstr("songs.json"));
    const auto styles = get("/pages/gig.css");
    EXPECT_EQ(styles.status, 200u);
    EXPECT_EQ(styles.contentType, "text/css; charset=utf-8");
}

TEST_F(GigPagesTests, otherPagesAreNotFound) {
    for (const auto& target :
         {"/gigs/unknown", "/gigs/unknown/songs.json", "/gigs/friday/", "/gigs/friday/nothing",
          "/gigs/friday/screen/qr.svg", "/pages/other.css", "/pages", "/gigs/"}) {
        const auto answer = get(target);
        EXPECT_EQ(answer.status, 404u) << target;
        EXPECT_THAT(answer.contentType, StartsWith("text/plain")) << target;
    }
    EXPECT_EQ(sendTestRequest(server.port(), {.method = "POST", .target = "/gigs/friday"}).status,
              405u);
}

// What a command wrote on its standard output, and whether it ended well.
struct CommandResult {
    bool succeeded = false;
    std::string output;
};

CommandResult run(const std::string& command) {
    CommandResult result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        return result;
    }
    char chunk[4096];
    for (std::size_t size; (size = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) {
        result.output.append(chunk, size);
    }
    result.succeeded = ::pclose(pipe.release()) == 0;
    return result;
}

bool installed(const std::string& program) {
    return run("command -v " + program + " >/dev/null 2>&1").succeeded;
}

TEST_F(GigPagesTests, theScreensQrCodeLeadsToTheDancersPage) {
    ASSERT_TRUE(installed("rsvg-convert") && installed("zbarimg"))
        << "scripts/setup installs librsvg2-bin and zbar-tools";
    const auto qr = get("/gigs/friday/qr.svg");
    ASSERT_EQ(qr.status, 200u);
    EXPECT_EQ(qr.contentType, "image/svg+xml");

    testing::TempFolder folder;
    std::ofstream(folder / "qr.svg") << qr.body;
    const auto png = (folder / "qr.png").string();
    // Small, as a phone's camera sees it across the room: 3 pixels a module.
    ASSERT_TRUE(
        run("rsvg-convert --zoom=3 -o " + png + " " + (folder / "qr.svg").string()).succeeded);
    const auto decoded = run("zbarimg -q --raw " + png);
    ASSERT_TRUE(decoded.succeeded) << "no QR code found";
    EXPECT_EQ(decoded.output, gig.url + "\n");
}

// The pages as a browser builds them, after their script has shown the songs.
class GigPagesInBrowserTests : public GigPagesTests {
protected:
    void SetUp() override {
        if (!installed("chromium")) {
            GTEST_SKIP() << "chromium is not installed: the pages are not tried in a browser "
                            "(apt-get install chromium)";
        }
    }

    std::string dom(const std::string& url) {
        testing::TempFolder profile;
        return run("chromium --headless --no-sandbox --disable-gpu --disable-background-networking"
                   " --disable-component-update --disable-sync --no-first-run --user-data-dir=" +
                   profile.path().string() + " --virtual-time-budget=2500 --dump-dom '" + url +
                   "' 2>/dev/null")
            .output;
    }
};

TEST_F(GigPagesInBrowserTests, markupInTextsShowsAsText) {
    send({{.id = "e1", .title = "Plain song", .artist = "Ada"},
          {.id = "e2",
           .title = "<script>document.title='taken'</script>",
           .artist = "<img src=x onerror=alert(1)>"}});

    const auto dancers = dom(gig.url);
    EXPECT_THAT(dancers, HasSubstr(R"(<h1 id="gig-name">Friday Milonga</h1>)"));
    EXPECT_THAT(dancers, HasSubstr(R"(<p id="now-title" class="title">)"
                                   "&lt;script&gt;document.title='taken'&lt;/script&gt;</p>"));
    EXPECT_THAT(dancers, HasSubstr(R"(<p id="now-artist" class="artist">)"
                                   "&lt;img src=x onerror=alert(1)&gt;</p>"));
    EXPECT_THAT(dancers, HasSubstr(R"(<span class="title">Plain song</span>)"));
    EXPECT_THAT(dancers, HasSubstr("<title>Friday Milonga · Setmara</title>"));
    EXPECT_THAT(dancers, Not(HasSubstr("<img src")));

    const auto screen = dom(gig.screen());
    EXPECT_THAT(screen, HasSubstr(R"(<p id="now-title" class="title">)"
                                  "&lt;script&gt;document.title='taken'&lt;/script&gt;</p>"));
    EXPECT_THAT(screen, HasSubstr(R"(<span class="title">Plain song</span>)"));
    EXPECT_THAT(screen, HasSubstr(gig.url.substr(std::string("http://").size())));
}

TEST_F(GigPagesInBrowserTests, anEndedGigShowsItsSetlist) {
    send({{.id = "e1", .title = "Opening"}, {.id = "e2", .title = "Closing"}});
    server.endGig();
    const auto dancers = dom(gig.url);
    EXPECT_THAT(dancers, HasSubstr(R"(<p id="gig-ended" class="ended">Ended</p>)"));
    EXPECT_THAT(dancers, HasSubstr(R"(<h2 id="list-heading">Setlist</h2>)"));
    EXPECT_THAT(dancers, HasSubstr(R"(<section id="now" class="now" hidden="">)"));
    const auto opening = dancers.find(">Opening<");
    ASSERT_NE(opening, std::string::npos);
    EXPECT_LT(opening, dancers.find(">Closing<")) << "the setlist goes in the order played";
}

} // namespace
} // namespace bridge
