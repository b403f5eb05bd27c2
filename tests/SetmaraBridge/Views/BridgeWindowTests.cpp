#include "Server/PairingRules.hpp"
#include "Server/ServerError.hpp"
#include "SetmaraBridge/Views/ViewsTesting.hpp"
#include "Views/BridgeWindow.hpp"
#include "Views/Look.hpp"
#include "Views/PairCodeField.hpp"
#include "Views/QRView.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

namespace bridge {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;
using testing::settleAll;
using testing::ViewRig;

// A widget of the window by its object name; fails the test when there is not exactly one.
template <class Widget = QWidget>
Widget* find(const QWidget& in, const char* name) {
    const auto all = in.findChildren<Widget*>(QLatin1String(name));
    EXPECT_EQ(all.size(), 1) << name;
    return all.empty() ? nullptr : all.front();
}

QString labelText(const QWidget& in, const char* name) {
    const auto* label = find<QLabel>(in, name);
    return label != nullptr ? label->text() : QString();
}

// The texts of the visible labels named `name`, top to bottom.
QStringList visibleTexts(const QWidget& in, const char* name) {
    QStringList texts;
    for (const auto* label : in.findChildren<QLabel*>(QLatin1String(name))) {
        if (label->isVisibleTo(&in)) {
            texts.append(label->text());
        }
    }
    return texts;
}

bool shown(const QWidget& in, const char* name) {
    const auto* widget = find(in, name);
    return widget != nullptr && widget->isVisibleTo(&in);
}

class BridgeWindowTest : public ::testing::Test {
protected:
    ViewRig rig;
    BridgeModel& model = *rig.model;
    std::unique_ptr<BridgeWindow> window;

    BridgeWindow& open() {
        window = std::make_unique<BridgeWindow>(model);
        window->show();
        settleAll();
        return *window;
    }

    void click(const char* name) {
        auto* button = find<QAbstractButton>(*window, name);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled()) << name;
        // Near the left end: a check box takes clicks on its box and text only.
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
        settleAll();
    }
};

TEST_F(BridgeWindowTest, SetupStepsAloneUntilPairedAndSetUp) {
    open();
    EXPECT_TRUE(shown(*window, "setupSteps"));
    EXPECT_EQ(labelText(*window, "pairStepTitle"), "Pair with Setmara");
    EXPECT_TRUE(shown(*window, "pairCodeField"));
    for (const char* section : {"gigSection", "decksSection", "sentSection"}) {
        EXPECT_FALSE(shown(*window, section)) << section;
    }

    // Paired, but VirtualDJ has no password yet: still the steps, step 1 done.
    model.update([](BridgeSettings& settings) { settings.key = "bridge-key"; });
    settleAll();
    EXPECT_TRUE(shown(*window, "setupSteps"));
    EXPECT_EQ(labelText(*window, "pairStepTitle"), "Paired as this computer");
    EXPECT_FALSE(shown(*window, "pairCodeField"));
    for (const char* section : {"gigSection", "decksSection", "sentSection"}) {
        EXPECT_FALSE(shown(*window, section)) << section;
    }

    rig.complete(Source::virtualDJ, "Ana · Friday Milonga");
    EXPECT_FALSE(shown(*window, "setupSteps"));
    for (const char* section : {"gigSection", "decksSection", "sentSection"}) {
        EXPECT_TRUE(shown(*window, section)) << section;
    }
}

TEST_F(BridgeWindowTest, SetupStepButtonsOpenSetmaraAndTheSourceTab) {
    open();
    QSignalSpy wanted(window.get(), &BridgeWindow::settingsWanted);
    click("setupOpenSettings");
    ASSERT_EQ(wanted.size(), 1);
    EXPECT_EQ(wanted[0][0].value<SettingsTab>(), SettingsTab::source);
    EXPECT_FALSE(wanted[0][1].toBool());
    EXPECT_EQ(model.settingsTab(), SettingsTab::source);

    click("setupOpenSetmara");
    ASSERT_EQ(rig.opened.size(), 1U);
    EXPECT_EQ(rig.opened[0].host(), "setmara.app");
}

