// How the window and its boxes look to a user: every page of a meter fits the window, which keeps its
// size through them; boxes open over the window; the firmware page lays out its rows as the others.
#include "Screenshot.h"
#include "WindowRig.h"

#include "PageTimers.h"
#include "support/SimulatedMeterFirmware.h"

#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using apptest::WindowRig;

namespace {

constexpr int METER = 4444;

// The window with one meter in range, opened by its number as a user does.
class Looks : public testing::Test
{
protected:
    void SetUp() override
    {
        rig.bench.plug(0x1008);
        rig.bench.meters = [this](support::SimulatedStickRadio& stick) {
            meter = &stick.addMeter(METER);
            firmware = std::make_unique<support::SimulatedMeterFirmware>(*meter);
        };
        for (const char* title : {"Congratulations!", "KV7 Detected", "Notice"}) {
            rig.boxes.press(title, "OK");
        }
        rig.boxes.press("Warning", "I Understand");
        rig.start();
        designed = rig.window->size();
    }

    // Asks for the meter by its number; the connecting box is up until the Sensor page comes.
    void askForMeter()
    {
        rig.button("enterIDButton")->click();
        auto* dialog = rig.window->findChild<QInputDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->setIntValue(METER);
        dialog->accept();
    }

    void openMeter()
    {
        askForMeter();
        ASSERT_TRUE(rig.runUntil([&] { return rig.currentPageClass() == "Sensor"; }, 600));
    }

    // The visible busy box with this text, wherever it belongs.
    static QProgressDialog* busyBox(const QString& text)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QProgressDialog*>(widget);
            if (box != nullptr && box->isVisible() && box->labelText() == text) {
                return box;
            }
        }
        return nullptr;
    }

    WindowRig rig;
    support::SimulatedPowerMeter* meter = nullptr;
    std::unique_ptr<support::SimulatedMeterFirmware> firmware;
    QSize designed;
};

TEST_F(Looks, EveryPageOfAMeterFitsTheWindowWhichKeepsItsSize)
{
    openMeter();
    QWidget* sensor = rig.currentPage();
    EXPECT_EQ(rig.window->size(), designed);
    apptest::PageTimers timers(rig.stack());
    auto settle = [&] {
        return rig.runUntil(
            [&] {
                timers.advance(33);
                return QApplication::activeModalWidget() == nullptr;
            },
            1500);
    };
    ASSERT_TRUE(settle());
    // Opens a page as a user does, from a button of the page shown, once that page is idle.
    auto open = [&](const char* button, const char* pageClass) -> QWidget* {
        SCOPED_TRACE(pageClass);
        EXPECT_TRUE(settle());
        auto* opener = rig.currentPage()->findChild<QPushButton*>(button);
        if (opener == nullptr) {
            ADD_FAILURE() << button;
            return nullptr;
        }
        opener->click();
        rig.tick(3);
        EXPECT_EQ(rig.currentPageClass(), pageClass);
        EXPECT_LE(rig.currentPage()->minimumSizeHint().height(), rig.stack()->height());
        EXPECT_EQ(rig.window->size(), designed) << rig.window->height();
        return rig.currentPage();
    };
    auto back = [&](QWidget* to) {
        EXPECT_TRUE(settle());
        rig.button("backButton")->click();
        rig.tick(3);
        EXPECT_EQ(rig.currentPage(), to);
        EXPECT_EQ(rig.window->size(), designed) << rig.window->height();
    };

    QWidget* info = open("infoButton", "Info");
    ASSERT_NE(info, nullptr);
    for (const char* name : {"autozeroText", "pedalBalanceText", "zeroOffsetText", "zeroOffsetValue",
                             "zeroOffsetValue", "autozeroText", "pedalBalanceText", "zeroOffsetText"}) {
        QTest::mouseClick(info->findChild<QLabel*>(name), Qt::LeftButton);
    }
    open("factoryZeroButton", "FactoryZero");
    back(info);
    back(sensor);
    open("settingsButton", "Settings");
    back(sensor);
    QWidget* slope = open("slopeButton", "Slope");
    open("adjustSlopeButton", "Adjust");
    back(slope);
    open("calibrationTablesButton", "Tables");
    back(slope);
    back(sensor);
    open("diagnosticsButton", "Diagnostics");
    back(sensor);
    open("firmwareButton", "Firmware");
    back(sensor);
}

// A page that needs more room than the window has (large type, say) makes it grow; the window goes
// back to its size when the page leaves.
TEST_F(Looks, TheWindowShrinksBackWhenAPageThatMadeItGrowLeaves)
{
    auto* tall = new apptest::TestPage(rig.window.get());
    tall->setMinimumHeight(designed.height() + 100);
    rig.window->addStackedWidget(tall);
    rig.tick();
    EXPECT_GT(rig.window->height(), designed.height() + 100);
    rig.button("backButton")->click();
    rig.tick();
    EXPECT_EQ(rig.window->size(), designed);
}

