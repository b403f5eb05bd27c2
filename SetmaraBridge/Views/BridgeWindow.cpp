#include "Views/BridgeWindow.hpp"

#include "Platform/QtText.hpp"
#include "Views/Look.hpp"
#include "Views/MenuAccessibility.hpp"
#include "Views/QRView.hpp"
#include "Views/SetupSteps.hpp"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace bridge {

namespace {

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* button(const QString& label, const char* name, const QString& help, QWidget* parent) {
    auto* made = named(new QPushButton(label, parent), name);
    made->setToolTip(help);
    return made;
}

HueLabel* secondary(const QString& label, const char* name, QWidget* parent) {
    auto* made = named(new HueLabel(label, Look::Hue::secondary, parent), name);
    made->setWordWrap(true);
    return made;
}

// A borderless tool button that draws its own symbol in the text colour.
class SymbolButton : public QToolButton {
public:
    using Draw = void (*)(QPainter& painter, const QRectF& box);

    SymbolButton(Draw draw, int side, QWidget* parent) : QToolButton(parent), draw(draw) {
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QToolButton::paintEvent(event);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                            QPalette::ButtonText),
                            1.4));
        const qreal inset = width() * 0.22;
        draw(painter, QRectF(rect()).adjusted(inset, inset, -inset, -inset));
    }

private:
    Draw draw;
};

// An ellipsis in a circle.
void drawEllipsisCircle(QPainter& painter, const QRectF& box) {
    painter.drawEllipse(box);
    painter.setBrush(painter.pen().color());
    const qreal dot = box.width() * 0.055;
    for (const qreal x : {0.28, 0.5, 0.72}) {
        painter.drawEllipse(QPointF(box.left() + x * box.width(), box.center().y()), dot, dot);
    }
}

// Three finder squares and a few modules: a QR code in small.
void drawQRGlyph(QPainter& painter, const QRectF& box) {
    const qreal unit = box.width() / 7;
    painter.setPen(QPen(painter.pen().color(), unit * 0.8));
    for (const QPointF corner : {box.topLeft(), QPointF(box.right() - 3 * unit, box.top()),
                                 QPointF(box.left(), box.bottom() - 3 * unit)}) {
        painter.drawRect(QRectF(corner, QSizeF(3 * unit, 3 * unit))
                             .adjusted(unit * 0.4, unit * 0.4, -unit * 0.4, -unit * 0.4));
    }
    const QColor ink = painter.pen().color();
    for (const QPointF cell :
         {QPointF(4, 4), QPointF(6, 4), QPointF(5, 5), QPointF(4, 6), QPointF(6, 6)}) {
        painter.fillRect(
            QRectF(box.left() + cell.x() * unit, box.top() + cell.y() * unit, unit, unit), ink);
    }
}

// Rows made once and then kept, shown again in place for each new list.
template <class View>
class RowList : public QWidget {
public:
    explicit RowList(QWidget* parent) : QWidget(parent), layout(Look::column(this, 8)) {}

    template <class Items, class Show>
    void show(const Items& items, Show showOne) {
        while (views.size() > items.size()) {
            delete views.back();
            views.pop_back();
        }
        while (views.size() < items.size()) {
            views.push_back(new View(this));
            layout->addWidget(views.back());
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            showOne(*views[i], items[i]);
        }
        setVisible(!items.empty());
    }

private:
    QVBoxLayout* layout;
    std::vector<View*> views;
};

// A title over a secondary line, and a state label at the end.
class ItemRow : public QWidget {
public:
    ItemRow(QWidget* parent, const char* kind)
        : QWidget(parent), number(new QLabel(this)), title(Look::wrapping({}, this)),
          details(secondary({}, "", this)), state(new HueLabel({}, Look::Hue::secondary, this)) {
        setObjectName(QLatin1String(kind) + QStringLiteral("Row"));
        number->setObjectName(QLatin1String(kind) + QStringLiteral("Number"));
        title->setObjectName(QLatin1String(kind) + QStringLiteral("Title"));
        details->setObjectName(QLatin1String(kind) + QStringLiteral("Details"));
        state->setObjectName(QLatin1String(kind) + QStringLiteral("State"));
        number->setFont(Look::bold(number->font()));
        number->setMinimumWidth(QFontMetrics(number->font()).horizontalAdvance(u'4') + 6);
        number->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        state->setFont(Look::bold(Look::scaled(state->font(), 0.9)));
        auto* line = row(8);
        setLayout(line);
        line->addWidget(number, 0, Qt::AlignTop);
        auto* texts = Look::column(nullptr, 1);
        texts->addWidget(title);
        texts->addWidget(details);
        line->addLayout(texts, 1);
        line->addWidget(state, 0, Qt::AlignTop);
    }

