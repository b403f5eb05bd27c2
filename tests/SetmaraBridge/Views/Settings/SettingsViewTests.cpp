#include "Model/BridgeModel.hpp"
#include "SetmaraBridge/App/WidgetTesting.hpp"
#include "SetmaraBridge/Model/ModelTesting.hpp"
#include "Views/Look.hpp"
#include "Views/Settings/CommitField.hpp"
#include "Views/Settings/SettingsView.hpp"
#include "Views/Settings/SourcePane.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace bridge {
namespace {

using testing::ModelRig;

// Every text the settings window shows the DJ.
QStringList visibleTexts(const QWidget& root) {
    QStringList texts;
    for (const auto* label : root.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&root)) {
            texts << label->text() << label->toolTip();
        }
    }
    for (const auto* button : root.findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(&root)) {
            texts << button->text() << button->toolTip();
        }
    }
    for (const auto* field : root.findChildren<QLineEdit*>()) {
        if (field->isVisibleTo(&root)) {
            texts << field->placeholderText() << field->toolTip();
        }
    }
    for (const auto* picker : root.findChildren<QComboBox*>()) {
        for (int item = 0; item < picker->count(); ++item) {
            texts << picker->itemText(item);
        }
    }
    for (const auto* tabs : root.findChildren<QTabWidget*>()) {
        for (int tab = 0; tab < tabs->count(); ++tab) {
            texts << tabs->tabText(tab);
        }
    }
    texts.removeAll(QString());
    return texts;
}

// Leaving a field, as a click elsewhere does.
void leave(QWidget& field) {
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(&field, &out);
}

class SettingsViewTest : public ::testing::Test {
protected:
    SettingsViewTest() { testing::needWidgets(); }

    // The window over the rig's stored settings, made after they were stored.
    SettingsView& open() {
        model = std::make_unique<BridgeModel>(rig.services());
        view = std::make_unique<SettingsView>(
            *model, [this] { return startsAtLogin; },
            [this](bool on) {
                asked.push_back(on);
                startsAtLogin = on;
            });
        testing::settle();
        return *view;
    }

    template <typename T>
    T& part(const QString& name) {
        auto* found = view->findChild<T*>(name);
        if (found == nullptr) {
            throw std::runtime_error("no part named " + name.toStdString());
        }
        return *found;
    }

    // What reached the loop, once the requests on their way have arrived.
    std::size_t starts() {
        testing::settle();
        return rig.loop->starts.size();
    }
    const std::optional<EngineRecipe>& lastStart() {
        testing::settle();
        return rig.loop->starts.back();
    }

    ModelRig rig;
    std::unique_ptr<BridgeModel> model;
    std::unique_ptr<SettingsView> view;
    bool startsAtLogin = false;
    std::vector<bool> asked;
};

TEST_F(SettingsViewTest, PairedAsShowsTheNameThisComputerOrNotYet) {
    open();
    EXPECT_EQ(part<QLabel>("pairedAs").text(), "Not yet");
    EXPECT_EQ(part<QPushButton>("pairButton").text(), "Pair");
    model->update([](BridgeSettings& s) { s.key = "key-1"; });
    EXPECT_EQ(part<QLabel>("pairedAs").text(), "This computer");
    EXPECT_EQ(part<HueLabel>("pairedAs").hue(), Look::Hue::ok);
    EXPECT_EQ(part<QPushButton>("pairButton").text(), "Pair again with code");
    model->update([](BridgeSettings& s) { s.pairedAs = "Friday at the Loft"; });
    EXPECT_EQ(part<QLabel>("pairedAs").text(), "Friday at the Loft");
}

TEST_F(SettingsViewTest, ShareDelayStepsByFiveBetweenItsLimitsAndRestarts) {
    rig.storeComplete();
    open();
    auto& delay = part<QSpinBox>("countAfter");
    EXPECT_EQ(delay.minimum(), 10);
    EXPECT_EQ(delay.maximum(), 120);
    EXPECT_EQ(delay.text(), "10 seconds");
    const auto before = starts();
    delay.stepUp();
    EXPECT_EQ(model->settings().countAfter, 15);
    EXPECT_EQ(delay.text(), "15 seconds");
    ASSERT_EQ(starts(), before + 1);
    ASSERT_TRUE(lastStart());
    EXPECT_EQ(lastStart()->countAfter, 15);
    delay.setValue(120);
    delay.stepUp();
    EXPECT_EQ(model->settings().countAfter, 120);
    EXPECT_EQ(delay.text(), "120 seconds");
}

