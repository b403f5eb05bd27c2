#include "Platform/Alerting.hpp"
#include "PlatformTesting.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

namespace bridge {
namespace {

class AlertingTests : public ::testing::Test {
protected:
    void SetUp() override { testing::useApplication(); }
    void TearDown() override {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox*>(widget) != nullptr) {
                delete widget; // one a failed test left open
            }
        }
    }

    // Shows `alert` and returns its box, the only message box on screen.
    QMessageBox* show(const Alert& alert) {
        alerts.show(alert, [this](int chosen) {
            ++answers;
            this->chosen = chosen;
        });
        QMessageBox* found = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr) {
                EXPECT_EQ(found, nullptr) << "more than one message box";
                found = box;
            }
        }
        return found;
    }

    static QAbstractButton* button(QMessageBox* box, const QString& text) {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text) {
                return button;
            }
        }
        return nullptr;
    }

    // Whether the box answered `expected`, once, and then went away.
    ::testing::AssertionResult answeredOnce(QPointer<QMessageBox> box, int expected) {
        if (!testing::waitUntil([&] { return answers > 0 && box.isNull(); })) {
            return ::testing::AssertionFailure() << "no answer or the box stayed";
        }
        QCoreApplication::processEvents();
        if (answers != 1 || chosen != expected) {
            return ::testing::AssertionFailure()
                   << answers << " answers, the last " << chosen.value_or(-2);
        }
        return ::testing::AssertionSuccess();
    }

    MessageBoxAlerts alerts;
    int answers = 0;
    std::optional<int> chosen;
};

const Alert pairing{"Pair the bridge with code ABCD-2345?",
                    "It then sends the songs you play to the gig the code is for.",
                    {"Pair", "Cancel"},
                    1};

TEST_F(AlertingTests, ThePairingQuestionIsModalInFrontAndReturnMeansCancel) {
    QMessageBox* box = show(pairing);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeWindow(), box);
    EXPECT_EQ(box->text(), pairing.message);
    EXPECT_EQ(box->informativeText(), pairing.informative);
    ASSERT_EQ(box->buttons().size(), 2);
    QAbstractButton* pair = button(box, "Pair");
    QAbstractButton* cancel = button(box, "Cancel");
    ASSERT_NE(pair, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(box->defaultButton(), cancel);
    EXPECT_EQ(box->escapeButton(), cancel);
    EXPECT_TRUE(pair->shortcut().isEmpty());

    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(answeredOnce(box, 1));
}

TEST_F(AlertingTests, ReturnMeansCancelEvenWhilePairHasTheFocus) {
    QMessageBox* box = show(pairing);
    ASSERT_NE(box, nullptr);
    QAbstractButton* pair = button(box, "Pair");
    pair->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), pair);
    QTest::keyClick(pair, Qt::Key_Enter);
    EXPECT_TRUE(answeredOnce(box, 1));
}

TEST_F(AlertingTests, AClickedButtonAnswersItsIndex) {
    QMessageBox* box = show(pairing);
    ASSERT_NE(box, nullptr);
    button(box, "Pair")->click();
    EXPECT_TRUE(answeredOnce(box, 0));
}

const Alert threeButtons{"Quit the bridge?", "", {"Quit", "Save & Quit", "Stay"}};

TEST_F(AlertingTests, WithoutChoicesTheFirstIsDefaultAndTheLastEscapes) {
    QMessageBox* box = show(threeButtons);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->defaultButton(), button(box, "Quit"));
    EXPECT_EQ(box->escapeButton(), button(box, "Stay"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(answeredOnce(box, 0));
}

TEST_F(AlertingTests, AnAmpersandIsShownAndGivesNoKey) {
    QMessageBox* box = show(threeButtons);
    ASSERT_NE(box, nullptr);
    QAbstractButton* saveAndQuit = button(box, "Save && Quit");
    ASSERT_NE(saveAndQuit, nullptr);
    EXPECT_TRUE(saveAndQuit->shortcut().isEmpty());
    QTest::keyClick(box, Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(answeredOnce(box, 2));
}

TEST_F(AlertingTests, ClosingTheAlertIsTheEscapeAnswer) {
    Alert alert = threeButtons;
    alert.escapeButton = 0;
    QMessageBox* box = show(alert);
    ASSERT_NE(box, nullptr);
    box->close();
    EXPECT_TRUE(answeredOnce(box, 0));
}

} // namespace
} // namespace bridge
