#include "Views/Settings/PaneParts.hpp"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>

namespace bridge::PaneParts {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* paragraph(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = paragraph(text, QStringLiteral("note"), parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QGroupBox* section(const QString& title, QFormLayout*& rows, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(title);
    rows = new QFormLayout(box);
    rows->setRowWrapPolicy(QFormLayout::DontWrapRows);
    rows->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    return box;
}

} // namespace bridge::PaneParts
