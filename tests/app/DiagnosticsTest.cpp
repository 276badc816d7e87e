#include "app/Diagnostics.h"

#include "MeterBench.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using apptest::FixedFields;
using apptest::MeterBench;
using apptest::slopeBytes;
using support::Bytes;

// A device whose decoder the test fills, with the page made for it but not shown.
struct FieldsBench : MeterBench
{
    explicit FieldsBench(int hardware = 44, int software = 30, int model = 2)
    {
        device = new vant::device::VelonixPowerMeterDevice(kMeterNumber, manager.get(), 0, false);
        fields = new FixedFields;
        fields->ints = {{2, hardware}, {4, model}, {5, software}};
        device->sportData.reset(fields);
        page = std::make_unique<Diagnostics>(device.get(), window.get());
    }

    ~FieldsBench() { page.reset(); }

    // One strain page: the reed bits and the strain reading, as the decoder reports them.
    void sample(int reeds, int strain = 0)
    {
        fields->ints[24] = reeds;
        fields->ints[25] = strain;
        page->dataReceived(device.get(), 1 << 24 | 1 << 25);
    }

    FixedFields* fields;
    std::unique_ptr<Diagnostics> page;
};

// The lines of a mail link's body, decoded.
QStringList bodyLines(const QUrl& url, QString* subject = nullptr)
{
    const QByteArray encoded = url.toEncoded();
    const QByteArray query = encoded.mid(encoded.indexOf('?') + 1);
    QString body;
    for (const QByteArray& part : query.split('&')) {
        const QByteArray name = part.left(part.indexOf('='));
        const QString value =
            QString::fromUtf8(QByteArray::fromPercentEncoding(part.mid(part.indexOf('=') + 1)));
        if (name == "body") {
            body = value;
        } else if (name == "subject" && subject != nullptr) {
            *subject = value;
        }
    }
    return body.split("\r\n");
}

TEST(DiagnosticsTest, BrokenGaugeIsAReadingBeyondFifteenThousandUnitsRoundedDown)
{
    struct Case
    {
        int strain;
        const char* broken;
    };
    const Case cases[] = {
        {15000 * 256, "Yes"},
        {15000 * 256 - 1, "No"},
        {-14999 * 256, "No"},
        {-14999 * 256 - 1, "Yes"},
        {0, "No"},
        {-8388608, "Yes"},
    };
    FieldsBench b;
    // Unknown until the first strain reading: no gauge is called sound before it is measured.
    EXPECT_EQ(MeterBench::text(b.page.get(), "brokenValue"), "--");
    for (const Case& c : cases) {
        b.sample(0, c.strain);
        EXPECT_EQ(MeterBench::text(b.page.get(), "brokenValue"), c.broken) << c.strain;
    }
}