TEST_F(SettingsViewTest, StartAtLoginSwitchShowsAndChangesTheEntry) {
    startsAtLogin = true;
    open();
    auto& login = part<QCheckBox>("startAtLogin");
    EXPECT_EQ(login.text(), "Start at login");
    EXPECT_TRUE(login.isChecked());
    login.click();
    EXPECT_EQ(asked, std::vector<bool>{false});
    EXPECT_FALSE(login.isChecked());
    // It is no setting of the bridge: nothing restarts.
    EXPECT_EQ(model->settings(), BridgeSettings::load(*rig.preferences, *rig.secrets));
}

TEST_F(SettingsViewTest, PickerListsEverySourceAndWritesTheChoice) {
    rig.storeComplete();
    open();
    auto& reads = part<QComboBox>("reads");
    QStringList items;
    for (int item = 0; item < reads.count(); ++item) {
        items << reads.itemText(item);
    }
    EXPECT_EQ(items, (QStringList{"VirtualDJ", "Spotify on this computer", "djay", "Mixxx",
                                  "What’s Now Playing", "Denon DJ", "Music player", "Pioneer DJ"}));
    const auto before = starts();
    reads.setCurrentIndex(3);
    Q_EMIT reads.activated(3);
    EXPECT_EQ(model->settings().source, Source::mixxx);
    ASSERT_EQ(starts(), before + 1);
    ASSERT_TRUE(lastStart());
    EXPECT_EQ(lastStart()->source, Source::mixxx);
    EXPECT_EQ(part<QLabel>("sourceHelp").text(), SourcePane::help(Source::mixxx));
}

TEST_F(SettingsViewTest, VirtualDJSectionHasItsFieldsOnlyForVirtualDJ) {
    rig.storeComplete();
    open();
    EXPECT_EQ(part<SectionHeader>("chosenSourceTitle").title(), "VirtualDJ · Network Control");
    EXPECT_TRUE(part<QLabel>("sourceHelp")
                    .text()
                    .startsWith("Needs VirtualDJ Pro (2023 or later).\n1. Config › Extensions"));
    auto& port = part<CommitField>("Port");
    EXPECT_EQ(port.placeholderText(), "8080");
    EXPECT_EQ(port.text(), "8080");
    EXPECT_EQ(part<CommitField>("Password").echoMode(), QLineEdit::Password);
    auto& decks = part<QSpinBox>("Decks");
    EXPECT_EQ(decks.minimum(), 1);
    EXPECT_EQ(decks.maximum(), 4);
    EXPECT_EQ(decks.singleStep(), 1);
    EXPECT_EQ(decks.text(), "2");
    decks.stepUp();
    ASSERT_TRUE(lastStart());
    EXPECT_EQ(lastStart()->decks, (std::vector<int>{1, 2, 3}));

    model->update([](BridgeSettings& s) { s.source = Source::denon; });
    EXPECT_FALSE(port.isVisibleTo(view.get()));
    EXPECT_FALSE(decks.isVisibleTo(view.get()));
    EXPECT_FALSE(part<SectionHeader>("chosenSourceTitle").isVisibleTo(view.get()));
}

TEST_F(SettingsViewTest, PortCommitsAWholePortOnSubmitAndRefusesTheRest) {
    rig.storeComplete();
    open();
    auto& port = part<CommitField>("Port");
    port.setFocus();
    port.setText("9000");
    EXPECT_EQ(model->settings().vdjPort, 8080) << "a draft is not a setting";
    QTest::keyClick(&port, Qt::Key_Return);
    EXPECT_EQ(model->settings().vdjPort, 9000);
    ASSERT_TRUE(lastStart());
    EXPECT_EQ(lastStart()->vdjPort, 9000);

    const auto before = starts();
    for (const char* typed : {"80a", "0", "65536", ""}) {
        port.setText(typed);
        leave(port);
        EXPECT_EQ(port.text(), "9000") << typed;
    }
    EXPECT_EQ(model->settings().vdjPort, 9000);
    EXPECT_EQ(starts(), before);
}