    void show(std::optional<int> deck, const QString& titleText, const QString& detailsText,
              const QString& stateText, Look::Hue hue, const QString& stateHelp = {}) {
        number->setVisible(deck.has_value());
        number->setText(deck ? QString::number(*deck) : QString());
        title->setText(titleText);
        details->setText(detailsText);
        details->setVisible(!detailsText.isEmpty());
        state->setText(stateText);
        state->setHue(hue);
        state->setToolTip(stateHelp);
    }

private:
    QLabel* number;
    QLabel* title;
    QLabel* details;
    HueLabel* state;
};

class DeckRowView : public ItemRow {
public:
    explicit DeckRowView(QWidget* parent) : ItemRow(parent, "deck") {}
};

class PlayRowView : public ItemRow {
public:
    explicit PlayRowView(QWidget* parent) : ItemRow(parent, "sent") {}
};

struct PlayLabel {
    const char* text;
    Look::Hue hue;
};

PlayLabel label(QueuedPlay::Status status) {
    switch (status) {
    case QueuedPlay::Status::sent:
        return {"Sent", Look::Hue::ok};
    case QueuedPlay::Status::queued:
        return {"Queued", Look::Hue::warn};
    case QueuedPlay::Status::hidden:
        return {"Hidden", Look::Hue::secondary};
    case QueuedPlay::Status::refused:
        return {"Refused", Look::Hue::warn};
    case QueuedPlay::Status::notTaken:
        return {"Not taken", Look::Hue::secondary};
    }
    return {"", Look::Hue::secondary};
}

} // namespace

class BridgeWindow::GigSection : public QWidget {
public:
    GigSection(BridgeModel& model, QWidget* parent)
        : QWidget(parent), model(model), title(Look::wrapping({}, this)),
          live(new Badge(QStringLiteral("Live"), Look::Hue::accent, true, this)),
          line(Look::wrapping({}, this)), sharing(new QCheckBox(QStringLiteral("Sharing"), this)),
          controls(new QWidget(this)), qrButton(new SymbolButton(drawQRGlyph, 28, controls)),
          qr(new QRView(this)), confirmation(new GroupBoxed(this)) {
        setObjectName(QStringLiteral("gigSection"));
        named(title, "gigTitle")->setFont(Look::bold(Look::scaled(title->font(), 1.1)));
        named(live, "liveBadge");
        named(line, "gigLine");
        named(sharing, "sharing")
            ->setToolTip(
                QStringLiteral("Off: sharing paused; songs still go to your gig, hidden from "
                               "dancers"));
        named(qr, "qrView")->setToolTip(qrHelp());
        named(confirmation, "endConfirmation");

        auto* all = Look::column(this, 8);
        auto* titleLine = row(8);
        titleLine->addWidget(title);
        titleLine->addWidget(live, 0, Qt::AlignVCenter);
        titleLine->addStretch(1);
        all->addLayout(titleLine);
        all->addWidget(line);
        all->addWidget(sharing);
        all->addWidget(makeControls());
        all->addWidget(qr, 0, Qt::AlignHCenter);
        all->addWidget(makeConfirmation());

        connect(sharing, &QCheckBox::clicked, this,
                [this](bool on) { this->model.setSharing(on); });
        connect(qr, &QRView::clicked, this, [this] { setShowingQR(false); });
    }

    bool showingQR() const { return showingQR_; }
    bool confirmingEnd() const { return confirmingEnd_; }

    void refresh() {
        const BridgeStatus& status = model.status();
        title->setText(qText(status.gigTitle()));
        live->setVisible(status.isLive());
        fitTitle();
        line->setText(qText(status.gigLine()));
        sharing->setChecked(status.sharing);
        const bool hasGig = status.gig.has_value();
        sharing->setEnabled(hasGig);
        controls->setEnabled(hasGig);
        qr->setUrl(hasGig ? QUrl::fromEncoded(QByteArray::fromStdString(status.gig->url)) : QUrl());
        qr->setVisible(showingQR_ && hasGig);
        qrButton->setVisible(!qr->isVisibleTo(this));
        controls->setVisible(!confirmingEnd_);
        confirmation->setVisible(confirmingEnd_);
    }

private:
    static QString qrHelp() { return QStringLiteral("QR code of the dancers’ page, to scan"); }

