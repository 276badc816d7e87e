#include "calibration/Results.h"
#include "app/Slope.h"

#include "MeterBench.h"
#include "Screenshot.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using apptest::MeterBench;

struct Readings
{
    float oldSlope;
    float length;
    float weight;
    float r1, r2, r3, r4;
    float zero;
    float gravity;
};

// A meter of `model` opened, a page standing for the Slope page below, and the results page of
// `readings` on top.
struct ResultsBench : MeterBench
{
    explicit ResultsBench(int model, const Readings& readings, int hardware = 44, int software = 30)
    {
        meter.product.model = model;
        meter.product.hardwareRevision = hardware;
        meter.product.softwareRevision = software;
        openMeter();
        below = push(new QWidget);
        page = push(new Results(device.get(), window.get(), readings.oldSlope, readings.length, readings.weight,
                                readings.r1, readings.r2, readings.r3, readings.r4, readings.zero,
                                readings.gravity));
    }
    ~ResultsBench() override { Slope::startSetSlope = 0.0f; }

    QWidget* below;
    QPointer<Results> page;
};

TEST(ResultsTest, TheNewSlopeAndTheRingDifferenceComeFromTheReadingsLessTheZero)
{
    struct Case
    {
        const char* name;
        int model;
        Readings readings;
        const char* slopeText;
        const char* slope;
        const char* balance;
    };
    // Length x weight x gravity is 32 N·m throughout, but where gravity is 0 (standard gravity).
    const Case cases[] = {
        // Mean 36: 12 x 32 / 36; the small ring's pair gives 16, the big one's 8.
        {"six readings", 3, {12.0f, 0.25f, 16.0f, 25.0f, 25.0f, 49.0f, 49.0f, 1.0f, 8.0f}, "New Slope", "10.67",
         "-66.67"},
        // r1 and r2 (the first unloaded reading) are no loaded readings: the mean is that of r3 and r4.
        {"four readings", 5, {12.0f, 0.25f, 16.0f, 0.0f, 1.0f, 49.0f, 49.0f, 1.0f, 8.0f}, "New Slope", "8.00",
         "N/A"},
        // Nothing measured, or a slope far outside the limits: no slope is offered (see the failed
        // calibrations below).
        {"readings equal to the zero", 3, {12.0f, 0.25f, 16.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 8.0f},
         "Calibration failed", "--", "0.00"},
        {"a mean of 1 N·m", 3, {12.0f, 0.25f, 16.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 8.0f}, "Calibration failed", "--",
         "0.00"},
        // 0.0001 as a float lies just below 0.0001: no load.
        {"a mean at the least load", 5, {12.0f, 0.25f, 16.0f, 0.0f, 0.0f, 0.0001f, 0.0001f, 0.0f, 8.0f},
         "Calibration failed", "--", "N/A"},
        {"a mean just above it", 5, {12.0f, 0.25f, 16.0f, 0.0f, 0.0f, 0.0002f, 0.0002f, 0.0f, 8.0f},
         "Calibration failed", "--", "N/A"},
        // Within a tenth of the limits the slope is offered at the limit: 12 x 32 / 14.5 = 26.48.
        {"just above the limit", 3, {12.0f, 0.25f, 16.0f, 14.5f, 14.5f, 14.5f, 14.5f, 0.0f, 8.0f},
         "Slope (clamped to limit!)", "25.00", "0.00"},
        // 12 x 32 / 140 = 2.74.
        {"just below the limit", 3, {12.0f, 0.25f, 16.0f, 140.0f, 140.0f, 140.0f, 140.0f, 0.0f, 8.0f},
         "Slope (clamped to limit!)", "3.00", "0.00"},
        // 0.175 m x 20 kg x 9.80665 m/s² = 34.32 N·m over 27.5.
        {"standard gravity", 3, {12.5f, 0.175f, 20.0f, 28.5f, 28.5f, 28.5f, 28.5f, 1.0f, 0.0f}, "New Slope",
         "15.60", "0.00"},
        {"gravity given", 3, {12.5f, 0.175f, 20.0f, 28.5f, 28.5f, 28.5f, 28.5f, 1.0f, 9.0f}, "New Slope", "14.32",
         "0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResultsBench b(c.model, c.readings);
        EXPECT_EQ(MeterBench::text(b.page, "oldSlopeValue"),
                  QString::asprintf("%.2f", static_cast<double>(c.readings.oldSlope)));
        EXPECT_EQ(MeterBench::text(b.page, "slopeText"), c.slopeText);
        EXPECT_EQ(MeterBench::text(b.page, "slopeValue"), c.slope);
        EXPECT_EQ(MeterBench::text(b.page, "balanceValue"), c.balance);
    }

    // Gravity 0 is standard gravity, to the bit (one bench at a time: each has the process's log).
    Readings readings{12.5f, 0.175f, 20.0f, 28.5f, 28.5f, 28.5f, 28.5f, 1.0f, 0.0f};
    float standard = 0.0f;
    {
        ResultsBench b(3, readings);
        standard = b.page->getNewSlope();
    }
    readings.gravity = 9.80665f;
    ResultsBench given(3, readings);
    EXPECT_EQ(standard, given.page->getNewSlope());
}

TEST(ResultsTest, ACalibrationThatMeasuredNothingSaysItFailedAndWhyAndOffersNoSlope)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        const char* name;
        int model;
        Readings readings;
        const char* reason;
    };
    // 0.175 m x 20 kg at standard gravity and the old slope 12.5, where not said otherwise.
    const Case cases[] = {
        {"no weight hung", 3, {12.5f, 0.175f, 20.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f},
         "the weight added no torque (0.00 Nm on average over the unloaded reading). Check that the weight hangs "
         "from the level crank arm, then calibrate again."},
        {"all zero", 5, {12.5f, 0.175f, 20.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
         "the weight added no torque (0.00 Nm on average over the unloaded reading). Check that the weight hangs "
         "from the level crank arm, then calibrate again."},
        {"reversed", 3, {12.5f, 0.175f, 20.0f, -27.5f, -27.5f, -27.5f, -27.5f, 0.0f, 0.0f},
         "the weight added no torque (-27.50 Nm on average over the unloaded reading). Check that the weight "
         "hangs from the level crank arm, then calibrate again."},
        {"1e-5 N·m", 3, {12.5f, 0.175f, 20.0f, 1e-5f, 1e-5f, 1e-5f, 1e-5f, 0.0f, 0.0f},
         "the weight added no torque (0.00 Nm on average over the unloaded reading). Check that the weight hangs "
         "from the level crank arm, then calibrate again."},
        {"499 N·m", 3, {12.5f, 0.175f, 20.0f, 499.0f, 499.0f, 499.0f, 499.0f, 0.0f, 0.0f},
         "the slope measured, 0.86, is far outside the limits of 3 to 25. Check the crank length, the weight and "
         "where it hangs, then calibrate again."},
        {"a reading not a number", 3, {12.5f, 0.175f, 20.0f, kNaN, 28.5f, 28.5f, 28.5f, 1.0f, 0.0f},
         "the readings, the crank length or the weight are not numbers a slope can be worked out from."},
        {"an infinite weight", 3, {12.5f, 0.175f, kInf, 28.5f, 28.5f, 28.5f, 28.5f, 1.0f, 0.0f},
         "the readings, the crank length or the weight are not numbers a slope can be worked out from."},
        {"a length of 1e27 m", 3, {12.5f, 1e27f, 20.0f, 28.5f, 28.5f, 28.5f, 28.5f, 1.0f, 0.0f},
         "the slope measured, 8.92e+28, is far outside the limits of 3 to 25. Check the crank length, the weight "
         "and where it hangs, then calibrate again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResultsBench b(c.model, c.readings);
        EXPECT_TRUE(b.page->calibrationFailed());
        EXPECT_EQ(MeterBench::text(b.page, "slopeText"), "Calibration failed");
        EXPECT_EQ(MeterBench::text(b.page, "slopeValue"), "--");
        EXPECT_EQ(MeterBench::text(b.page, "failureText"), QString("The calibration failed: ") + c.reason);
        EXPECT_FALSE(MeterBench::text(b.page, "balanceValue").contains("nan"));
        // Decline and Back stay; Accept is gone, and a click that reaches it anyway hands nothing on.
        EXPECT_FALSE(MeterBench::button(b.page, "acceptButton")->isVisibleTo(b.page));
        EXPECT_TRUE(MeterBench::button(b.page, "declineButton")->isVisibleTo(b.page));
        if (std::string(c.name) == "no weight hung") {
            apptest::Screenshot::screen(b.window.get(), "calibrate-results-failed");
        }
        b.page->acceptClicked();
        MeterBench::flush();
        EXPECT_TRUE(b.answerer.boxes("Send Data").empty());
        EXPECT_EQ(Slope::startSetSlope, 0.0f);
        EXPECT_EQ(b.currentPage(), b.page.data());
        b.window->backClicked();
        MeterBench::flush();
        EXPECT_EQ(b.currentPage(), b.below);
        EXPECT_EQ(Slope::startSetSlope, 0.0f);
    }
}

TEST(ResultsTest, DeclineHandsNoSlopeOn)
{
    ResultsBench b(3, {12.0f, 0.25f, 16.0f, 25.0f, 25.0f, 49.0f, 49.0f, 1.0f, 8.0f});
    MeterBench::button(b.page, "declineButton")->click();
    MeterBench::flush();
    EXPECT_TRUE(b.page.isNull());
    EXPECT_EQ(b.currentPage(), b.below);
    EXPECT_EQ(Slope::startSetSlope, 0.0f);
    EXPECT_TRUE(b.urls.urls().empty());
}

TEST(ResultsTest, AcceptWithoutTheReportHandsTheSlopeOnAndAsksTheMeterNothing)
{
    ResultsBench b(3, {12.0f, 0.25f, 16.0f, 25.0f, 25.0f, 49.0f, 49.0f, 1.0f, 8.0f});
    b.answerer.press("Send Data", "No");
    const std::size_t asked = b.meter.acknowledgedReceived().size();
    MeterBench::button(b.page, "acceptButton")->click();
    MeterBench::flush();
    ASSERT_EQ(b.answerer.boxes("Send Data").size(), 1u);
    EXPECT_EQ(b.answerer.boxes("Send Data")[0].text,
              "Send calibration data to Velonix?\nIt will be automatically archived, no response will be returned.");
    EXPECT_TRUE(b.page.isNull());
    EXPECT_EQ(b.currentPage(), b.below);
    EXPECT_FLOAT_EQ(Slope::startSetSlope, 12.0f * 32.0f / 36.0f);
    EXPECT_TRUE(b.urls.urls().empty());
    b.run(1000);
    EXPECT_EQ(b.meter.acknowledgedReceived().size(), asked);
}

TEST(ResultsTest, TheReportReadsTheDirectionsAndTheModeAndIsMailedWhole)
{
    struct Case
    {
        const char* name;
        int model, hardware, software;
        std::vector<QString> directionLines;
        const char* gam;
    };
    // Hardware 7 to 9 with software 20 to 28 has one direction for torque and cadence; the others
    // have both, the torque bit read the other way round.
    const Case cases[] = {
        {"one direction", 5, 8, 25, {"Direction:forward"}, "GAM:enabled"},
        {"torque and cadence directions", 3, 44, 30, {"Torque Direction:forward", "Cadence Direction:reverse"},
         "GAM:disabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Readings readings{12.5f, 0.175f, 20.0f, c.model == 5 ? 0.0f : 28.5f, 1.0f, 28.5f, 28.5f, 1.0f, 0.0f};
        ResultsBench b(c.model, readings, c.hardware, c.software);
        b.firmware.setRegisters(0x1E, {static_cast<unsigned char>(c.model == 5 ? 0x40 : 0x00)});
        b.firmware.setRegisters(0x3E, {static_cast<unsigned char>(c.model == 5 ? 1 : 2)});
        const float newSlope = b.page->getNewSlope();
        b.answerer.press("Send Data", "Yes");
        MeterBench::button(b.page, "acceptButton")->click();
        const std::vector<QString> boxes = b.busyTextsUntil([&] { return !b.urls.urls().empty(); });
        EXPECT_EQ(boxes, (std::vector<QString>{"Reading Direction..", "Reading Mode..."}));
        MeterBench::flush();
        EXPECT_TRUE(b.page.isNull());
        EXPECT_EQ(b.currentPage(), b.below);
        EXPECT_EQ(Slope::startSetSlope, newSlope);
        EXPECT_FALSE(MeterBench::busy());

        ASSERT_EQ(b.urls.urls().size(), 1u);
        const QString mail = QUrl::fromPercentEncoding(b.urls.urls()[0].toEncoded());
        const QString head = "mailto:support@example.com?subject=Pelotune:calibration&body=";
        ASSERT_TRUE(mail.startsWith(head)) << mail.toStdString();
        std::vector<QString> expected = {
            "Power Meter ID:4321",
            " Old Slope:12.500000",
            " Local Gravity:0.000000",
            " Length:" + QString::asprintf("%f", static_cast<double>(0.175f)),
            " Weight:20.000000",
            " Torque Left Small:" + QString(c.model == 5 ? "0.000000" : "28.500000"),
            " Torque Right Small:1.000000",
            " Torque Left Big:28.500000",
            " Torque Right Big:28.500000",
            " Torque No Weight:1.000000",
            " New Slope:" + QString::asprintf("%f", static_cast<double>(newSlope)),
        };
        expected.insert(expected.end(), c.directionLines.begin(), c.directionLines.end());
        expected.insert(expected.end(), {c.gam, "Pelotune Version:1.9", "ANT Service Library Version:0.0.0", ""});
        const QStringList lines = mail.mid(head.size()).split('\n');
        EXPECT_EQ(std::vector<QString>(lines.begin(), lines.end()), expected);
    }
}

TEST(ResultsTest, WithoutAMailClientTheReportStaysOnScreenToCopyAndTheSlopeIsHandedOn)
{
    ResultsBench b(3, {12.0f, 0.25f, 16.0f, 25.0f, 25.0f, 49.0f, 49.0f, 1.0f, 8.0f});
    // A handler that can't be called: the desktop can't open the link.
    QObject refuser;
    QDesktopServices::setUrlHandler("mailto", &refuser, "noSuchSlot");
    b.page->sendData();
    QDesktopServices::setUrlHandler("mailto", &b.urls, "openUrl");
    MeterBench::flush();

    // The page has gone back; the box with the report is still there.
    EXPECT_TRUE(b.page.isNull());
    EXPECT_EQ(b.currentPage(), b.below);
    EXPECT_FLOAT_EQ(Slope::startSetSlope, 12.0f * 32.0f / 36.0f);
    QMessageBox* shown = nullptr;
    for (QMessageBox* box : b.window->findChildren<QMessageBox*>()) {
        if (box->windowTitle() == "No email client found") {
            shown = box;
        }
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(shown->isModal());
    const QString text = shown->text();
    EXPECT_TRUE(text.startsWith("<Please copy the following message into an email to: support@example.com\n"
                                "With the subject: Pelotune:calibration\nThank you!\n\nPower Meter ID:4321\n "
                                "Old Slope:12.000000\n"))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\nPelotune Version:1.9\nANT Service Library Version:0.0.0\n")) << text.toStdString();
    shown->close();
}

} // namespace
