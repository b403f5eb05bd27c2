#include "Platform/LinkOpening.hpp"

#include <QDesktopServices>
#include <QUrl>

namespace bridge {

OpenLink desktopLinkOpener() {
    return [](const QUrl& link) { QDesktopServices::openUrl(link); };
}

void openPrivacySettings(std::string_view) {}

} // namespace bridge