TEST(DiagnosticsTest, StuckSwitchesShowAfterElevenSamples)
{
    struct Case
    {
        const char* what;
        int model;
        std::vector<int> samples;
        const char* reeds;    // after the last sample
        const char* switches; // after the last sample
    };
    const std::vector<int> allToggle = {0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00,
                                        0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00};
    const Case cases[] = {
        {"eleven samples only gather", 2, std::vector<int>(allToggle.begin(), allToggle.begin() + 11),
         "1,1,1,1,1", "--"},
        {"every switch toggled", 2, allToggle, "0,0,0,0,0", "No"},
        {"gauge 2 never closed",
         2,
         {0x1B, 0, 0x1B, 0, 0x1B, 0, 0x1B, 0, 0x1B, 0, 0x1B, 0},
         "0,0,0,0,0",
         "0,0,1,0,0"},
        {"gauges 1 to 4 always closed",
         2,
         {0x1F, 0x1E, 0x1F, 0x1E, 0x1F, 0x1E, 0x1F, 0x1E, 0x1F, 0x1E, 0x1F, 0x1E},
         "0,1,1,1,1",
         "0,1,1,1,1"},
        {"closed in the first sample, open later",
         2,
         {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "0,0,0,0,0",
         "0,1,1,1,1"},
        {"four gauges", 5, {0x09, 0, 0x09, 0, 0x09, 0, 0x09, 0, 0x09, 0, 0x09, 0x09}, "1,0,0,1", "0,1,1,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FieldsBench b(44, 30, c.model);
        for (int reeds : c.samples) {
            b.sample(reeds);
        }
        EXPECT_EQ(MeterBench::text(b.page.get(), "reedsValue"), c.reeds);
        EXPECT_EQ(MeterBench::text(b.page.get(), "switchesValue"), c.switches);
    }
}

TEST(DiagnosticsTest, PagesWithoutStrainDataChangeNothing)
{
    FieldsBench b;
    b.fields->ints[24] = 0x1F;
    b.fields->ints[25] = 20000 * 256;
    b.page->dataReceived(b.device.get(), 0x3C);
    EXPECT_EQ(MeterBench::text(b.page.get(), "reedsValue"), "--");
    EXPECT_EQ(MeterBench::text(b.page.get(), "switchesValue"), "--");
    EXPECT_EQ(MeterBench::text(b.page.get(), "brokenValue"), "--");
}

TEST(DiagnosticsTest, ReportCarriesTheMetersIdentitySettingsAndResults)
{
    struct Case
    {
        const char* what;
        int hardware, software;
        int mode;
        std::vector<QString> directionLines;
        const char* powerControl;
    };
    const Case cases[] = {
        {"separate directions",
         44,
         30,
         48,
         {"Torque Direction:forward", "Cadence Direction:reverse"},
         "disabled"},
        {"one direction", 8, 25, 1, {"Direction:forward"}, "enabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FieldsBench b(c.hardware, c.software);
        b.fields->ints[6] = 0x1234 << 16 | 0x5678;
        b.fields->floats[1] = 3.14159f;
        b.fields->ints[3] = 255;
        b.fields->ints[21] = 1;
        b.fields->ints[23] = -12;
        b.page->directionReceived(b.device.get(), true);
        b.page->cadenceDirectionReceived(b.device.get(), false);
        b.page->slopeReceived(b.device.get(), 12.0f, true);
        b.page->slopeReceived(b.device.get(), 12.5f, false);
        b.page->modeReceived(b.device.get(), c.mode);
        QStringList expected = {"Power Meter ID:22136",
                                "Spider Serial Number:4660",
                                "Voltage:3.1",
                                "Hardware Version:" + QString::number(c.hardware),
                                "Manufacturer ID:255",
                                "Model Number:2",
                                "Software Version:" + QString::number(c.software),
                                "Autozero:1",
                                "Zero Offset:-12",
                                "Reed States:--"};
        for (const QString& line : c.directionLines) {
            expected << line;
        }
        expected << QString("G.A.M:") + c.powerControl << "Current Slope:12.5"
                 << "Factory Slope:12"
                 << "Pelotune Version:1.9"
                 << "Dongle Version:0x0000"
                 << "";
        EXPECT_EQ(b.page->report().split("\n"), expected);
    }
}

TEST(DiagnosticsTest, ReadsDirectionsSlopesAndModeInTurnThenSetsTheChecksCadenceMode)
{
    struct Case
    {
        const char* what;
        int hardware, software;
        Bytes direction, settings;
        std::vector<QString> boxes;
        QStringList directionLines;
    };
    const Case cases[] = {
        {"separate directions",
         44,
         30,
         {0x40},
         {0x01},
         {"Reading Torque Direction...", "Reading Cadence Direction...", "Reading Slope...",
          "Reading Mode..."},
         {"Torque Direction:reverse", "Cadence Direction:reverse"}},
        // The early hardware reads its direction bit the other way round.
        {"one combined direction",
         8,
         25,
         {0x40},
         {0x81},
         {"Reading Direction...", "Reading Slope...", "Reading Mode..."},
         {"Direction:forward"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterBench b;
        b.meter.product.hardwareRevision = c.hardware;
        b.meter.product.softwareRevision = c.software;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x1E, c.direction);
        b.firmware.setRegisters(0x39, c.settings);
        b.firmware.setRegisters(0x3D, {7, 1});
        b.firmware.setRegisters(0x09, slopeBytes(12.25f));
        b.firmware.setRegisters(0x21, slopeBytes(11.5f));
        b.openMeter();
        auto* page = b.push(new Diagnostics(b.device.get(), b.window.get()));
        const std::vector<QString> boxes = b.busyTextsUntil(
            [&] { return b.logged("Diagnostics::cadenceModeChanged") == 1 && !MeterBench::busy(); });
        EXPECT_EQ(boxes, c.boxes);
        // The meter runs in the check's cadence mode from the mode's read on.
        EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{60, 16}));

        const QStringList report = page->report().split("\n");
        for (const QString& line : c.directionLines) {
            EXPECT_TRUE(report.contains(line)) << line.toStdString();
        }
        EXPECT_EQ(report.filter("Direction:").size(), c.directionLines.size());
        EXPECT_TRUE(report.contains("G.A.M:enabled"));
        EXPECT_TRUE(report.contains("Current Slope:12.25"));
        EXPECT_TRUE(report.contains("Factory Slope:11.5"));
    }
}

TEST(DiagnosticsTest, ChecksTheMeterInItsCadenceModeAndMailsTheReport)
{
    MeterBench b;
    b.meter.product.model = 2;
    b.meter.product.serialNumber = 0x12345678;
    b.firmware.setRegisters(0x1E, {0x00});
    b.firmware.setRegisters(0x39, {0x81});
    b.firmware.setRegisters(0x3D, {0, 1}); // cadence 0x3D, mode 0x3E
    b.firmware.setRegisters(0x09, slopeBytes(12.25f));
    b.openMeter();
    b.push(new QWidget);
    auto* page = b.push(new Diagnostics(b.device.get(), b.window.get()));
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Reading Torque Direction..."});
    ASSERT_TRUE(b.runUntil([&] { return b.logged("Diagnostics::cadenceModeChanged") == 1; }));
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{60, 16}));

    // The crank turns: every reed switch opens and closes.
    for (int turn = 0; turn < 8; ++turn) {
        b.meter.readings.reedBits = turn % 2 == 0 ? 0x1F : 0x00;
        b.run(2500);
    }
    ASSERT_TRUE(b.runUntil([&] { return MeterBench::text(page, "switchesValue") == "No"; }, 60000));
    EXPECT_EQ(MeterBench::text(page, "brokenValue"), "No");

    b.answerer.press("Send Diagnostics", "OK");
    MeterBench::button(page, "sendButton")->click();
    ASSERT_EQ(b.urls.urls().size(), 1u);
    const QUrl mail = b.urls.urls()[0];
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path(), "support@example.com");
    EXPECT_FALSE(mail.toEncoded().contains(' '));
    EXPECT_FALSE(mail.toEncoded().contains('\n'));
    QString subject;
    const QStringList lines = bodyLines(mail, &subject);
    EXPECT_EQ(subject, "Pelotune:diagnostics");
    // Autozero 1: the meter's auto-zero status page says auto zero is supported.
    const QStringList expected = {"Power Meter ID:22136",
                                  "Spider Serial Number:4660",
                                  "Voltage:3.5",
                                  "Hardware Version:44",
                                  "Manufacturer ID:255",
                                  "Model Number:2",
                                  "Software Version:30",
                                  "Autozero:1",
                                  "Zero Offset:" + QString::number(b.firmware.calibration.value),
                                  "Reed States:No",
                                  "Torque Direction:forward",
                                  "Cadence Direction:forward",
                                  "G.A.M:enabled",
                                  "Current Slope:12.25",
                                  "Factory Slope:12",
                                  "Pelotune Version:1.9",
                                  "Dongle Version:0x0000",
                                  ""};
    EXPECT_EQ(lines, expected);

    // Cancelled: nothing is drafted.
    b.answerer.press("Send Diagnostics", "Cancel");
    MeterBench::button(page, "sendButton")->click();
    EXPECT_EQ(b.urls.urls().size(), 1u);

    // Leaving puts the cadence mode back.
    b.window->backClicked();
    MeterBench::flush();
    ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 2) == Bytes{0, 0}; }));
}

