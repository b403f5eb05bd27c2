#pragma once

class QAbstractButton;
class QMenu;

namespace bridge {

// Qt leaves popup menus out of the accessibility tree: a screen reader hears their items only
// as the focus moves through them, and nothing finds them from the window. This makes `menu`
// the accessible child of the `button` that drops it down, a menu button, so that its items
// are found there, open or closed. The menu must outlive the button's accessible uses.
void exposeMenu(QAbstractButton& button, QMenu& menu);

} // namespace bridge