TEST_F(BridgeWindowTest, DeckStatesByTheSourcesWords) {
    struct Expected {
        Source source;
        const char* heading;
        const char* offAir;
        bool numbered;
    };
    open();
    for (const Expected& expected :
         {Expected{Source::virtualDJ, "Decks", "Cued, private", true},
          Expected{Source::denon, "Decks", "Cued, private", true},
          Expected{Source::spotify, "Playing in Spotify", "Paused", false},
          Expected{Source::djay, "Playing in djay", "Ended", false},
          Expected{Source::mixxx, "Playing in Mixxx", "Ended", false},
          Expected{Source::whatsNowPlaying, "Playing in What’s Now Playing", "Ended", false}}) {
        SCOPED_TRACE(std::string(expected.source.name()));
        rig.complete(expected.source);
        model.show(testing::liveGig());
        settleAll();
        EXPECT_EQ(find<SectionHeader>(*window, "decksHeading")->title(), expected.heading);
        EXPECT_THAT(visibleTexts(*window, "deckState"), ElementsAre("On air", expected.offAir));
        EXPECT_THAT(visibleTexts(*window, "deckTitle"), ElementsAre("La cumparsita", "Poema"));
        EXPECT_THAT(visibleTexts(*window, "deckDetails"),
                    ElementsAre("Juan D’Arienzo · 122 BPM · Am", "Francisco Canaro"));
        EXPECT_EQ(visibleTexts(*window, "deckNumber"),
                  (expected.numbered ? QStringList{"1", "2"} : QStringList{}));
        EXPECT_FALSE(shown(*window, "noDecks"));
    }
    const auto states = window->findChildren<HueLabel*>(QStringLiteral("deckState"));
    ASSERT_EQ(states.size(), 2);
    EXPECT_EQ(states[0]->hue(), Look::Hue::accent);
}

TEST_F(BridgeWindowTest, SourceLineWithItsToneAndTheLinuxWords) {
    rig.complete(Source::denon);
    open();
    BridgeStatus status;
    status.source = SourceState::notAnswering;
    model.show(status);
    settleAll();
    const auto* line = find<StatusDot>(*window, "sourceStatus");
    EXPECT_EQ(line->text(), "No Denon player found (on the same network? A firewall must let "
                            "UDP port 51337 through)");
    EXPECT_EQ(line->hue(), Look::Hue::warn);
    EXPECT_EQ(labelText(*window, "noDecks"),
              "The players’ decks show here once the bridge finds them on the network.");
    EXPECT_TRUE(shown(*window, "noDecks"));
    EXPECT_EQ(labelText(*window, "shareNote"),
              "A song is shared after 10 seconds on air. Pre-listening is never shared.");

    status.source = SourceState::connected;
    model.show(status);
    settleAll();
    EXPECT_EQ(line->text(), "Denon DJ connected");
    EXPECT_EQ(line->hue(), Look::Hue::ok);
    EXPECT_EQ(labelText(*window, "noDecks"), "No songs loaded on the players.");
}

TEST_F(BridgeWindowTest, SentLatelyLabelsAndNothingYet) {
    rig.complete();
    open();
    EXPECT_TRUE(shown(*window, "nothingYet"));
    EXPECT_EQ(labelText(*window, "nothingYet"), "Nothing yet.");
    EXPECT_FALSE(find<QPushButton>(*window, "hideCurrent")->isEnabled());

    model.show(testing::liveGig());
    settleAll();
    EXPECT_FALSE(shown(*window, "nothingYet"));
    EXPECT_THAT(visibleTexts(*window, "sentState"),
                ElementsAre("Queued", "Sent", "Hidden", "Refused", "Not taken"));
    EXPECT_THAT(visibleTexts(*window, "sentTitle"),
                ElementsAre("Poema", "La yumba", "Gallo ciego", "Quejas de bandoneón", "El flete"));
    std::vector<Look::Hue> hues;
    for (const auto* state : window->findChildren<HueLabel*>(QStringLiteral("sentState"))) {
        hues.push_back(state->hue());
    }
    EXPECT_THAT(hues, ElementsAre(Look::Hue::warn, Look::Hue::ok, Look::Hue::secondary,
                                  Look::Hue::warn, Look::Hue::secondary));

    // Fewer plays later: the rows follow.
    BridgeStatus fewer = testing::liveGig();
    fewer.recent.resize(1);
    model.show(fewer);
    settleAll();
    EXPECT_THAT(visibleTexts(*window, "sentTitle"), ElementsAre("Poema"));
}