    QWidget* makeControls() {
        named(qrButton, "qrButton")->setAccessibleName(QStringLiteral("QR code"));
        qrButton->setToolTip(qrHelp());
        qrButton->setAutoRaise(true);
        auto* dancers = button(QStringLiteral("Dancers’ Page"), "dancersPage",
                               QStringLiteral("Open the dancers’ page"), controls);
        auto* screen = button(QStringLiteral("Venue Screen"), "venueScreen",
                              QStringLiteral("Open the venue screen: the QR code, the song "
                                             "playing now and the last five"),
                              controls);
        auto* end = button(QStringLiteral("End Gig…"), "endGig",
                           QStringLiteral("The dancers’ page becomes the setlist; songs aren’t "
                                          "sent until you go live again"),
                           controls);
        auto* buttons = row(4);
        controls->setLayout(buttons);
        for (QWidget* each : std::initializer_list<QWidget*>{qrButton, dancers, screen, end}) {
            buttons->addWidget(each);
        }
        buttons->addStretch(1);
        connect(qrButton, &QToolButton::clicked, this, [this] { setShowingQR(true); });
        connect(dancers, &QPushButton::clicked, this, [this] { model.openDancersPage(); });
        connect(screen, &QPushButton::clicked, this, [this] { model.openScreen(); });
        connect(end, &QPushButton::clicked, this, [this] { setConfirmingEnd(true); });
        return controls;
    }

    QWidget* makeConfirmation() {
        auto* question =
            named(Look::wrapping(QStringLiteral("End the gig?"), confirmation), "endQuestion");
        question->setFont(Look::bold(question->font()));
        confirmation->content()->addWidget(question);
        confirmation->content()->addWidget(named(
            Look::wrapping(QStringLiteral("Its page becomes the setlist, and songs played after "
                                          "this aren’t sent. You can go live again on the Gigs "
                                          "page."),
                           confirmation),
            "endMessage"));
        auto* end = named(new QPushButton(QStringLiteral("End Gig"), confirmation), "confirmEnd");
        QPalette destructive = end->palette();
        destructive.setColor(QPalette::ButtonText,
                             Look::color(Look::Hue::destructive, destructive));
        end->setPalette(destructive);
        end->setFont(Look::bold(end->font()));
        auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), confirmation), "cancelEnd");
        auto* actions = row(6);
        actions->addStretch(1);
        actions->addWidget(cancel);
        actions->addWidget(end);
        confirmation->content()->addLayout(actions);
        connect(end, &QPushButton::clicked, this, [this] {
            setConfirmingEnd(false);
            model.endGig();
        });
        connect(cancel, &QPushButton::clicked, this, [this] { setConfirmingEnd(false); });
        return confirmation;
    }

    void setShowingQR(bool on) {
        showingQR_ = on;
        refresh();
    }

    void setConfirmingEnd(bool on) {
        confirmingEnd_ = on;
        refresh();
    }

    // A wrapping label asks for less than a line; the title takes the line it needs so that
    // the badge sits right after it.
    void fitTitle() {
        const int room = Look::width - 2 * Look::spacing -
                         (live->isVisibleTo(this) ? live->sizeHint().width() + 8 : 0);
        title->setMinimumWidth(
            std::min(QFontMetrics(title->font()).horizontalAdvance(title->text()) + 1, room));
    }

    BridgeModel& model;
    QLabel* title;
    Badge* live;
    QLabel* line;
    QCheckBox* sharing;
    QWidget* controls;
    SymbolButton* qrButton;
    QRView* qr;
    GroupBoxed* confirmation;
    bool showingQR_ = false;
    bool confirmingEnd_ = false;
};

class BridgeWindow::DecksSection : public QWidget {
public:
    DecksSection(BridgeModel& model, QWidget* parent)
        : QWidget(parent), model(model),
          heading(named(new SectionHeader({}, nullptr, this), "decksHeading")),
          source(named(new StatusDot({}, Look::Hue::secondary, this), "sourceStatus")),
          rows(new RowList<DeckRowView>(this)), noDecks(secondary({}, "noDecks", this)),
          shareNote(secondary({}, "shareNote", this)) {
        setObjectName(QStringLiteral("decksSection"));
        auto* all = Look::column(this, 8);
        for (QWidget* each :
             std::initializer_list<QWidget*>{heading, source, rows, noDecks, shareNote}) {
            all->addWidget(each);
        }
    }

