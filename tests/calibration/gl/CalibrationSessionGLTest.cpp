// A slope calibration as a user runs it, with the 3D view drawn: the Sensor page finds the simulated
// meter, the Slope page opens the wizard, the user types the crank length and the weight and hangs the
// weight as each placement asks (the meter's torque set to what the weight makes), the results page
// shows the new slope, the report is mailed and the Slope page writes the slope to the meter.
//
// With PELOTUNE_SCREENSHOTS set to a folder, a picture of the window as the X server shows it (the
// view included) is saved there at the start, after every press but the last (calibrate-<model>-step<s>
// for the press at step s, once its animations have ended) and of the results (scripts/screenshots.sh
// runs it so).
#include "calibration/Calibrate.h"
#include "calibration/Results.h"
#include "support/SimulatedMeterFirmware.h"

#include "PageTimers.h"
#include "WindowRig.h"

#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace gltest {
bool contextRequired();
}

namespace {

using apptest::WindowRig;

bool busy()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QProgressDialog*>(widget) != nullptr && widget->isVisible()) {
            return true;
        }
    }
    for (QProgressDialog* box : QApplication::activeWindow() != nullptr
                                    ? QApplication::activeWindow()->findChildren<QProgressDialog*>()
                                    : QList<QProgressDialog*>()) {
        if (box->isVisible()) {
            return true;
        }
    }
    return false;
}

double slopeOf(const support::Bytes& bytes)
{
    return ((bytes[0] << 16) | (bytes[1] << 8) | bytes[2]) / 65536.0;
}

void screenshot(WindowRig& rig, const std::string& name)
{
    const QString folder = qEnvironmentVariable("PELOTUNE_SCREENSHOTS");
    if (folder.isEmpty()) {
        return;
    }
    rig.flush();
    QDir().mkpath(folder);
    // The view is drawn by OpenGL onto its own window: only the X server has the whole picture.
    QGuiApplication::primaryScreen()
        ->grabWindow(rig.window->winId())
        .save(QDir(folder).filePath(QString::fromStdString(name) + ".png"));
}