TEST_F(BridgeWindowTest, HideAndTakeBackReachTheLoopWithTheirHelp) {
    rig.complete();
    open();
    model.show(testing::liveGig());
    settleAll();
    EXPECT_EQ(find<QPushButton>(*window, "hideCurrent")->toolTip(),
              "Hide the latest song from dancers; it stays in your gig");
    EXPECT_EQ(find<QPushButton>(*window, "undoLast")->toolTip(),
              "Take the latest song back: it leaves the gig, also for dancers");
    rig.loop->requests.clear();
    click("hideCurrent");
    click("undoLast");
    EXPECT_THAT(rig.loop->requests, ElementsAre("hide", "undo"));
}

TEST_F(BridgeWindowTest, EndingTheGigAsksFirstAndCancelChangesNothing) {
    rig.complete();
    open();
    model.show(testing::liveGig());
    settleAll();
    rig.loop->requests.clear();
    EXPECT_FALSE(shown(*window, "endConfirmation"));

    click("endGig");
    EXPECT_TRUE(window->confirmingEnd());
    EXPECT_TRUE(shown(*window, "endConfirmation"));
    EXPECT_EQ(labelText(*window, "endQuestion"), "End the gig?");
    EXPECT_EQ(labelText(*window, "endMessage"),
              "Its page becomes the setlist, and songs played after this aren’t sent. You can go "
              "live again on the Gigs page.");
    EXPECT_EQ(find<QPushButton>(*window, "confirmEnd")->text(), "End Gig");

    click("cancelEnd");
    EXPECT_FALSE(window->confirmingEnd());
    EXPECT_FALSE(shown(*window, "endConfirmation"));
    EXPECT_TRUE(shown(*window, "endGig"));
    EXPECT_TRUE(rig.loop->requests.empty());

    click("endGig");
    click("confirmEnd");
    EXPECT_FALSE(window->confirmingEnd());
    EXPECT_THAT(rig.loop->requests, ElementsAre("end gig"));
}

TEST_F(BridgeWindowTest, GigTitleLiveBadgeAndLine) {
    rig.complete();
    open();
    EXPECT_EQ(labelText(*window, "gigTitle"), "No live gig");
    EXPECT_FALSE(shown(*window, "liveBadge"));
    EXPECT_EQ(labelText(*window, "gigLine"), "Connecting…");

    model.show(testing::liveGig());
    settleAll();
    EXPECT_EQ(labelText(*window, "gigTitle"), "Friday Milonga · Salón Canning");
    EXPECT_TRUE(shown(*window, "liveBadge"));
    EXPECT_EQ(labelText(*window, "gigLine"), "Live · sharing with dancers");
}

TEST_F(BridgeWindowTest, SharingNeedsAGigAndGoesThroughTheModel) {
    rig.complete();
    open();
    auto* sharing = find<QCheckBox>(*window, "sharing");
    EXPECT_EQ(sharing->text(), "Sharing");
    EXPECT_EQ(sharing->toolTip(),
              "Off: sharing paused; songs still go to your gig, hidden from dancers");
    EXPECT_FALSE(sharing->isEnabled());
    EXPECT_TRUE(sharing->isChecked());

    model.show(testing::liveGig());
    settleAll();
    ASSERT_TRUE(sharing->isEnabled());
    rig.loop->requests.clear();
    click("sharing");
    EXPECT_FALSE(sharing->isChecked());
    EXPECT_FALSE(model.settings().sharing);
    EXPECT_THAT(rig.loop->requests, ElementsAre("sharing off"));
    EXPECT_EQ(labelText(*window, "gigLine"), "Live · paused: songs are hidden from dancers");
}