    void refresh() {
        const BridgeStatus& status = model.status();
        const Source chosen = model.settings().source;
        heading->setTitle(qText(chosen.decksHeading()));
        source->setStatus(
            qText(chosen.statusLine(status.source, model.isComplete(), status.program)),
            Look::hue(tone(status.source)));
        rows->show(status.decks, [chosen](DeckRowView& view, const DeckRow& deck) {
            view.show(chosen.numbersDecks() ? std::optional<int>(deck.deck) : std::nullopt,
                      qText(deck.title), qText(deck.details()),
                      deck.onAir ? QStringLiteral("On air") : qText(chosen.offAir()),
                      deck.onAir ? Look::Hue::accent : Look::Hue::secondary);
        });
        noDecks->setText(qText(chosen.noDecks(status.source == SourceState::connected)));
        noDecks->setVisible(status.decks.empty());
        shareNote->setText(qText(chosen.shareNote(model.settings().countAfter)));
    }

private:
    BridgeModel& model;
    SectionHeader* heading;
    StatusDot* source;
    RowList<DeckRowView>* rows;
    QLabel* noDecks;
    QLabel* shareNote;
};

class BridgeWindow::SentSection : public QWidget {
public:
    SentSection(BridgeModel& model, QWidget* parent)
        : QWidget(parent), model(model), rows(new RowList<PlayRowView>(this)),
          nothing(secondary(QStringLiteral("Nothing yet."), "nothingYet", this)),
          hide(button(QStringLiteral("Hide from Dancers"), "hideCurrent",
                      QStringLiteral("Hide the latest song from dancers; it stays in your gig"),
                      this)),
          takeBack(button(QStringLiteral("Take Back"), "undoLast",
                          QStringLiteral("Take the latest song back: it leaves the gig, also for "
                                         "dancers"),
                          this)) {
        setObjectName(QStringLiteral("sentSection"));
        auto* all = Look::column(this, 8);
        all->addWidget(new SectionHeader(QStringLiteral("Sent lately"), nullptr, this));
        all->addWidget(rows);
        all->addWidget(nothing);
        auto* buttons = row(6);
        buttons->addWidget(hide);
        buttons->addWidget(takeBack);
        buttons->addStretch(1);
        all->addLayout(buttons);
        connect(hide, &QPushButton::clicked, this, [this] { this->model.hideCurrent(); });
        connect(takeBack, &QPushButton::clicked, this, [this] { this->model.undoLast(); });
    }

    void refresh() {
        const auto& recent = model.status().recent;
        rows->show(recent, [](PlayRowView& view, const QueuedPlay& play) {
            const PlayLabel shown = label(play.status);
            view.show(std::nullopt, qText(play.event.title), qText(play.event.artist),
                      QString::fromLatin1(shown.text), shown.hue,
                      play.refusal ? qText(*play.refusal) : QString());
        });
        nothing->setVisible(recent.empty());
        hide->setEnabled(!recent.empty());
        takeBack->setEnabled(!recent.empty());
    }

private:
    BridgeModel& model;
    RowList<PlayRowView>* rows;
    QLabel* nothing;
    QPushButton* hide;
    QPushButton* takeBack;
};

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
    auto* bar = named(new QWidget(this), "header");
    auto* line = row(8);
    bar->setLayout(line);
    line->addWidget(new Wordmark(bar), 0, Qt::AlignVCenter);
    line->addStretch(1);
    auto* more = named(new SymbolButton(drawEllipsisCircle, 30, bar), "menuButton");
    exposeMenu(*more, *menu_); // before anything asks for its accessible form
    more->setAccessibleName(QStringLiteral("Settings, Setmara, Help, Quit"));
    more->setAutoRaise(true);
    line->addWidget(more, 0, Qt::AlignVCenter);

    const auto item = [this](const QString& label, const char* name, auto act) {
        connect(named(menu_->addAction(label), name), &QAction::triggered, this, act);
    };
    item(QStringLiteral("Settings…"), "menuSettings",
         [this] { wantSettings(model.settingsTab(), false); });
    item(QStringLiteral("Open Setmara"), "menuOpenSetmara", [this] { model.openSetmara(); });
    item(QStringLiteral("Pair with a Code…"), "menuPair",
         [this] { wantSettings(SettingsTab::general, true); });
    menu_->addSeparator();
    item(QStringLiteral("Help"), "menuHelp", [this] { model.openGuide(); });
    named(menu_->addAction(QStringLiteral("Setmara Bridge " BRIDGE_VERSION)), "menuVersion")
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
