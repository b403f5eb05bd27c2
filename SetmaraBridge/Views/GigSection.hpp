#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace bridge {

class Badge;
class BridgeModel;
class GroupBoxed;
class QRView;
class SymbolButton;

// The live gig: its title and line, the sharing switch, the gig's pages, its QR code to
// scan, and the end of the gig, asked first.
class GigSection : public QWidget {
public:
    GigSection(BridgeModel& model, QWidget* parent);

    bool showingQR() const { return showingQR_; }
    bool confirmingEnd() const { return confirmingEnd_; }
    void refresh();

private:
    QWidget* makeControls();
    QWidget* makeConfirmation();
    void setShowingQR(bool on);
    void setConfirmingEnd(bool on);
    void fitTitle();

    BridgeModel& model;
    QLabel* title;
    Badge* live;
    QLabel* line;
    QCheckBox* sharing;
    QWidget* controls;
    SymbolButton* qrButton;
    QRView* qr;
    GroupBoxed* confirmation;
    bool showingQR_ = false;
    bool confirmingEnd_ = false;
};

} // namespace bridge
