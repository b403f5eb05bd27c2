#include "Views/BridgeWindow.hpp"

#include "Views/DecksSection.hpp"
#include "Views/GigSection.hpp"
#include "Views/Look.hpp"
#include "Views/MenuAccessibility.hpp"
#include "Views/SentSection.hpp"
#include "Views/SetupSteps.hpp"
#include "Views/SymbolButton.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

namespace bridge {

BridgeWindow::BridgeWindow(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), menu_(new QMenu(this)), setup(new SetupSteps(model, this)),
      gig(new GigSection(model, this)), decks(new DecksSection(model, this)),
      sent(new SentSection(model, this)) {
    setObjectName(QStringLiteral("bridgeWindow"));
    setWindowTitle(QStringLiteral("Setmara Bridge"));
    setFixedWidth(Look::width);
    auto* all = Look::column(this, Look::spacing);
    all->setContentsMargins(Look::spacing, Look::spacing, Look::spacing, Look::spacing);
    for (QWidget* each : std::initializer_list<QWidget*>{header(), setup, gig, decks, sent}) {
        all->addWidget(each);
    }
    all->addStretch(1);

    connect(setup, &SetupSteps::sourceWanted, this,
            [this] { wantSettings(SettingsTab::source, false); });
    connect(&model, &BridgeModel::statusChanged, this, &BridgeWindow::refresh);
    connect(&model, &BridgeModel::settingsChanged, this, &BridgeWindow::refresh);
    refresh();
    fit();
}

BridgeWindow::~BridgeWindow() = default;

bool BridgeWindow::showingQR() const {
    return gig->showingQR();
}

bool BridgeWindow::confirmingEnd() const {
    return gig->confirmingEnd();
}

QWidget* BridgeWindow::header() {
    auto* bar = Look::named(new QWidget(this), "header");
    auto* line = Look::row(8);
    bar->setLayout(line);
    line->addWidget(new Wordmark(bar), 0, Qt::AlignVCenter);
    line->addStretch(1);
    auto* more = Look::named(new SymbolButton(drawEllipsisCircle, 30, bar), "menuButton");
    exposeMenu(*more, *menu_); // before anything asks for its accessible form
    more->setAccessibleName(QStringLiteral("Settings, Setmara, Help, Quit"));
    more->setAutoRaise(true);
    line->addWidget(more, 0, Qt::AlignVCenter);

    const auto item = [this](const QString& label, const char* name, auto act) {
        connect(Look::named(menu_->addAction(label), name), &QAction::triggered, this, act);
    };
    item(QStringLiteral("Settings…"), "menuSettings",
         [this] { wantSettings(model.settingsTab(), false); });
    item(QStringLiteral("Open Setmara"), "menuOpenSetmara", [this] { model.openSetmara(); });
    item(QStringLiteral("Pair with a Code…"), "menuPair",
         [this] { wantSettings(SettingsTab::general, true); });
    menu_->addSeparator();
    item(QStringLiteral("Help"), "menuHelp", [this] { model.openGuide(); });
    Look::named(menu_->addAction(QStringLiteral("Setmara Bridge " BRIDGE_VERSION)), "menuVersion")
        ->setEnabled(false);
    menu_->addSeparator();
    item(QStringLiteral("Quit Setmara Bridge"), "menuQuit", [this] { Q_EMIT quitWanted(); });

    connect(more, &QToolButton::clicked, this,
            [this, more] { menu_->popup(more->mapToGlobal(QPoint(0, more->height()))); });
    return bar;
}

void BridgeWindow::wantSettings(SettingsTab tab, bool askingForCode) {
    model.setSettingsTab(tab);
    model.setAskingForCode(askingForCode);
    Q_EMIT settingsWanted(tab, askingForCode);
}

void BridgeWindow::refresh() {
    const bool complete = model.isComplete();
    setup->setVisible(!complete);
    for (QWidget* section : std::initializer_list<QWidget*>{gig, decks, sent}) {
        section->setVisible(complete);
    }
    if (complete) {
        gig->refresh();
        decks->refresh();
        sent->refresh();
    }
}

bool BridgeWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest) {
        fit();
    }
    return handled;
}

void BridgeWindow::fit() {
    if (isWindow()) {
        setFixedHeight(heightForWidth(Look::width));
    }
}

} // namespace bridge
