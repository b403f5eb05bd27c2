#pragma once

#include <QString>

class QFormLayout;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace bridge {

class SectionHeader;

// Small pieces the settings panes share.
namespace PaneParts {

// A wrapped paragraph of plain text, named for finding it.
QLabel* paragraph(const QString& text, const QString& name, QWidget* parent);
// A note under a section's rows: wrapped, in the secondary colour.
QLabel* note(const QString& text, QWidget* parent);

// A section: its title (none when empty) over a framed group of labelled rows.
struct Section {
    QWidget* widget;
    SectionHeader* header;
    QFormLayout* rows;
    QVBoxLayout* group; // the framed group's column, which holds the rows
};
Section section(const QString& title, const QString& name, QWidget* parent);

} // namespace PaneParts

} // namespace bridge
