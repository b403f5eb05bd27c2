#pragma once

#include <QLineEdit>
#include <QString>

#include <functional>

namespace bridge {

// A text field that edits a draft and hands it over only when the user submits it or leaves
// the field. The committed value changes only through `commit`; the field shows it again
// whenever it is not being edited.
class CommitField : public QLineEdit {
    Q_OBJECT

public:
    using Commit = std::function<void(const QString& draft)>;

    // `label` names the field (its row and its accessible name); `secure` masks the text.
    CommitField(const QString& label, bool secure, const QString& prompt, Commit commit,
                QWidget* parent = nullptr);

    const QString& label() const { return label_; }
    const QString& committed() const { return committed_; }
    // Takes the committed value; the draft follows it unless the user is editing.
    void setCommitted(const QString& value);

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void commitDraft();

    QString label_;
    QString committed_;
    Commit commit;
};

} // namespace bridge
