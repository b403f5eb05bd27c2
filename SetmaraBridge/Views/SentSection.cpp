#include "Views/SentSection.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Views/ItemRows.hpp"
#include "Views/Look.hpp"

#include <QHBoxLayout>
#include <QPushButton>

namespace bridge {

namespace {

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

SentSection::SentSection(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), rows(new RowList<PlayRowView>(this)),
      nothing(Look::secondary(QStringLiteral("Nothing yet."), "nothingYet", this)),
      hide(Look::button(QStringLiteral("Hide from Dancers"), "hideCurrent", this,
                        QStringLiteral("Hide the latest song from dancers; it stays in your gig"))),
      takeBack(Look::button(QStringLiteral("Take Back"), "undoLast", this,
                            QStringLiteral("Take the latest song back: it leaves the gig, also "
                                           "for dancers"))) {
    setObjectName(QStringLiteral("sentSection"));
    auto* all = Look::column(this, 8);
    all->addWidget(new SectionHeader(QStringLiteral("Sent lately"), nullptr, this));
    all->addWidget(rows);
    all->addWidget(nothing);
    auto* buttons = Look::row(6);
    buttons->addWidget(hide);
    buttons->addWidget(takeBack);
    buttons->addStretch(1);
    all->addLayout(buttons);
    connect(hide, &QPushButton::clicked, this, [this] { this->model.hideCurrent(); });
    connect(takeBack, &QPushButton::clicked, this, [this] { this->model.undoLast(); });
}

void SentSection::refresh() {
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

} // namespace bridge