// Busy boxes (the window's own while it connects, the Info page's first one) belong to the window and
// open over it, wherever the window is, not at the centre of the screen.
TEST_F(Looks, BusyBoxesBelongToTheWindowAndOpenOverIt)
{
    rig.window->move(160, 40);
    rig.tick();
    auto over = [&](QWidget* box) {
        const QPoint offset = box->frameGeometry().center() - rig.window->frameGeometry().center();
        return offset.manhattanLength() <= 4;
    };
    askForMeter();
    QProgressDialog* connecting = busyBox("Connecting to power meter...");
    ASSERT_NE(connecting, nullptr);
    EXPECT_EQ(connecting->parentWidget(), rig.window.get());
    EXPECT_TRUE(over(connecting)) << connecting->frameGeometry().center().x() << ","
                                  << connecting->frameGeometry().center().y();
    ASSERT_TRUE(rig.runUntil([&] { return rig.currentPageClass() == "Sensor"; }, 600));
    ASSERT_TRUE(rig.runUntil([&] { return QApplication::activeModalWidget() == nullptr; }, 600));

    rig.currentPage()->findChild<QPushButton*>("infoButton")->click();
    rig.tick();
    QProgressDialog* reading = busyBox("Reading Power Balance...");
    ASSERT_NE(reading, nullptr);
    ASSERT_NE(reading->parentWidget(), nullptr);
    EXPECT_EQ(reading->parentWidget()->window(), rig.window.get());
    EXPECT_TRUE(over(reading)) << reading->frameGeometry().center().x() << ","
                               << reading->frameGeometry().center().y();
}

// Relative luminance of a colour, and the contrast of two (1 to 21).
double luminance(QRgb colour)
{
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(colour)) + 0.7152 * channel(qGreen(colour)) + 0.0722 * channel(qBlue(colour));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The text of a button that waits for the meter's data is read against the button it stands on, and
// the chosen unit of the wizard's weight stands out from the other one.
TEST_F(Looks, WaitingButtonsAreReadableAndTheChosenUnitStandsOut)
{
    auto* group = new QGroupBox(rig.window->centralWidget());
    auto* layout = new QVBoxLayout(group);
    auto* waiting = new QPushButton("Waiting for data...", group);
    waiting->setEnabled(false);
    waiting->setFixedSize(220, 40);
    layout->addWidget(waiting);
    auto* kg = new QRadioButton("kg", group);
    auto* lbs = new QRadioButton("kg", group);
    layout->addWidget(kg);
    layout->addWidget(lbs);
    kg->setChecked(true);
    group->adjustSize();
    group->show();
    WindowRig::flush();
    apptest::Screenshot::screen(rig.window.get(), "waiting-button-and-units");

    // Where the text is drawn, against the same button without it.
    const QImage withText = waiting->grab().toImage();
    waiting->setText("");
    const QImage without = waiting->grab().toImage();
    ASSERT_EQ(withText.size(), without.size());
    double best = 1.0;
    for (int y = 0; y < withText.height(); ++y) {
        for (int x = 0; x < withText.width(); ++x) {
            best = std::max(best, contrast(withText.pixel(x, y), without.pixel(x, y)));
        }
    }
    EXPECT_GE(best, 4.5) << "the text barely stands out from its button";

    // The two radios differ only in which is chosen: their indicators differ clearly.
    const QImage chosen = kg->grab().toImage();
    const QImage other = lbs->grab().toImage();
    ASSERT_EQ(chosen.size(), other.size());
    int differing = 0;
    for (int y = 0; y < chosen.height(); ++y) {
        for (int x = 0; x < std::min(chosen.width(), 20); ++x) {
            differing += contrast(chosen.pixel(x, y), other.pixel(x, y)) >= 3.0 ? 1 : 0;
        }
    }
    EXPECT_GE(differing, 16) << "the chosen unit looks almost like the other";
}

// The firmware page shows each caption beside its value, as every other page does.
TEST_F(Looks, TheFirmwarePageShowsItsCaptionsBesideTheirValues)
{
    openMeter();
    ASSERT_TRUE(rig.runUntil([&] { return QApplication::activeModalWidget() == nullptr; }, 600));
    rig.currentPage()->findChild<QPushButton*>("firmwareButton")->click();
    rig.tick(3);
    ASSERT_EQ(rig.currentPageClass(), "Firmware");
    QWidget* page = rig.currentPage();
    for (const char* row : {"current", "available", "beta"}) {
        SCOPED_TRACE(row);
        auto* caption = page->findChild<QLabel*>(QString(row) + "Text");
        auto* value = page->findChild<QLabel*>(QString(row) + "Value");
        ASSERT_NE(caption, nullptr);
        ASSERT_NE(value, nullptr);
        const QRect captionArea(caption->mapTo(page, QPoint()), caption->size());
        const QRect valueArea(value->mapTo(page, QPoint()), value->size());
        EXPECT_EQ(captionArea.center().y(), valueArea.center().y()) << "on one line";
        EXPECT_LT(captionArea.right(), valueArea.left()) << "the caption first";
        EXPECT_EQ(value->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    }
}

} // namespace
