#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bridge {

class BridgeModel;

// "Pairing code": a field for a one-time code and a button that exchanges it for a key
// through the model, with the failure shown under the field.
class PairCodeField : public QWidget {
    Q_OBJECT

public:
    // `buttonText` is the owner's ("Pair", "Pair again with code"); a prominent field's
    // button is the default one.
    PairCodeField(BridgeModel& model, const QString& buttonText, bool prominent,
                  QWidget* parent = nullptr);

    void setButtonText(const QString& text);
    // Puts the keyboard focus into the code field.
    void focusCode();

    QString code() const;
    bool isPairing() const { return pairing; }
    // The last failure's text; empty when there is none.
    QString message() const;

    // An example code in its printed form.
    static QString example();
    // What the user typed, tidied: upper case, no blank or hyphen at the start or twice in a
    // row, every other character kept.
    static QString tidied(const QString& typed);

Q_SIGNALS:
    void paired();

private:
    void edited(const QString& typed);
    void submit();
    void finish(bool succeeded, const QString& failure);
    void setPairing(bool on);

    BridgeModel& model;
    QLineEdit* field;
    QPushButton* button;
    QLabel* failure;
    bool pairing = false;
};

} // namespace bridge
