#include "Views/DecksSection.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Views/ItemRows.hpp"
#include "Views/Look.hpp"

namespace bridge {

DecksSection::DecksSection(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model),
      heading(Look::named(new SectionHeader({}, nullptr, this), "decksHeading")),
      source(Look::named(new StatusDot({}, Look::Hue::secondary, this), "sourceStatus")),
      rows(new RowList<DeckRowView>(this)), noDecks(Look::secondary({}, "noDecks", this)),
      shareNote(Look::secondary({}, "shareNote", this)) {
    setObjectName(QStringLiteral("decksSection"));
    auto* all = Look::column(this, 8);
    for (QWidget* each :
         std::initializer_list<QWidget*>{heading, source, rows, noDecks, shareNote}) {
        all->addWidget(each);
    }
}

void DecksSection::refresh() {
    const BridgeStatus& status = model.status();
    const Source chosen = model.settings().source;
    const std::string& player = model.settings().playerName;
    heading->setTitle(qText(chosen.decksHeading(player)));
    source->setStatus(
        qText(chosen.statusLine(status.source, model.isComplete(), status.program, player)),
        Look::hue(tone(status.source)));
    rows->show(status.decks, [chosen](DeckRowView& view, const DeckRow& deck) {
        view.show(chosen.numbersDecks() ? std::optional<int>(deck.deck) : std::nullopt,
                  qText(deck.title), qText(deck.details()),
                  deck.onAir ? QStringLiteral("On air") : qText(chosen.offAir()),
                  deck.onAir ? Look::Hue::accent : Look::Hue::secondary);
    });
    noDecks->setText(qText(chosen.noDecks(status.source == SourceState::connected, player)));
    noDecks->setVisible(status.decks.empty());
    shareNote->setText(qText(chosen.shareNote(model.settings().countAfter)));
}

} // namespace bridge
