#pragma once

#include "Views/Look.hpp"

#include <QVBoxLayout>
#include <QWidget>

#include <optional>
#include <vector>

namespace bridge {

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
    ItemRow(QWidget* parent, const char* kind);

    void show(std::optional<int> deck, const QString& titleText, const QString& detailsText,
              const QString& stateText, Look::Hue hue, const QString& stateHelp = {});

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

} // namespace bridge