TEST(CalibrationSessionGLTest, AUserCalibratesTheSlopeWithAHangingWeight)
{
    if (QGuiApplication::platformName() != "xcb") {
        if (gltest::contextRequired()) {
            FAIL() << "no X display";
        }
        GTEST_SKIP() << "no X display";
    }
    struct Case
    {
        const char* name;
        int model;
        int presses; // presses before the final unloaded one
        const char* balance;
    };
    // Model 3 takes six readings (both chainrings); the KV7 (model 5) four.
    for (const Case& c : {Case{"six readings", 3, 7, "0.00"}, Case{"four readings on the KV7", 5, 5, "N/A"}}) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        std::unique_ptr<support::SimulatedMeterFirmware> firmware;
        support::SimulatedPowerMeter* meter = nullptr;
        rig.bench.plug(0x1008);
        rig.bench.meters = [&](support::SimulatedStickRadio& stick) {
            meter = &stick.addMeter(2222);
            meter->product.model = c.model;
            firmware = std::make_unique<support::SimulatedMeterFirmware>(*meter);
        };
        for (const char* title : {"Congratulations!", "KV7 Detected", "Notice", "Passed", "Failed", "Complete",
                                  "Warning", "Error"}) {
            rig.boxes.press(title, "OK");
        }
        rig.boxes.press("Send Data", "Yes");
        rig.start();
        rig.window->resize(268, 700);

        // The Sensor page of meter 2222, opened by its number.
        rig.button("enterIDButton")->click();
        auto* dialog = rig.window->findChild<QInputDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->setIntValue(2222);
        dialog->accept();
        ASSERT_TRUE(rig.runUntil([&] { return rig.stack()->count() == 3; }, 300));
        QWidget* sensor = rig.currentPage();
        ASSERT_TRUE(rig.runUntil([&] { return !busy(); }, 600));

        apptest::PageTimers timers(rig.stack());
        auto runPages = [&](const std::function<bool()>& done, int limitTicks = 1500) {
            return rig.runUntil(
                [&] {
                    timers.advance(33);
                    if (auto* wizard = qobject_cast<Calibrate*>(rig.currentPage())) {
                        wizard->update();
                    }
                    return done();
                },
                limitTicks);
        };
        auto label = [](QWidget* page, const char* name) { return page->findChild<QLabel*>(name)->text(); };

        // The Slope page: both slopes read.
        sensor->findChild<QPushButton*>("slopeButton")->click();
        rig.flush();
        QWidget* slopePage = rig.currentPage();
        ASSERT_TRUE(runPages([&] { return label(slopePage, "currentSlopeValue") == "12.50" && !busy(); }));

        // The wizard: the warning answered, the meter switched into its calibration setting.
        slopePage->findChild<QPushButton*>("calibrateSlopeButton")->click();
        rig.flush();
        auto* wizard = qobject_cast<Calibrate*>(rig.currentPage());
        ASSERT_NE(wizard, nullptr);
        EXPECT_TRUE(rig.boxes.boxes("Error").empty());
        ASSERT_TRUE(runPages([&] { return firmware->registers(0x3D, 1) == support::Bytes{60} && !busy(); }));
        ASSERT_TRUE(runPages([&] { return wizard->getAnimations().isEmpty(); }));
        screenshot(rig, std::string("calibrate-") + std::to_string(c.model) + "-start");

        wizard->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
        wizard->findChild<QLineEdit*>("weightUsedValue")->setText("20");
        wizard->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
        auto* button = wizard->findChild<QPushButton*>("continueButton");
        for (int press = 0; press <= c.presses; ++press) {
            const int step = wizard->getStep();
            // Unloaded at the first and last readings, the weight hanging at all others.
            const bool unloaded = step < 3 || step == 7 || (c.model == 5 && step == 2);
            meter->readings.torque = unloaded ? 1.0 : 28.5;
            if (step >= 2) {
                const QString reading = unloaded ? "Take reading (1.0000)" : "Take reading (28.5000)";
                ASSERT_TRUE(runPages([&] { return button->text() == reading; })) << "step " << step;
            }
            button->click();
            rig.flush();
            if (press < c.presses) {
                // Named by the step of the press: the placement it asks for, once its animations end.
                ASSERT_TRUE(runPages([&] { return wizard->getAnimations().isEmpty(); }));
                screenshot(rig, std::string("calibrate-") + std::to_string(c.model) + "-step" + std::to_string(step));
            }
        }

        // The meter confirms the end; the results page takes the wizard's place.
        ASSERT_TRUE(runPages([&] { return qobject_cast<Results*>(rig.currentPage()) != nullptr; }));
        QWidget* results = rig.currentPage();
        EXPECT_EQ(firmware->registers(0x3D, 1), support::Bytes{0});
        EXPECT_EQ(label(results, "oldSlopeValue"), "12.50");
        EXPECT_EQ(label(results, "slopeValue"), "15.60");
        EXPECT_EQ(label(results, "balanceValue"), c.balance);
        screenshot(rig, std::string("calibrate-") + std::to_string(c.model) + "-results");

        // Accept, with the report: the meter's directions and mode read, the mail drafted.
        const std::size_t mails = rig.urls.urls().size();
        results->findChild<QPushButton*>("acceptButton")->click();
        ASSERT_TRUE(runPages([&] { return rig.urls.urls().size() == mails + 1; }));
        const QString mail = QUrl::fromPercentEncoding(rig.urls.urls().back().toEncoded());
        EXPECT_TRUE(mail.startsWith("mailto:support@example.com?subject=Pelotune:calibration&body=Power Meter "
                                    "ID:2222\n Old Slope:12.500000\n"))
            << mail.toStdString();

        // Back on the Slope page, which writes the new slope.
        ASSERT_TRUE(runPages([&] { return rig.currentPage() == slopePage; }));
        ASSERT_TRUE(runPages([&] { return label(slopePage, "currentSlopeValue") == "15.60" && !busy(); }));
        EXPECT_NEAR(slopeOf(firmware->registers(0x09, 3)), 15.6015, 1e-3);
    }
}

} // namespace