TEST_F(SettingsViewTest, PasswordCommitsWhenTheFieldIsLeft) {
    rig.storeComplete();
    open();
    auto& password = part<CommitField>("Password");
    EXPECT_EQ(password.text(), "secret");
    password.setText("new secret");
    leave(password);
    EXPECT_EQ(model->settings().vdjPassword, "new secret");
    EXPECT_EQ(rig.secrets->items["virtualdj-password"], "new secret");
    ASSERT_TRUE(lastStart());
    EXPECT_EQ(lastStart()->vdjPassword, "new secret");

    // Leaving it unchanged writes nothing.
    const auto writes = rig.secrets->writes;
    const auto before = starts();
    leave(password);
    EXPECT_EQ(rig.secrets->writes, writes);
    EXPECT_EQ(starts(), before);
}

TEST_F(SettingsViewTest, DraftBeingTypedSurvivesARefresh) {
    rig.storeComplete();
    open();
    view->show();
    QApplication::setActiveWindow(view.get());
    auto& password = part<CommitField>("Password");
    password.setFocus();
    ASSERT_TRUE(password.hasFocus());
    password.setText("half typ");
    model->update([](BridgeSettings& s) { s.decks = 3; });
    EXPECT_EQ(password.text(), "half typ");
    EXPECT_EQ(model->settings().vdjPassword, "secret");
}

TEST_F(SettingsViewTest, StatusRowShowsTheShortStatus) {
    open();
    auto& status = part<QLabel>("sourceStatus");
    EXPECT_EQ(status.text(), "Not set up");
    rig.storeComplete();
    model->update([](BridgeSettings& s) {
        s.key = "key-1";
        s.vdjPassword = "secret";
    });
    EXPECT_EQ(status.text(), "Connecting…");
    BridgeStatus connected = model->status();
    connected.source = SourceState::connected;
    model->show(connected);
    EXPECT_EQ(status.text(), "Connected");
    BridgeStatus refused = connected;
    refused.source = SourceState::notAllowed;
    model->show(refused);
    EXPECT_EQ(status.text(), "Wrong password");
}

TEST_F(SettingsViewTest, LinuxTextsForEverySourceAndNoPrivacyButton) {
    rig.storeComplete();
    open();
    const QStringList macOnly{"this Mac", "This Mac",           "macOS",
                              "Keychain", "Privacy & Security", "System Settings"};
    for (const Source::Case source : Source::all) {
        model->update([source](BridgeSettings& s) { s.source = source; });
        BridgeStatus refused = model->status();
        refused.source = SourceState::notAllowed;
        model->show(refused);
        for (int tab = 0; tab < 3; ++tab) {
            part<QTabWidget>("tabs").setCurrentIndex(tab);
            for (const QString& text : visibleTexts(*view)) {
                for (const QString& word : macOnly) {
                    EXPECT_FALSE(text.contains(word)) << text.toStdString();
                }
            }
        }
        EXPECT_EQ(view->findChild<QPushButton*>("privacy"), nullptr);
        EXPECT_EQ(part<QLabel>("sourceHelp").text(), SourcePane::help(source));
    }
    EXPECT_EQ(SourcePane::help(Source::spotify),
              "Play from the Spotify app on this computer. The bridge only asks it what plays, "
              "over the desktop’s media-player interface, and doesn’t open Spotify.");
    EXPECT_TRUE(SourcePane::help(Source::whatsNowPlaying)
                    .startsWith("For Serato, Traktor, rekordbox, Engine DJ and others: run What’s "
                                "Now Playing (https://whatsnowplaying.github.io)"));
    part<QTabWidget>("tabs").setCurrentIndex(1);
    EXPECT_TRUE(visibleTexts(*view).contains(
        "The bridge only asks or reads what plays. It never controls VirtualDJ, Spotify, djay, "
        "Mixxx, What’s Now Playing, Denon DJ players, music players or Pioneer DJ players."));
    part<QTabWidget>("tabs").setCurrentIndex(2);
    EXPECT_TRUE(visibleTexts(*view).contains(
        "The key the bridge got by pairing, kept in your keyring. A key typed here replaces it "
        "(for a bridge set up by hand). Normally you never need this: pair with a code in "
        "General."));
}

