#include "Views/SetupSteps.hpp"

#include "Model/BridgeModel.hpp"
#include "Platform/QtText.hpp"
#include "Values/Source.hpp"
#include "Values/Wording.hpp"
#include "Views/Look.hpp"
#include "Views/PairCodeField.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace bridge {

namespace {

constexpr int symbolSide = 22;

// Room between the parts of a step.
constexpr int stepSpacing = 8;

// Left-aligned at its natural width.
QHBoxLayout* alone(QWidget* widget) {
    auto* row = new QHBoxLayout;
    row->addWidget(widget);
    row->addStretch();
    return row;
}

} // namespace

// The step's number in a circle, or a check mark in a filled circle once it is done.
class SetupSteps::StepSymbol : public QWidget {
public:
    StepSymbol(int number, QWidget* parent) : QWidget(parent), number(number) {
        setFixedSize(symbolSide, symbolSide);
        setDone(false);
    }

    void setDone(bool on) {
        done = on;
        setAccessibleName(done ? QStringLiteral("Done") : QStringLiteral("Step %1").arg(number));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (done) {
            const qreal s = symbolSide;
            painter.setPen(Qt::NoPen);
            painter.setBrush(Look::color(Look::Hue::ok, palette()));
            painter.drawEllipse(circle);
            painter.setPen(QPen(palette().color(QPalette::Window), 2.2, Qt::SolidLine, Qt::RoundCap,
                                Qt::RoundJoin));
            painter.drawPolyline(
                QList<QPointF>{{s * 0.29, s * 0.52}, {s * 0.44, s * 0.67}, {s * 0.72, s * 0.36}});
            return;
        }
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1.4));
        painter.drawEllipse(circle);
        painter.setFont(Look::bold(Look::scaled(font(), 0.9)));
        painter.drawText(rect(), Qt::AlignCenter, QString::number(number));
    }

private:
    int number;
    bool done = false;
};

SetupSteps::SetupSteps(BridgeModel& model, QWidget* parent)
    : QWidget(parent), model(model), pairedSymbol(new StepSymbol(1, this)),
      pairTitle(Look::wrapping({}, this)), pairHow(new QWidget(this)),
      field(new PairCodeField(model, QStringLiteral("Pair"), true, pairHow)) {
    setObjectName(QStringLiteral("setupSteps"));
    pairTitle->setObjectName(QStringLiteral("pairStepTitle"));
    pairTitle->setFont(Look::bold(pairTitle->font()));

    auto* how = Look::column(pairHow, stepSpacing);
    how->addWidget(Look::wrapping(QStringLiteral("Get a code in Setmara: Gigs › Bridges › Pair a "
                                                 "bridge. It works once, for 15 minutes."),
                                  pairHow));
    how->addWidget(field);
    auto* openSetmara = Look::button(QStringLiteral("Open Setmara"), "setupOpenSetmara", pairHow);
    how->addLayout(alone(openSetmara));

    auto* pairStep = Look::column(nullptr, stepSpacing);
    pairStep->addWidget(pairTitle);
    pairStep->addWidget(pairHow);

    auto* sourceTitle = Look::wrapping(QStringLiteral("Say what it reads"), this);
    sourceTitle->setFont(Look::bold(sourceTitle->font()));
    auto* openSettings = Look::button(QStringLiteral("Open Settings…"), "setupOpenSettings", this);
    auto* sourceStep = Look::column(nullptr, stepSpacing);
    sourceStep->addWidget(sourceTitle);
    sourceStep->addWidget(
        Look::wrapping(qText(Source::asked()) + QStringLiteral(": in Settings › Source."), this));
    sourceStep->addLayout(alone(openSettings));

    auto* all = Look::column(this, Look::spacing);
    all->addWidget(Look::wrapping(QStringLiteral("Sends the songs you play to your live gig in "
                                                 "Setmara, so dancers see them on their phones."),
                                  this));
    for (auto [symbol, step] : {std::pair<QWidget*, QLayout*>{pairedSymbol, pairStep},
                                {new StepSymbol(2, this), sourceStep}}) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(symbol, 0, Qt::AlignTop);
        row->addLayout(step, 1);
        all->addLayout(row);
    }
    auto* note = new HueLabel(QStringLiteral("Nothing is sent until both are done. The bridge "
                                             "only asks what plays; it never controls VirtualDJ "
                                             "or Spotify."),
                              Look::Hue::secondary, this);
    note->setWordWrap(true);
    all->addWidget(note);

    connect(openSetmara, &QPushButton::clicked, this, [this] { this->model.openSetmara(); });
    connect(openSettings, &QPushButton::clicked, this, &SetupSteps::sourceWanted);
    connect(&model, &BridgeModel::settingsChanged, this, &SetupSteps::refresh);
    refresh();
}

void SetupSteps::refresh() {
    const BridgeSettings& settings = model.settings();
    const bool paired = !settings.key.empty();
    pairedSymbol->setDone(paired);
    pairTitle->setText(paired ? QStringLiteral("Paired as ") +
                                    (settings.pairedAs.empty()
                                         ? qText(Wording::shown(Wording::thisComputer))
                                         : qText(settings.pairedAs))
                              : QStringLiteral("Pair with Setmara"));
    pairHow->setVisible(!paired);
}

} // namespace bridge
