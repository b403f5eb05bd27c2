#include "Views/Settings/SettingsView.hpp"

#include "Model/BridgeModel.hpp"
#include "Views/Settings/AdvancedPane.hpp"
#include "Views/Settings/SourcePane.hpp"

#include <QIcon>
#include <QTabWidget>
#include <QVBoxLayout>

// Resources of a static library are kept only when something names them.
static void keepTabIcons() {
    Q_INIT_RESOURCE(settings);
}

namespace bridge {

namespace {

constexpr int paneWidth = 500;

} // namespace

SettingsView::SettingsView(BridgeModel& model, std::function<bool()> startsAtLogin,
                           std::function<void(bool on)> setStartAtLogin, QWidget* parent)
    : QWidget(parent), model(model), tabs(new QTabWidget(this)),
      general(
          new GeneralPane(model, {std::move(startsAtLogin), std::move(setStartAtLogin)}, tabs)) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Setmara Bridge Settings"));
    keepTabIcons();
    auto* layout = new QVBoxLayout(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->setDocumentMode(true);
    tabs->addTab(general, QIcon(QStringLiteral(":/settings/general.svg")),
                 QStringLiteral("General"));
    tabs->addTab(new SourcePane(model, tabs), QIcon(QStringLiteral(":/settings/source.svg")),
                 QStringLiteral("Source"));
    tabs->addTab(new AdvancedPane(model, tabs), QIcon(QStringLiteral(":/settings/advanced.svg")),
                 QStringLiteral("Advanced"));
    // A fixed width lets the long texts wrap and the window take the height they need.
    tabs->setFixedWidth(paneWidth);
    layout->addWidget(tabs);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(tabs, &QTabWidget::currentChanged, this,
            [this](int index) { this->model.setSettingsTab(static_cast<SettingsTab>(index)); });
    connect(&model, &BridgeModel::settingsTabChanged, this, &SettingsView::showTab);
    connect(&model, &BridgeModel::askingForCodeChanged, this, &SettingsView::askForCode);
    showTab();
    askForCode();
}

void SettingsView::showTab() {
    tabs->setCurrentIndex(static_cast<int>(model.settingsTab()));
}

void SettingsView::askForCode() {
    if (!model.askingForCode()) {
        return;
    }
    tabs->setCurrentWidget(general);
    general->focusCode();
    // Asked once: a later request focuses the field again.
    model.setAskingForCode(false);
}

} // namespace bridge
