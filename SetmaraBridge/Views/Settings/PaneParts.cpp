#include "Views/Settings/PaneParts.hpp"

#include "Platform/QtText.hpp"
#include "Views/Look.hpp"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace bridge::PaneParts {

QLabel* paragraph(const QString& text, const QString& name, QWidget* parent) {
    QLabel* label = Look::wrapping(text, parent);
    label->setObjectName(name);
    return label;
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new HueLabel(text, Look::Hue::secondary, parent);
    label->setObjectName(QStringLiteral("note"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

Section section(const QString& title, const QString& name, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(name);
    auto* stack = new QVBoxLayout(widget);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    auto* header = new SectionHeader(title, nullptr, widget);
    header->setObjectName(name + QStringLiteral("Title"));
    header->setVisible(!title.isEmpty());
    stack->addWidget(header);
    auto* group = new GroupBoxed(widget);
    stack->addWidget(group);
    auto* rows = new QFormLayout;
    rows->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    rows->setRowWrapPolicy(QFormLayout::DontWrapRows);
    rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    group->content()->addLayout(rows);
    return {widget, header, rows, group->content()};
}

} // namespace bridge::PaneParts
