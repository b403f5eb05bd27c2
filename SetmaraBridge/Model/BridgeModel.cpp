#include "Model/BridgeModel.hpp"

#include "Platform/Alerting.hpp"
#include "Platform/MediaPlayerList.hpp"
#include "Platform/QtText.hpp"
#include "Server/PairingRules.hpp"
#include "Server/ServerPages.hpp"
#include "Server/SettingsRules.hpp"
#include "Settings/KeychainItems.hpp"
#include "Settings/SecretsError.hpp"
#include "Values/Wording.hpp"

#include <QMetaObject>
#include <QSettings>
#include <QUrl>

namespace bridge {

namespace {

constexpr std::string_view badServer = "The server’s address isn’t right.";
constexpr std::string_view serverChanged =
    "The server changed while pairing. Pair again with a code from it.";

// Whether the text is a URL at all; the exchange refuses one that is not a safe server.
bool parses(std::string_view server) {
    return Pairing::isURL(server);
}

} // namespace

BridgeModel::BridgeModel(Services services, QObject* parent)
    : QObject(parent), services(std::move(services)) {
    settings_ = BridgeSettings::load(*this->services.preferences, *this->services.secrets);
    status_.sharing = settings_.sharing;
    start();
}

// The loop goes first: its thread may still hand statuses to this model until it ends.
BridgeModel::~BridgeModel() {
    loop_.reset();
}

void BridgeModel::setSettingsTab(SettingsTab tab) {
    if (tab != settingsTab_) {
        settingsTab_ = tab;
        Q_EMIT settingsTabChanged();
    }
}

void BridgeModel::setAskingForCode(bool asking) {
    if (asking != askingForCode_) {
        askingForCode_ = asking;
        Q_EMIT askingForCodeChanged();
    }
}

MediaPlayerList* BridgeModel::playerList() {
    if (!playerList_ && services.makePlayerList) {
        playerList_ = services.makePlayerList();
    }
    return playerList_.get();
}

std::string BridgeModel::server() const {
    return Pairing::server(settings_.advanced, settings_.serverURL);
}

bool BridgeModel::isComplete() const {
    return SettingsRules::isComplete(server(), settings_.key, settings_.source,
                                     settings_.vdjPassword, settings_.vdjPort, settings_.player);
}

void BridgeModel::start() {
    loop().start(isComplete() && parses(server()) ? std::optional(recipe()) : std::nullopt);
}

EngineRecipe BridgeModel::recipe() {
    // The media players' bus calls belong to this thread, so they are made here, once.
    if (!mediaPlayers && services.makeMediaPlayers) {
        mediaPlayers = services.makeMediaPlayers();
    }
    return EngineRecipe{
        .server = server(),
        .key = settings_.key,
        .source = settings_.source,
        .vdjPort = settings_.vdjPort,
        .vdjPassword = settings_.vdjPassword,
        .decks = EngineRecipe::vdjDecks(settings_.decks),
        .player = settings_.player,
        .playerName = settings_.playerName,
        .mediaPlayers = mediaPlayers,
        .djayIsRunning = services.djayIsRunning,
        .mixxxIsRunning = services.mixxxIsRunning,
        .queueFile = services.queueFile,
        .countAfter = settings_.countAfter,
        .sharing = settings_.sharing,
    };
}

void BridgeModel::update(const std::function<void(BridgeSettings&)>& change) {
    BridgeSettings changed = settings_;
    change(changed);
    const bool sameKey = changed.key == settings_.key;
    if (sameKey && !SettingsRules::sameServer(
                       server(), Pairing::server(changed.advanced, changed.serverURL))) {
        // The key belongs to the server it was paired with.
        changed.key.clear();
        changed.pairedAs.clear();
    }
    if (changed == settings_) {
        return;
    }
    setSettings(std::move(changed));
    save();
    start();
}

void BridgeModel::setSettings(BridgeSettings settings) {
    settings_ = std::move(settings);
    Q_EMIT settingsChanged();
}

void BridgeModel::save() {
    try {
        settings_.save(*services.preferences, *services.secrets);
        keychainFailed_ = false;
    } catch (const SecretsError&) {
        if (keychainFailed_) {
            return;
        }
        keychainFailed_ = true;
        services.alerts->show(
            Alert{.message = qText(Wording::shown(Wording::keychainFailed)),
                  .informative = qText(Wording::shown(Wording::keychainFailedText)),
                  .buttons = {QStringLiteral("OK")}},
            [](int) {});
    }
}

void BridgeModel::pair(const std::string& code, const std::string& server, PairDone done) {
    if (!parses(server)) {
        done(std::nullopt, std::string(badServer));
        return;
    }
    loop().pair(code, server,
                [this, server, done = std::move(done)](std::optional<Paired> paired,
                                                       std::exception_ptr error) mutable {
                    onMainThread(
                        [this, server, paired = std::move(paired), error, done = std::move(done)] {
                            if (error) {
                                try {
                                    std::rethrow_exception(error);
                                } catch (const std::exception& failure) {
                                    done(std::nullopt, Pairing::message(failure));
                                }
                                return;
                            }
                            if (!SettingsRules::sameServer(this->server(), server)) {
                                done(std::nullopt, std::string(serverChanged));
                                return;
                            }
                            BridgeSettings changed = settings_;
                            changed.key = paired->key;
                            changed.pairedAs = paired->summary();
                            setSettings(std::move(changed));
                            save();
                            start();
                            done(paired, {});
                        });
                });
}

void BridgeModel::openLink(const QString& link) {
    const auto code = Pairing::codeInLink(link.toStdString());
    if (!code) {
        return;
    }
    const QString informative =
        settings_.key.empty()
            ? QStringLiteral("It then sends the songs you play to the gig the code is for.")
            : QStringLiteral("It then uses the code’s key instead of the one it has now (%1).")
                  .arg(settings_.pairedAs.empty() ? QStringLiteral("from before")
                                                  : qText(settings_.pairedAs));
    services.alerts->show(
        Alert{.message =
                  QStringLiteral("Pair the bridge with code %1?").arg(qText(Pairing::shown(*code))),
              .informative = informative,
              .buttons = {QStringLiteral("Pair"), QStringLiteral("Cancel")},
              .returnButton = 1,
              .escapeButton = 1},
        [this, code = *code](int chosen) {
            if (chosen == 0) {
                pairByLink(code);
            }
        });
}

void BridgeModel::pairByLink(const std::string& code) {
    pair(code, server(), [this](const std::optional<Paired>& paired, const std::string& failure) {
        Alert answer{.buttons = {QStringLiteral("OK")}};
        if (paired) {
            answer.message = QStringLiteral("Paired: %1").arg(qText(paired->summary()));
            answer.informative = isComplete()
                                     ? QStringLiteral("The bridge sends the songs you play.")
                                     : QStringLiteral("Then say what it reads: the bridge’s window "
                                                      "shows how.");
        } else {
            answer.message = QStringLiteral("The bridge didn’t pair");
            answer.informative = qText(failure);
        }
        services.alerts->show(answer, [](int) {});
    });
}

void BridgeModel::setSharing(bool on) {
    status_.sharing = on;
    Q_EMIT statusChanged();
    BridgeSettings changed = settings_;
    changed.sharing = on;
    setSettings(std::move(changed));
    save();
    loop().setSharing(on);
}

void BridgeModel::hideCurrent() {
    loop().hideCurrent();
}

void BridgeModel::undoLast() {
    loop().undoLast();
}

void BridgeModel::endGig() {
    loop().endGig();
}

void BridgeModel::openSafe(const std::optional<std::string>& link) {
    if (link && Pairing::isSafe(*link)) {
        services.openLink(QUrl::fromEncoded(QByteArray::fromStdString(*link)));
    }
}

void BridgeModel::openDancersPage() {
    if (status_.gig) {
        openSafe(status_.gig->url);
    }
}

void BridgeModel::openScreen() {
    if (status_.gig) {
        openSafe(status_.gig->screen());
    }
}

void BridgeModel::openPrivacySettings() {
    if (const auto pane = settings_.source.privacyPane()) {
        services.openPrivacySettings(*pane);
    }
}

void BridgeModel::openGuide() {
    openSafe(ServerPages::guide(server()));
}

void BridgeModel::openSetmara() {
    openSafe(ServerPages::gigs(server()));
}

void BridgeModel::show(BridgeStatus status) {
    if (status != status_) {
        status_ = std::move(status);
        Q_EMIT statusChanged();
    }
}

LoopControl& BridgeModel::loop() {
    if (!loop_) {
        loop_ = services.makeLoop([this](BridgeStatus status) {
            onMainThread([this, status = std::move(status)]() mutable { show(std::move(status)); });
        });
    }
    return *loop_;
}

void BridgeModel::onMainThread(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

} // namespace bridge