TEST_F(BridgeWindowTest, GigButtonsHaveTheirHelpAndOpenTheGigsPages) {
    rig.complete();
    open();
    model.show(testing::liveGig());
    settleAll();
    EXPECT_EQ(find<QPushButton>(*window, "dancersPage")->text(), "Dancers’ Page");
    EXPECT_EQ(find<QPushButton>(*window, "dancersPage")->toolTip(), "Open the dancers’ page");
    EXPECT_EQ(find<QPushButton>(*window, "venueScreen")->text(), "Venue Screen");
    EXPECT_EQ(find<QPushButton>(*window, "venueScreen")->toolTip(),
              "Open the venue screen: the QR code, the song playing now and the last five");
    EXPECT_EQ(find<QPushButton>(*window, "endGig")->text(), "End Gig…");
    EXPECT_EQ(find<QPushButton>(*window, "endGig")->toolTip(),
              "The dancers’ page becomes the setlist; songs aren’t sent until you go live again");
    click("dancersPage");
    click("venueScreen");
    ASSERT_EQ(rig.opened.size(), 2U);
    EXPECT_EQ(rig.opened[0].toString(), "https://setmara.app/g/friday-milonga");
    EXPECT_EQ(rig.opened[1].toString(), "https://setmara.app/g/friday-milonga/screen");
}

TEST_F(BridgeWindowTest, HeaderMenuItemsInOrder) {
    open();
    const auto* more = find<QAbstractButton>(*window, "menuButton");
    EXPECT_EQ(more->accessibleName(), "Settings, Setmara, Help, Quit");
    QStringList enabled;
    QStringList disabled;
    for (const QAction* action : window->menu()->actions()) {
        if (!action->isSeparator()) {
            (action->isEnabled() ? enabled : disabled).append(action->text());
        }
    }
    EXPECT_EQ(enabled, (QStringList{"Settings…", "Open Setmara", "Pair with a Code…", "Help",
                                    "Quit Setmara Bridge"}));
    EXPECT_EQ(disabled, QStringList{QStringLiteral("Setmara Bridge " BRIDGE_VERSION)});
}

// What a screen reader finds from the window: the menu button, and under it the menu's items
// (Qt leaves a popup menu itself out of the tree), which it can press.
TEST_F(BridgeWindowTest, HeaderMenuItemsAreFoundThroughTheirButton) {
    open();
    QAccessibleInterface* button =
        QAccessible::queryAccessibleInterface(find<QAbstractButton>(*window, "menuButton"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::ButtonMenu);
    EXPECT_EQ(button->text(QAccessible::Name), "Settings, Setmara, Help, Quit");
    EXPECT_TRUE(button->state().hasPopup);
    const auto items = [&] {
        QStringList names;
        QAccessibleInterface* menu = button->child(0);
        for (int i = 0; menu != nullptr && i < menu->childCount(); ++i) {
            if (menu->child(i)->role() == QAccessible::MenuItem) {
                names.append(menu->child(i)->text(QAccessible::Name));
            }
        }
        return names;
    };
    const QStringList expected{"Settings…",
                               "Open Setmara",
                               "Pair with a Code…",
                               "Help",
                               QStringLiteral("Setmara Bridge " BRIDGE_VERSION),
                               "Quit Setmara Bridge"};
    EXPECT_EQ(items(), expected) << "while closed";
    ASSERT_EQ(button->childCount(), 1);
    EXPECT_EQ(button->indexOfChild(button->child(0)), 0);

    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    settleAll();
    EXPECT_TRUE(window->menu()->isVisible());
    EXPECT_TRUE(button->state().expanded);
    EXPECT_EQ(items(), expected) << "while open";
    window->menu()->hide();
}

TEST_F(BridgeWindowTest, HeaderMenuAsksTheApplicationForSettingsAndQuitting) {
    open();
    QSignalSpy wanted(window.get(), &BridgeWindow::settingsWanted);
    QSignalSpy quit(window.get(), &BridgeWindow::quitWanted);
    const auto trigger = [&](const char* name) {
        window->menu()->findChild<QAction*>(QLatin1String(name))->trigger();
        settleAll();
    };
    trigger("menuPair");
    EXPECT_EQ(model.settingsTab(), SettingsTab::general);
    EXPECT_TRUE(model.askingForCode());
    model.setSettingsTab(SettingsTab::advanced);
    trigger("menuSettings");
    EXPECT_FALSE(model.askingForCode());
    ASSERT_EQ(wanted.size(), 2);
    EXPECT_EQ(wanted[0][0].value<SettingsTab>(), SettingsTab::general);
    EXPECT_TRUE(wanted[0][1].toBool());
    EXPECT_EQ(wanted[1][0].value<SettingsTab>(), SettingsTab::advanced);
    EXPECT_FALSE(wanted[1][1].toBool());

    trigger("menuHelp");
    trigger("menuOpenSetmara");
    ASSERT_EQ(rig.opened.size(), 2U);
    EXPECT_NE(rig.opened[0], rig.opened[1]);
    EXPECT_TRUE(quit.empty());
    trigger("menuQuit");
    EXPECT_EQ(quit.size(), 1);
}

// zbarimg's reading of the picture.
QString decoded(const QImage& picture) {
    const testing::TempFolder folder;
    const QString file = QString::fromStdString((folder / "qr.png").string());
    EXPECT_TRUE(picture.save(file));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), file});
    EXPECT_TRUE(zbar.waitForFinished(20000));
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

