#pragma once

#include <functional>
#include <string_view>

class QUrl;

namespace bridge {

// Opens a page in the default browser. The model gets it as a function so tests record links.
using OpenLink = std::function<void(const QUrl&)>;
OpenLink desktopLinkOpener();

// Linux has no privacy settings pane: nothing opens, and the windows hide the button.
inline constexpr bool hasPrivacySettings = false;
void openPrivacySettings(std::string_view pane);

} // namespace bridge
