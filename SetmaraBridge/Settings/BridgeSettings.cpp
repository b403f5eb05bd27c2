#include "Settings/BridgeSettings.hpp"

#include "Platform/QtText.hpp"
#include "Server/PairingRules.hpp"
#include "Settings/KeychainItems.hpp"
#include "Settings/Secrets.hpp"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>
#include <string_view>

namespace bridge {

namespace {

// After a reload every stored value is text; before it, a value keeps the type it was set
// with. Either way its text is what counts.
std::optional<QString> storedText(const QSettings& preferences, const QString& key) {
    if (!preferences.contains(key)) {
        return std::nullopt;
    }
    return preferences.value(key).toString();
}

// Only a whole number counts ("12abc" does not).
std::optional<int> storedInteger(const QSettings& preferences, const QString& key) {
    const auto text = storedText(preferences, key);
    bool ok = false;
    const int value = text ? text->toInt(&ok) : 0;
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Only "true" and "false" count (QVariant::toBool would take "maybe" as true).
std::optional<bool> storedFlag(const QSettings& preferences, const QString& key) {
    const auto text = storedText(preferences, key);
    if (text == QStringLiteral("true")) {
        return true;
    }
    if (text == QStringLiteral("false")) {
        return false;
    }
    return std::nullopt;
}

std::optional<std::string> storedString(const QSettings& preferences, const QString& key) {
    const auto text = storedText(preferences, key);
    return text ? std::optional<std::string>(text->toStdString()) : std::nullopt;
}

// Sets a value only when its text differs from the stored one, so that saving unchanged
// settings leaves the file alone.
void put(QSettings& preferences, const QString& key, const QVariant& value) {
    if (storedText(preferences, key) != value.toString()) {
        preferences.setValue(key, value);
    }
}

} // namespace

std::string BridgeSettings::defaultServer() {
    return std::string(Pairing::defaultServer);
}

BridgeSettings BridgeSettings::load(QSettings& preferences, KeychainItems& secrets) {
    BridgeSettings settings;
    settings.serverURL = storedString(preferences, "serverURL").value_or(settings.serverURL);
    settings.advanced =
        SettingsRules::advanced(storedFlag(preferences, "advanced"), settings.serverURL);
    settings.key = secrets.read(std::string(Secrets::keyAccount)).value_or("");
    settings.pairedAs = storedString(preferences, "pairedAs").value_or("");
    const auto source = storedString(preferences, "source");
    settings.source = Source::fromRaw(source.value_or("")).value_or(Source::virtualDJ);
    settings.vdjPort = storedInteger(preferences, "vdjPort").value_or(settings.vdjPort);
    settings.vdjPassword = secrets.read(std::string(Secrets::passwordAccount)).value_or("");
    settings.decks = SettingsRules::decks(storedInteger(preferences, "decks"));
    settings.player = storedString(preferences, "player").value_or("");
    settings.playerName = storedString(preferences, "playerName").value_or("");
    settings.countAfter = SettingsRules::countAfter(storedInteger(preferences, "countAfter"));
    settings.sharing = storedFlag(preferences, "sharing").value_or(settings.sharing);
    return settings;
}

void BridgeSettings::save(QSettings& preferences, KeychainItems& secrets) const {
    put(preferences, "serverURL", qText(serverURL));
    put(preferences, "advanced", advanced);
    put(preferences, "pairedAs", qText(pairedAs));
    put(preferences, "source", qText(source.raw()));
    put(preferences, "vdjPort", vdjPort);
    put(preferences, "decks", decks);
    put(preferences, "player", qText(player));
    put(preferences, "playerName", qText(playerName));
    put(preferences, "countAfter", countAfter);
    put(preferences, "sharing", sharing);
    preferences.sync();
    Secrets::write(key, std::string(Secrets::keyAccount), secrets);
    Secrets::write(vdjPassword, std::string(Secrets::passwordAccount), secrets);
}

} // namespace bridge