// A longer help text chosen while the window is open gets the room it needs.
TEST_F(SettingsViewTest, EachSourcesHelpIsShownWholeAfterAPick) {
    rig.storeComplete();
    open();
    view->show();
    part<QTabWidget>("tabs").setCurrentIndex(1);
    testing::settle();
    auto& reads = part<QComboBox>("reads");
    auto& help = part<QLabel>("sourceHelp");
    for (const Source source : {Source::virtualDJ, Source::proDJLink, Source::spotify,
                                Source::denon, Source::virtualDJ}) {
        SCOPED_TRACE(std::string(source.raw()));
        const int index = static_cast<int>(source);
        reads.setCurrentIndex(index);
        Q_EMIT reads.activated(index);
        for (int round = 0; round < 5; ++round) {
            testing::settle();
        }
        EXPECT_GE(help.height(), help.heightForWidth(help.width()));
    }
}

TEST_F(SettingsViewTest, AnotherServerShowsItsFieldAndLetsGoOfTheKey) {
    rig.storeComplete();
    open();
    model->setSettingsTab(SettingsTab::advanced);
    auto& advanced = part<QCheckBox>("advanced");
    auto& server = part<CommitField>("Server");
    EXPECT_EQ(advanced.text(), "Use another Setmara server");
    EXPECT_FALSE(server.isVisibleTo(view.get()));
    advanced.click();
    EXPECT_TRUE(model->settings().advanced);
    EXPECT_TRUE(server.isVisibleTo(view.get()));
    EXPECT_EQ(server.placeholderText(), "https://setmara.app");

    server.setText("http://127.0.0.1:8000");
    QTest::keyClick(&server, Qt::Key_Return);
    EXPECT_EQ(model->settings().serverURL, "http://127.0.0.1:8000");
    EXPECT_EQ(model->settings().key, "");
    EXPECT_EQ(part<QLabel>("pairedAs").text(), "Not yet");
    ASSERT_FALSE(starts() == 0);
    EXPECT_FALSE(lastStart()) << "without a key there is no engine";

    advanced.click();
    EXPECT_FALSE(model->settings().advanced);
    EXPECT_FALSE(server.isVisibleTo(view.get()));
}

TEST_F(SettingsViewTest, KeyIsMaskedAndPastedFromTheClipboard) {
    open();
    auto& key = part<CommitField>("Key");
    EXPECT_EQ(key.echoMode(), QLineEdit::Password);
    QGuiApplication::clipboard()->setText("pasted-key\n");
    part<QPushButton>("paste").click();
    EXPECT_EQ(model->settings().key, "pasted-key");
    EXPECT_EQ(key.text(), "pasted-key");
    EXPECT_EQ(rig.secrets->items["bridge-key"], "pasted-key");

    QGuiApplication::clipboard()->clear();
    part<QPushButton>("paste").click();
    EXPECT_EQ(model->settings().key, "pasted-key") << "nothing to paste keeps the key";

    key.setText("typed-key");
    QTest::keyClick(&key, Qt::Key_Return);
    EXPECT_EQ(model->settings().key, "typed-key");
}

TEST_F(SettingsViewTest, SelectedTabIsTheModels) {
    open();
    auto& tabs = part<QTabWidget>("tabs");
    EXPECT_EQ(tabs.tabText(0), "General");
    EXPECT_EQ(tabs.tabText(1), "Source");
    EXPECT_EQ(tabs.tabText(2), "Advanced");
    for (int tab = 0; tab < 3; ++tab) {
        EXPECT_FALSE(tabs.tabIcon(tab).isNull());
    }
    model->setSettingsTab(SettingsTab::advanced);
    EXPECT_EQ(tabs.currentIndex(), 2);
    tabs.tabBar()->setCurrentIndex(1);
    EXPECT_EQ(model->settingsTab(), SettingsTab::source);
}

TEST_F(SettingsViewTest, AskingForACodeOpensGeneralWithTheCodeFieldFocused) {
    open();
    view->show();
    QApplication::setActiveWindow(view.get());
    model->setSettingsTab(SettingsTab::advanced);
    model->setAskingForCode(true);
    EXPECT_EQ(part<QTabWidget>("tabs").currentIndex(), 0);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(part<QWidget>("pairCode").isAncestorOf(focused) ||
                focused == &part<QWidget>("pairCode"));
    EXPECT_FALSE(model->askingForCode()) << "a later request focuses it again";
}

} // namespace
} // namespace bridge
