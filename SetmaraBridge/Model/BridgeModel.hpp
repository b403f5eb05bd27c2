#pragma once

#include "Engine/BridgeStatus.hpp"
#include "Model/LoopControl.hpp"
#include "Settings/BridgeSettings.hpp"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSettings;
class QUrl;

namespace bridge {

class Alerting;
class KeychainItems;
class MediaPlayerList;
class MediaPlayers;

enum class SettingsTab { general, source, advanced };

// The one object the windows talk to: the settings, the latest status, and every action
// of the DJ. Builds the engine from the settings and hands it to the loop. Lives on the Qt
// main thread; the loop runs on the bridge thread behind `LoopControl`.
class BridgeModel : public QObject {
    Q_OBJECT

public:
    // What the model needs of the platform, so that tests can stand in for all of it.
    struct Services {
        std::shared_ptr<QSettings> preferences;
        std::shared_ptr<KeychainItems> secrets;
        std::shared_ptr<Alerting> alerts;
        std::function<void(const QUrl&)> openLink;
        std::function<void(std::string_view pane)> openPrivacySettings;
        // Makes the loop on first use; `show` takes every status it publishes.
        std::function<std::unique_ptr<LoopControl>(LoopControl::Show show)> makeLoop;
        // The desktop's media players, made once, on first use, on this thread.
        std::function<std::shared_ptr<MediaPlayers>()> makeMediaPlayers;
        // The list of the desktop's players for choosing one, made on first use.
        std::function<std::unique_ptr<MediaPlayerList>()> makePlayerList;
        std::function<bool()> djayIsRunning;
        std::function<bool()> mixxxIsRunning;
        std::filesystem::path queueFile;
    };

    // A pairing's answer, or the text that says why it failed.
    using PairDone =
        std::function<void(const std::optional<Paired>& paired, const std::string& failure)>;

    // Loads the settings and starts the engine they describe.
    explicit BridgeModel(Services services, QObject* parent = nullptr);
    ~BridgeModel() override;

    const BridgeSettings& settings() const { return settings_; }
    const BridgeStatus& status() const { return status_; }
    SettingsTab settingsTab() const { return settingsTab_; }
    void setSettingsTab(SettingsTab tab);
    bool askingForCode() const { return askingForCode_; }
    void setAskingForCode(bool asking);
    bool keychainFailed() const { return keychainFailed_; }

    // The desktop's media players to choose from; none where the platform has no list.
    MediaPlayerList* playerList();

    // The server the settings mean.
    std::string server() const;
    // The settings are enough to build an engine.
    bool isComplete() const;

    // (Re)builds the engine from the settings and hands it to the loop.
    void start();
    // Applies `change` to a copy of the settings; saves and restarts when it changed them.
    void update(const std::function<void(BridgeSettings&)>& change);
    void save();
    void pair(const std::string& code, const std::string& server, PairDone done);
    // A pairing link, as it was written: its scheme and host count in their letter case.
    void openLink(const QString& link);
    void setSharing(bool on);
    void hideCurrent();
    void undoLast();
    void endGig();
    void openDancersPage();
    void openScreen();
    void openPrivacySettings();
    void openGuide();
    void openSetmara();

    // Takes a status the loop published; keeps it when it differs from the current one.
    void show(BridgeStatus status);

Q_SIGNALS:
    void settingsChanged();
    void statusChanged();
    void settingsTabChanged();
    void askingForCodeChanged();

private:
    LoopControl& loop();
    EngineRecipe recipe();
    void setSettings(BridgeSettings settings);
    void pairByLink(const std::string& code);
    void openSafe(const std::optional<std::string>& link);
    // Runs `work` on this thread, from any thread, unless the model is gone by then.
    void onMainThread(std::function<void()> work);

    Services services;
    BridgeSettings settings_;
    BridgeStatus status_;
    SettingsTab settingsTab_ = SettingsTab::general;
    bool askingForCode_ = false;
    bool keychainFailed_ = false;
    std::shared_ptr<MediaPlayers> mediaPlayers;
    std::unique_ptr<MediaPlayerList> playerList_;
    std::unique_ptr<LoopControl> loop_;
};

} // namespace bridge
