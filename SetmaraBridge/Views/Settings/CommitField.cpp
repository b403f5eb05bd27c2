#include "Views/Settings/CommitField.hpp"

#include <QFocusEvent>

namespace bridge {

CommitField::CommitField(const QString& label, bool secure, const QString& prompt, Commit commit,
                         QWidget* parent)
    : QLineEdit(parent), label_(label), commit(std::move(commit)) {
    setObjectName(label);
    setAccessibleName(label);
    setPlaceholderText(prompt);
    if (secure) {
        setEchoMode(QLineEdit::Password);
    }
    connect(this, &QLineEdit::returnPressed, this, &CommitField::commitDraft);
}

void CommitField::setCommitted(const QString& value) {
    const bool editing = hasFocus() && text() != committed_;
    committed_ = value;
    if (!editing) {
        setText(value);
    }
}

void CommitField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    commitDraft();
}

void CommitField::commitDraft() {
    if (text() == committed_) {
        return;
    }
    const QString draft = text();
    commit(draft);
    // A draft the owner did not take (the model kept its value) gives way to the value.
    setText(committed_);
}

} // namespace bridge
