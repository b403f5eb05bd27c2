#include "Views/PairCodeField.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Server/PairingRules.hpp"
#include "Views/Look.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace bridge {

namespace {

std::optional<std::string> codeOf(const QString& typed) {
    return Pairing::code(typed.toStdString());
}

} // namespace

PairCodeField::PairCodeField(BridgeModel& model, const QString& buttonText, bool prominent,
                             QWidget* parent)
    : QWidget(parent), model(model), field(new QLineEdit(this)),
      button(new QPushButton(buttonText, this)), failure(new HueLabel({}, Look::Hue::warn, this)) {
    setObjectName(QStringLiteral("pairCodeField"));
    field->setObjectName(QStringLiteral("pairCode"));
    button->setObjectName(QStringLiteral("pairButton"));
    failure->setObjectName(QStringLiteral("pairFailure"));

    auto* label = new QLabel(QStringLiteral("Pairing code"), this);
    label->setObjectName(QStringLiteral("pairCodeLabel"));
    label->setBuddy(field);
    field->setPlaceholderText(example());
    field->setAccessibleName(label->text());
    button->setDefault(prominent);
    button->setEnabled(false);
    failure->setWordWrap(true);
    failure->hide();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(label);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(field, 1);
    row->addWidget(button);
    column->addLayout(row);
    column->addWidget(failure);

    connect(field, &QLineEdit::textEdited, this, &PairCodeField::edited);
    connect(field, &QLineEdit::returnPressed, this, &PairCodeField::submit);
    connect(button, &QPushButton::clicked, this, &PairCodeField::submit);
}

void PairCodeField::setButtonText(const QString& text) {
    button->setText(text);
}

void PairCodeField::focusCode() {
    field->setFocus(Qt::OtherFocusReason);
}

QString PairCodeField::code() const {
    return field->text();
}

QString PairCodeField::message() const {
    return failure->isHidden() ? QString() : failure->text();
}

QString PairCodeField::example() {
    return qText(Pairing::shown("K7QX4MPA"));
}

QString PairCodeField::tidied(const QString& typed) {
    // Every other character stays, so that what was typed is what shows: a code with a
    // character outside the alphabet, or one too many, must not turn into another code.
    QString kept;
    for (const QChar c : typed.toUpper()) {
        const bool separator = c.isSpace() || c == u'-';
        const bool afterSeparator = kept.isEmpty() || kept.back() == u' ' || kept.back() == u'-';
        if (!separator) {
            kept.append(c);
        } else if (!afterSeparator) {
            kept.append(c == u'-' ? c : QChar(u' '));
        }
    }
    return kept;
}

void PairCodeField::edited(const QString& typed) {
    const QString tidy = tidied(typed);
    if (tidy != typed) {
        // Keep the cursor after the same characters it followed.
        const int cursor = static_cast<int>(tidied(typed.left(field->cursorPosition())).size());
        field->setText(tidy);
        field->setCursorPosition(cursor);
    }
    button->setEnabled(!pairing && codeOf(tidy).has_value());
}

void PairCodeField::submit() {
    const auto code = codeOf(field->text());
    if (pairing || !code) {
        return;
    }
    setPairing(true);
    QPointer<PairCodeField> alive(this);
    model.pair(*code, model.server(),
               [alive](const std::optional<Paired>& paired, const std::string& failure) {
                   if (alive) {
                       alive->finish(paired.has_value(), qText(failure));
                   }
               });
}

void PairCodeField::finish(bool succeeded, const QString& message) {
    setPairing(false);
    failure->setText(message);
    failure->setVisible(!succeeded);
    if (succeeded) {
        field->clear();
        button->setEnabled(false);
        Q_EMIT paired();
    }
}

void PairCodeField::setPairing(bool on) {
    pairing = on;
    field->setEnabled(!on);
    button->setEnabled(!on && codeOf(field->text()).has_value());
}

} // namespace bridge
