#include "Views/MenuAccessibility.hpp"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QMenu>
#include <QPointer>

namespace bridge {

namespace {

constexpr char menuProperty[] = "bridgeAccessibleMenu";

QMenu* menuOf(const QObject* button) {
    return qobject_cast<QMenu*>(button->property(menuProperty).value<QObject*>());
}

class MenuButtonAccessible : public QAccessibleWidget {
public:
    explicit MenuButtonAccessible(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::ButtonMenu) {}

    int childCount() const override { return menuOf(object()) ? 1 : 0; }

    QAccessibleInterface* child(int index) const override {
        QMenu* menu = menuOf(object());
        return index == 0 && menu ? QAccessible::queryAccessibleInterface(menu) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == menuOf(object()) ? 0 : -1;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.hasPopup = true;
        const QMenu* menu = menuOf(object());
        state.expanded = menu && menu->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction(), showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == pressAction() || action == showMenuAction()) {
            static_cast<QAbstractButton*>(widget())->click();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

QAccessibleInterface* menuButtons(const QString&, QObject* object) {
    auto* button = qobject_cast<QAbstractButton*>(object);
    return button && menuOf(button) ? new MenuButtonAccessible(button) : nullptr;
}

} // namespace

void exposeMenu(QAbstractButton& button, QMenu& menu) {
    // Qt keeps its factories for the whole process; one is enough for every menu button.
    static const bool installed = (QAccessible::installFactory(menuButtons), true);
    (void)installed;
    button.setProperty(menuProperty, QVariant::fromValue<QObject*>(&menu));
}

} // namespace bridge