TEST_F(BridgeWindowTest, QRToggleShowsTheDancersPageToScan) {
    rig.complete();
    open();
    model.show(testing::liveGig());
    settleAll();
    const auto* button = find<QAbstractButton>(*window, "qrButton");
    EXPECT_EQ(button->accessibleName(), "QR code");
    EXPECT_EQ(button->toolTip(), "QR code of the dancers’ page, to scan");
    EXPECT_FALSE(shown(*window, "qrView"));

    click("qrButton");
    EXPECT_TRUE(window->showingQR());
    auto* qr = find<QRView>(*window, "qrView");
    ASSERT_TRUE(qr->isVisibleTo(window.get()));
    EXPECT_FALSE(button->isVisibleTo(window.get()));
    EXPECT_EQ(decoded(qr->grab().toImage()), "https://setmara.app/g/friday-milonga");

    QTest::mouseClick(qr, Qt::LeftButton);
    settleAll();
    EXPECT_FALSE(window->showingQR());
    EXPECT_FALSE(qr->isVisibleTo(window.get()));
    EXPECT_TRUE(button->isVisibleTo(window.get()));
}

TEST(QRViewTest, EncodesTheURLsASCIIFormInWholeModules) {
    testing::useApplication();
    QRView view;
    const QUrl url(QStringLiteral("https://setmara.app/g/café-noche?d=1"));
    view.setUrl(url);
    const QImage modules = QRView::modules(url);
    ASSERT_FALSE(modules.isNull());
    view.resize(view.sizeHint());
    EXPECT_EQ(view.width(), modules.width() * QRView::preferredScale);
    EXPECT_EQ(decoded(view.grab().toImage()), "https://setmara.app/g/caf%C3%A9-noche?d=1");

    // Every module is a solid square of whole pixels: no smoothing at its edges.
    const QImage drawn = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb expected =
                modules.pixel(x / QRView::preferredScale, y / QRView::preferredScale);
            ASSERT_EQ(drawn.pixel(x, y), expected) << x << "," << y;
        }
    }

    view.setUrl({});
    EXPECT_TRUE(QRView::modules({}).isNull());
    EXPECT_EQ(view.sizeHint(), QSize(0, 0));
}

class PairCodeFieldTest : public BridgeWindowTest {
protected:
    PairCodeField& field() { return *find<PairCodeField>(*window, "pairCodeField"); }
    QLineEdit& code() { return *find<QLineEdit>(*window, "pairCode"); }

    void typeAndPair(const QString& typed) {
        QTest::keyClicks(&code(), typed);
        click("pairButton");
    }