// Leaving puts back the mode the page read: SRM PowerControl stays on. A mode the program does not
// run the meter in goes back to 0, as the home page would set it anyway.
TEST(DiagnosticsTest, LeavingPutsBackTheModeItRead)
{
    struct Case
    {
        const char* what;
        int mode;
        Bytes after;
    };
    const Case cases[] = {
        {"PowerControl on", 48, {0, 48}},
        {"mode 0", 0, {0, 0}},
        {"a mode the program does not keep", 1, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterBench b;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x3D, {0, static_cast<unsigned char>(c.mode)});
        b.openMeter();
        b.push(new QWidget);
        b.push(new Diagnostics(b.device.get(), b.window.get()));
        ASSERT_TRUE(b.runUntil([&] { return b.logged("Diagnostics::cadenceModeChanged") == 1; }));
        EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{60, 16}));
        b.window->backClicked();
        MeterBench::flush();
        ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 2) == c.after; }, 5000));
        b.run(1000);
        EXPECT_EQ(b.firmware.registers(0x3D, 2), c.after);
    }
}

TEST(DiagnosticsTest, WithoutAMailClientTheReportIsShownToCopy)
{
    FieldsBench b;
    b.answerer.press("Send Diagnostics", "OK");
    // A handler that can't be called: the desktop can't open the link.
    QObject refuser;
    QDesktopServices::setUrlHandler("mailto", &refuser, "noSuchSlot");
    b.page->sendDiagnostics();
    QDesktopServices::setUrlHandler("mailto", &b.urls, "openUrl");

    QMessageBox* shown = nullptr;
    for (QMessageBox* box : b.page->findChildren<QMessageBox*>()) {
        if (box->windowTitle() == "No email client found") {
            shown = box;
        }
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->isModal());
    const QString text = shown->text();
    EXPECT_TRUE(
        text.startsWith("Please copy the following message into an email to: support@example.com\nWith the "
                        "subject: Pelotune:diagnostics\nThank you!\n\nPower Meter ID:0\n"));
    EXPECT_TRUE(text.endsWith("Dongle Version:0x0000\n"));
}

} // namespace
