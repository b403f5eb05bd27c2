#pragma once

#include <QString>

#include <string_view>

class QFormLayout;
class QGroupBox;
class QLabel;
class QWidget;

// Small pieces the settings panes share.
namespace bridge::PaneParts {

QString qText(std::string_view text);
// A wrapped paragraph of plain text (the field's help or a note under a section).
QLabel* paragraph(const QString& text, const QString& name, QWidget* parent);
// The same, in the secondary colour.
QLabel* note(const QString& text, QWidget* parent);
// A framed section whose rows go into the form returned through `rows`.
QGroupBox* section(const QString& title, QFormLayout*& rows, QWidget* parent);

} // namespace bridge::PaneParts
