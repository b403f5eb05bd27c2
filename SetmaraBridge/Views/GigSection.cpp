#include "Views/GigSection.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Views/Look.hpp"
#include "Views/QRView.hpp"
#include "Views/SymbolButton.hpp"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace bridge {

namespace {

QString qrHelp() {
    return QStringLiteral("QR code of the dancers’ page, to scan");
}

} // namespace

GigSection::GigSection(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), title(Look::wrapping({}, this)),
      live(new Badge(QStringLiteral("Live"), Look::Hue::accent, true, this)),
      line(Look::wrapping({}, this)), sharing(new QCheckBox(QStringLiteral("Sharing"), this)),
      controls(new QWidget(this)), qrButton(new SymbolButton(drawQRGlyph, 28, controls)),
      qr(new QRView(this)), confirmation(new GroupBoxed(this)) {
    setObjectName(QStringLiteral("gigSection"));
    Look::named(title, "gigTitle")->setFont(Look::bold(Look::scaled(title->font(), 1.1)));
    Look::named(live, "liveBadge");
    Look::named(line, "gigLine");
    Look::named(sharing, "sharing")
        ->setToolTip(QStringLiteral("Off: sharing paused; songs still go to your gig, hidden from "
                                    "dancers"));
    Look::named(qr, "qrView")->setToolTip(qrHelp());
    Look::named(confirmation, "endConfirmation");

    auto* all = Look::column(this, 8);
    auto* titleLine = Look::row(8);
    titleLine->addWidget(title);
    titleLine->addWidget(live, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);
    all->addLayout(titleLine);
    all->addWidget(line);
    all->addWidget(sharing);
    all->addWidget(makeControls());
    all->addWidget(qr, 0, Qt::AlignHCenter);
    all->addWidget(makeConfirmation());

    connect(sharing, &QCheckBox::clicked, this, [this](bool on) { this->model.setSharing(on); });
    connect(qr, &QRView::clicked, this, [this] { setShowingQR(false); });
}

void GigSection::refresh() {
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

QWidget* GigSection::makeControls() {
    Look::named(qrButton, "qrButton")->setAccessibleName(QStringLiteral("QR code"));
    qrButton->setToolTip(qrHelp());
    qrButton->setAutoRaise(true);
    auto* dancers = Look::button(QStringLiteral("Dancers’ Page"), "dancersPage", controls,
                                 QStringLiteral("Open the dancers’ page"));
    auto* screen = Look::button(QStringLiteral("Venue Screen"), "venueScreen", controls,
                                QStringLiteral("Open the venue screen: the QR code, the song "
                                               "playing now and the last five"));
    auto* end = Look::button(QStringLiteral("End Gig…"), "endGig", controls,
                             QStringLiteral("The dancers’ page becomes the setlist; songs "
                                            "aren’t sent until you go live again"));
    auto* buttons = Look::row(4);
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

QWidget* GigSection::makeConfirmation() {
    auto* question =
        Look::named(Look::wrapping(QStringLiteral("End the gig?"), confirmation), "endQuestion");
    question->setFont(Look::bold(question->font()));
    confirmation->content()->addWidget(question);
    confirmation->content()->addWidget(Look::named(
        Look::wrapping(QStringLiteral("Its page becomes the setlist, and songs played after "
                                      "this aren’t sent. You can go live again on the Gigs "
                                      "page."),
                       confirmation),
        "endMessage"));
    auto* end = Look::named(new QPushButton(QStringLiteral("End Gig"), confirmation), "confirmEnd");
    QPalette destructive = end->palette();
    destructive.setColor(QPalette::ButtonText, Look::color(Look::Hue::destructive, destructive));
    end->setPalette(destructive);
    end->setFont(Look::bold(end->font()));
    auto* cancel =
        Look::named(new QPushButton(QStringLiteral("Cancel"), confirmation), "cancelEnd");
    auto* actions = Look::row(6);
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

void GigSection::setShowingQR(bool on) {
    showingQR_ = on;
    refresh();
}

void GigSection::setConfirmingEnd(bool on) {
    confirmingEnd_ = on;
    refresh();
}

// A wrapping label asks for less than a line; the title takes the line it needs so that
// the badge sits right after it.
void GigSection::fitTitle() {
    const int room = Look::width - 2 * Look::spacing -
                     (live->isVisibleTo(this) ? live->sizeHint().width() + 8 : 0);
    title->setMinimumWidth(
        std::min(QFontMetrics(title->font()).horizontalAdvance(title->text()) + 1, room));
}

} // namespace bridge
