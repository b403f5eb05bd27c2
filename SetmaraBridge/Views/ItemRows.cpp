#include "Views/ItemRows.hpp"

#include <QFontMetrics>
#include <QHBoxLayout>

namespace bridge {

ItemRow::ItemRow(QWidget* parent, const char* kind)
    : QWidget(parent), number(new QLabel(this)), title(Look::wrapping({}, this)),
      details(Look::secondary({}, "", this)), state(new HueLabel({}, Look::Hue::secondary, this)) {
    setObjectName(QLatin1String(kind) + QStringLiteral("Row"));
    number->setObjectName(QLatin1String(kind) + QStringLiteral("Number"));
    title->setObjectName(QLatin1String(kind) + QStringLiteral("Title"));
    details->setObjectName(QLatin1String(kind) + QStringLiteral("Details"));
    state->setObjectName(QLatin1String(kind) + QStringLiteral("State"));
    number->setFont(Look::bold(number->font()));
    number->setMinimumWidth(QFontMetrics(number->font()).horizontalAdvance(u'4') + 6);
    number->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    state->setFont(Look::bold(Look::scaled(state->font(), 0.9)));
    auto* line = Look::row(8);
    setLayout(line);
    line->addWidget(number, 0, Qt::AlignTop);
    auto* texts = Look::column(nullptr, 1);
    texts->addWidget(title);
    texts->addWidget(details);
    line->addLayout(texts, 1);
    line->addWidget(state, 0, Qt::AlignTop);
}

void ItemRow::show(std::optional<int> deck, const QString& titleText, const QString& detailsText,
                   const QString& stateText, Look::Hue hue, const QString& stateHelp) {
    number->setVisible(deck.has_value());
    number->setText(deck ? QString::number(*deck) : QString());
    title->setText(titleText);
    details->setText(detailsText);
    details->setVisible(!detailsText.isEmpty());
    state->setText(stateText);
    state->setHue(hue);
    state->setToolTip(stateHelp);
}

} // namespace bridge