    void answer(std::optional<Paired> paired, std::exception_ptr error) {
        ASSERT_TRUE(rig.loop->pairAnswer);
        auto answerPair = std::exchange(rig.loop->pairAnswer, nullptr);
        answerPair(std::move(paired), error);
        settleAll();
    }
};

TEST_F(PairCodeFieldTest, TypingIsTidiedButNeverChangedIntoAnotherCode) {
    open();
    EXPECT_EQ(code().placeholderText(), "K7QX 4MPA");
    EXPECT_EQ(labelText(*window, "pairCodeLabel"), "Pairing code");
    const auto* pair = find<QPushButton>(*window, "pairButton");
    EXPECT_EQ(pair->text(), "Pair");
    QTest::keyClicks(&code(), QStringLiteral("k7q"));
    EXPECT_EQ(code().text(), "K7Q");
    EXPECT_FALSE(pair->isEnabled());
    // Characters outside the alphabet, and one too many, stay in sight and keep Pair off.
    QTest::keyClicks(&code(), QStringLiteral("x-4!mpao1z"));
    EXPECT_EQ(code().text(), "K7QX-4!MPAO1Z");
    EXPECT_FALSE(pair->isEnabled());
    const std::pair<QString, QString> typings[] = {
        {"k7qx 4mpa", "K7QX 4MPA"},    {"k7qx4mpa9", "K7QX4MPA9"}, {"k7qx 4mpo", "K7QX 4MPO"},
        {"  k7qx--4mpa", "K7QX-4MPA"}, {"k7q  x4m", "K7Q X4M"},    {"k0qx4mpa", "K0QX4MPA"}};
    for (const auto& [typed, shown] : typings) {
        code().clear();
        QTest::keyClicks(&code(), typed);
        EXPECT_EQ(code().text(), shown) << typed.toStdString();
        EXPECT_EQ(pair->isEnabled(), Pairing::code(typed.toStdString()).has_value())
            << typed.toStdString();
    }
    EXPECT_EQ(PairCodeField::tidied(QStringLiteral("ab cd")), "AB CD");
    EXPECT_EQ(PairCodeField::tidied(QStringLiteral("\tk7q\t- x4m")), "K7Q X4M");
}

TEST_F(PairCodeFieldTest, RefusalShownUnderTheFieldAndClearedBySuccess) {
    open();
    typeAndPair(QStringLiteral("k7qx 4mpa"));
    EXPECT_THAT(rig.loop->pairings, ElementsAre(Pair("K7QX4MPA", "https://setmara.app")));
    EXPECT_TRUE(field().isPairing());
    EXPECT_FALSE(code().isEnabled());
    EXPECT_FALSE(find<QPushButton>(*window, "pairButton")->isEnabled());

    answer(std::nullopt,
           std::make_exception_ptr(ServerError::refused("This code has been used already.")));
    EXPECT_FALSE(field().isPairing());
    EXPECT_TRUE(code().isEnabled());
    EXPECT_EQ(field().message(), "This code has been used already.");
    EXPECT_TRUE(shown(*window, "pairFailure"));
    EXPECT_EQ(code().text(), "K7QX 4MPA");

    click("pairButton");
    answer(std::nullopt, std::make_exception_ptr(ServerError::unavailable));
    EXPECT_EQ(field().message(), "Setmara didn’t answer. Check the connection and try again.");

    click("pairButton");
    answer(Paired{.key = "new-key", .name = "Ana", .gig = std::nullopt}, nullptr);
    EXPECT_EQ(model.settings().key, "new-key");
    EXPECT_EQ(labelText(*window, "pairStepTitle"), "Paired as Ana");
    EXPECT_TRUE(field().message().isEmpty());
    EXPECT_TRUE(code().text().isEmpty());
}

TEST_F(PairCodeFieldTest, ReturnPairsToo) {
    open();
    QTest::keyClicks(&code(), QStringLiteral("k7qx4m"));
    QTest::keyClick(&code(), Qt::Key_Return);
    settleAll();
    EXPECT_THAT(rig.loop->pairings, ElementsAre(Pair("K7QX4M", "https://setmara.app")));
}

} // namespace
} // namespace bridge
