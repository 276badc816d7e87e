// The firmware page as the window and the meter's home page use it: its starting state for a meter in
// its bootloader or running its firmware, the update warning, the firmware version once the meter
// reports it, help, going back when the meter's channel closes, the installation's identifier, the
// check against the HTTPS test server, every way into the upload and out of it, the report, and the
// beta mail and release notes.
#include "WindowRig.h"

#include "ant/device/BootloadImage.h"
#include "ant/device/MeterRig.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "app/Implementer.h"
#include "firmware/Firmware.h"
#include "firmware/FirmwareUpload.h"
#include "support/FirmwareImageWriter.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/UploadRecorder.h"
#include "support/qt/HttpsTestServer.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

#include <gtest/gtest.h>

#include <algorithm>

using apptest::WindowRig;

namespace {

constexpr int METER = 4242;

// The window with no stick, and beside it a meter opened on a simulated stick of its own, as the
// window would have opened it.
class FirmwareTest : public testing::Test
{
protected:
    void SetUp() override
    {
        rig.start();
        rig.window->show();
        meter.addMeterNumbers({METER});
        ASSERT_TRUE(meter.openByNumber(METER));
        device = new vant::device::VelonixPowerMeterDevice(METER, meter.manager.get(), 0, false);
    }

    void TearDown() override
    {
        rig.window.reset();
        WindowRig::flush();
        device->destroy();
    }

    // Makes the page and pushes it, as its openers do.
    Firmware* open(bool bootloadMode)
    {
        auto* page = new Firmware(device.get(), rig.window.get(), bootloadMode);
        rig.window->addStackedWidget(page);
        WindowRig::flush();
        return page;
    }

    static QString text(Firmware* page, const char* name)
    {
        if (auto* label = page->findChild<QLabel*>(name))
            return label->text();
        return page->findChild<QPushButton*>(name)->text();
    }
    static bool enabled(Firmware* page, const char* name)
    {
        return page->findChild<QPushButton*>(name)->isEnabled();
    }

    WindowRig rig;
    vant::test::MeterRig meter;
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
};

TEST_F(FirmwareTest, StartsWithTheCheckAllowedOnlyInTheBootloaderAndTheUpdateWarningUp)
{
    struct Case
    {
        bool bootloadMode;
        const char* current;
        bool checkEnabled;
        const char* checkText;
    };
    const Case cases[] = {
        {true, "None", true, "Check for Available Firmware"},
        {false, "--", false, "Waiting for data..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bootloadMode ? "bootloader" : "running firmware");
        Firmware* page = open(c.bootloadMode);

        EXPECT_EQ(text(page, "currentValue"), c.current);
        EXPECT_EQ(enabled(page, "checkButton"), c.checkEnabled);
        EXPECT_EQ(text(page, "checkButton"), c.checkText);
        EXPECT_FALSE(enabled(page, "uploadButton"));
        EXPECT_FALSE(enabled(page, "uploadBetaButton"));

        // The warning waits for the user without holding up the caller.
        QPointer<QMessageBox> warning = page->findChild<QMessageBox*>();
        ASSERT_FALSE(warning.isNull());
        EXPECT_TRUE(warning->isVisible());
        EXPECT_TRUE(warning->isModal());
        EXPECT_EQ(warning->windowTitle(), "Warning");
        EXPECT_EQ(warning->icon(), QMessageBox::Information);
        EXPECT_EQ(warning->textFormat(), Qt::RichText);
        EXPECT_EQ(warning->text(),
                  "<p>Firmware updating should NOT be taken lightly.</p> \t\t"
                  "<p>If you are on a laptop make sure it is fully charged.</p> \t\t"
                  "<p>Your power meter battery should be nearly new.<p> \t\t"
                  "</p>You will need a working internet connection to check for firmware.</p> \t\t"
                  "<p>Read the help page for details</p>");
        ASSERT_EQ(warning->buttons().size(), 1);
        EXPECT_EQ(warning->buttons().first()->text(), "I Understand");

        ASSERT_TRUE(support::clickButton(warning, "I Understand"));
        WindowRig::flush();
        EXPECT_TRUE(warning.isNull()) << "the box goes when it is dismissed";

        rig.window->backClicked();
        WindowRig::flush();
    }
}

TEST_F(FirmwareTest, TheReportedFirmwareVersionAllowsTheCheck)
{
    Firmware* page = open(false);

    ASSERT_TRUE(meter.runUntil([&] { return text(page, "currentValue") != "--"; }, 10000));

    int version = 0;
    ASSERT_TRUE(device->sportData->getField(&version, 5));
    EXPECT_EQ(text(page, "currentValue"), QString::number(version));
    EXPECT_TRUE(enabled(page, "checkButton"));
    EXPECT_EQ(text(page, "checkButton"), "Check for Firmware");
    EXPECT_FALSE(enabled(page, "uploadButton"));
    EXPECT_FALSE(enabled(page, "uploadBetaButton"));
}

TEST_F(FirmwareTest, MinimisingTheWindowKeepsThePageListening)
{
    Firmware* page = open(false);
    rig.window->showMinimized();
    WindowRig::flush();

    ASSERT_TRUE(meter.runUntil([&] { return text(page, "currentValue") != "--"; }, 10000));
    EXPECT_TRUE(enabled(page, "checkButton"));

    rig.window->showNormal();
    WindowRig::flush();
    EXPECT_EQ(rig.stack()->currentWidget(), page);
    EXPECT_EQ(rig.boxes.boxes("Warning").size(), 1u) << "the update warning comes only with the page";

    // A page opened while the window is minimised listens from the start.
    rig.window->backClicked();
    rig.window->showMinimized();
    WindowRig::flush();
    Firmware* later = open(false);
    ASSERT_TRUE(meter.runUntil([&] { return text(later, "currentValue") != "--"; }, 10000));
}

TEST_F(FirmwareTest, HelpOpensTheFirmwareTopic)
{
    open(true);

    rig.button("helpButton")->click();

    ASSERT_EQ(rig.urls.urls().size(), 1u);
    EXPECT_EQ(rig.urls.urls()[0], QUrl(HELP_URL "/firmware.html"));
}

// Lost meter: its channel closes and the window goes back to the menu, past the page that opened this
// one.
TEST_F(FirmwareTest, AClosedMeterGoesBackToTheMenu)
{
    QPointer<QWidget> opener = new apptest::TestPage();
    rig.window->addStackedWidget(opener);
    QPointer<Firmware> page = open(false);
    ASSERT_EQ(rig.stack()->count(), 4);

    device->destroy();
    WindowRig::flush();

    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_TRUE(page.isNull());
    EXPECT_TRUE(opener.isNull());
}

TEST_F(FirmwareTest, TheInstallationsIdentifierIsMadeOnceAndKept)
{
    const std::string uuidFile = rig.folder.file("uuid");

    // The first page makes it: random, written with braces in lower case and without a line end.
    Firmware* first = open(true);
    const std::string written = support::readFile(uuidFile);
    ASSERT_EQ(written.size(), 38u);
    const QUuid made = QUuid::fromString(QString::fromStdString(written));
    ASSERT_FALSE(made.isNull());
    EXPECT_EQ(written, made.toString().toStdString());
    const QString shown = made.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(first->getUUIDString(), shown);
    EXPECT_TRUE(rig.logged("Firmware::Firmware using UUID:" + shown.toStdString()));
    EXPECT_TRUE(QDir(QString::fromStdString(rig.folder.file("firmware"))).exists());
    EXPECT_TRUE(rig.logged("Firmware::Firmware using firmware folder:" + rig.folder.file("firmware")));

    struct Case
    {
        const char* name;
        std::string file;
        QString identifier;
    };
    const Case cases[] = {
        {"as written", written, shown},
        {"without braces", "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"},
        {"damaged: the null identifier, for as long as the file stays", "not an identifier",
         "00000000-0000-0000-0000-000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(support::writeFile(uuidFile, c.file));
        Firmware* page = open(true);
        EXPECT_EQ(page->getUUIDString(), c.identifier);
        EXPECT_EQ(support::readFile(uuidFile), c.file) << "never written again";
        rig.window->backClicked();
        WindowRig::flush();
    }
}

// ---- Check, upload and report, against the HTTPS test server and the simulated bootloader ----

using support::FirmwareImageWriter;
using support::HttpsTestServer;

const char* const NO_BOOTLOADER = "No bootloader available.\nThis power meter cannot be updated.";
const char* const NOT_UPLOADED =
    "Firmware was not uploaded. Please reset the power meter, replace your battery, and try again.";

std::string catalogue(const std::vector<std::pair<std::string, std::string>>& items)
{
    std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Firmware</title>";
    for (const auto& item : items) {
        text += "<item><title>" + item.first + "</title><link>" + item.second + "</link></item>";
    }
    return text + "</channel></rss>";
}

FirmwareImageWriter::Header imageHeader(const std::string& version, const std::string& type)
{
    FirmwareImageWriter::Header header;
    header.version = version;
    header.type = type;
    return header;
}

// The window without a stick, the firmware server on this machine, and beside them a meter with its
// firmware and bootloader, opened on a simulated stick of its own as the window would have opened it.
// Boxes the page shows are answered as a user would.
class UpdateBench
{
public:
    UpdateBench()
    {
        EXPECT_TRUE(server.error().isEmpty()) << server.error().toStdString();
        QSslConfiguration trusting = defaultConfiguration;
        trusting.addCaCertificate(server.certificate());
        QSslConfiguration::setDefaultConfiguration(trusting);
        for (const char* title : {"Success!", "Failed", "Error", "Network Error"}) {
            rig.boxes.press(title, "OK");
        }
        rig.boxes.press("Warning", "I Understand");
        rig.start();
        rig.window->setFirmwareServer(server.url());
        simulated = &meter.radio->addMeter(METER);
        firmware = std::make_unique<support::SimulatedMeterFirmware>(*simulated);
        setCatalogue(catalogue({}));
    }

    ~UpdateBench()
    {
        rig.window.reset();
        WindowRig::flush();
        if (device) {
            device->removePowerMeterDeviceListener(&events);
            device->destroy();
        }
        QSslConfiguration::setDefaultConfiguration(defaultConfiguration);
    }

    UpdateBench(const UpdateBench&) = delete;
    UpdateBench& operator=(const UpdateBench&) = delete;

    void setCatalogue(const std::string& text)
    {
        HttpsTestServer::Response response;
        response.body = QByteArray::fromStdString(text);
        server.setResponse("/rss", response);
    }
    void cache(const std::string& name, const std::string& content)
    {
        QDir().mkpath(QString::fromStdString(rig.folder.file("firmware")));
        EXPECT_TRUE(support::writeFile(rig.folder.file("firmware/" + name), content));
    }

    // Connects to the meter: on the application's settings, or on the bootloader's for one already
    // there.
    bool connect(bool inBootloader)
    {
        if (inBootloader) {
            firmware->enterBootloader();
            vant::test::SearchRecorderBase found;
            rezezaz::core::IntrusivePointer<vant::search::SportDeviceSearch> search =
                new vant::search::SportDeviceSearch(meter.manager.get());
            search->addSportDeviceSearchListener(&found);
            search->search(6, METER, 11, 3136, 70, 0, false);
            meter.runUntil([&] { return found.ended; }, 10000);
            search->destroy();
            if (!found.found) {
                return false;
            }
        } else if (!meter.openByNumber(METER)) {
            return false;
        }
        device = new vant::device::VelonixPowerMeterDevice(METER, meter.manager.get(), 0, inBootloader);
        device->addPowerMeterDeviceListener(&events);
        return true;
    }

    Firmware* open(bool bootloadMode, int silenceLimitMs = Firmware::UPLOAD_SILENCE_LIMIT_MS)
    {
        page = new Firmware(device.get(), rig.window.get(), bootloadMode, silenceLimitMs);
        rig.window->addStackedWidget(page);
        WindowRig::flush();
        return page;
    }

    // One tick of the window's pump on the meter's stick, then the toolkit's events.
    void tick()
    {
        meter.manager->update(vant::test::MeterRig::kTick);
        rig.boxes.poll();
        WindowRig::flush();
        noteProgressBox();
    }
    // Keeps the text of each progress box the page shows, once.
    void noteProgressBox()
    {
        QProgressDialog* box = progressBox();
        if (box != nullptr && (progressTexts.empty() || progressTexts.back() != box->labelText())) {
            progressTexts.push_back(box->labelText());
        }
    }
    // Ticks until `done`, for at most `limitMs` of the meter's time.
    bool pumpUntil(const std::function<bool()>& done, int limitMs)
    {
        for (int elapsed = 0; !done(); elapsed += vant::test::MeterRig::kTick) {
            if (elapsed >= limitMs) {
                return false;
            }
            tick();
        }
        return true;
    }
    // Handles the toolkit's events (the server, the jobs' results) until `done`, in real time.
    bool waitFor(const std::function<bool()>& done, int limitMs = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limitMs) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            rig.boxes.poll();
            noteProgressBox();
        }
        return true;
    }

    QPushButton* button(const char* name) { return page->findChild<QPushButton*>(name); }
    QString label(const char* name) { return page->findChild<QLabel*>(name)->text(); }
    // The progress box now shown, or null: the page's, or the upload's once the upload reports (the
    // upload belongs to the window).
    QProgressDialog* progressBox()
    {
        for (QProgressDialog* box : rig.window->findChildren<QProgressDialog*>()) {
            if (box->isVisible()) {
                return box;
            }
        }
        return nullptr;
    }
    int seen(const char* title) { return static_cast<int>(rig.boxes.boxes(title).size()); }

    // Presses the check button and waits until the check is over.
    bool check()
    {
        button("checkButton")->click();
        QPointer<QProgressDialog> busy = progressBox();
        EXPECT_FALSE(busy.isNull());
        if (!busy.isNull()) {
            EXPECT_EQ(busy->labelText(), "Checking for the latest firmware");
            EXPECT_EQ(busy->maximum(), 0);
        }
        return waitFor([&] { return busy.isNull(); });
    }

    // The meter's application area after the upload of `image` to a bootloader at `start`, as the
    // bootloader should have written it.
    std::vector<unsigned char> expectedArea(const std::vector<unsigned char>& image, int start)
    {
        std::vector<unsigned char> laidOut(0x10000);
        vant::device::layOutBootloadImage(image.data(), start, laidOut.data());
        return std::vector<unsigned char>(laidOut.begin() + 0x8000, laidOut.begin() + start);
    }
    std::vector<unsigned char> flashArea(int start)
    {
        return std::vector<unsigned char>(firmware->flash().begin() + 0x8000,
                                          firmware->flash().begin() + start);
    }

    const QSslConfiguration defaultConfiguration = QSslConfiguration::defaultConfiguration();
    HttpsTestServer server;
    WindowRig rig;
    vant::test::MeterRig meter;
    support::SimulatedPowerMeter* simulated = nullptr;
    std::unique_ptr<support::SimulatedMeterFirmware> firmware;
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    support::UploadRecorder events;
    QPointer<Firmware> page;
    std::vector<QString> progressTexts;
};

TEST(FirmwareUpdateTest, ACheckOffersOnlyWhatItFound)
{
    const std::string release =
        FirmwareImageWriter::file(imageHeader("31", "Release"), FirmwareImageWriter::image(1));
    const std::string beta =
        FirmwareImageWriter::file(imageHeader("33", "Beta"), FirmwareImageWriter::image(2));
    struct Case
    {
        const char* name;
        int catalogueStatus;
        std::vector<std::pair<std::string, std::string>> files; // cached before the check
        const char* available;
        const char* latestBeta;
        bool networkError;
    };
    const Case cases[] = {
        {"only a beta", 200, {{"beta33.pmimg", beta}}, "--", "33", false},
        {"a release and a beta",
         200,
         {{"beta33.pmimg", beta}, {"release31.pmimg", release}},
         "31",
         "33",
         false},
        {"nothing", 200, {}, "--", "--", false},
        {"the server fails: the cached release", 500, {{"release31.pmimg", release}}, "31", "--", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateBench bench;
        ASSERT_TRUE(bench.connect(true));
        for (const auto& file : c.files) {
            bench.cache(file.first, file.second);
        }
        HttpsTestServer::Response catalogueResponse;
        catalogueResponse.status = c.catalogueStatus;
        catalogueResponse.body = QByteArray::fromStdString(catalogue({}));
        bench.server.setResponse("/rss", catalogueResponse);
        Firmware* page = bench.open(true);
        ASSERT_TRUE(bench.pumpUntil([&] { return page->hardwareRevision() != 0; }, 5000));

        ASSERT_TRUE(bench.check());

        EXPECT_EQ(bench.label("availableValue"), c.available);
        EXPECT_EQ(bench.label("betaValue"), c.latestBeta);
        EXPECT_EQ(bench.button("uploadButton")->isEnabled(), std::string(c.available) != "--");
        EXPECT_EQ(bench.button("uploadBetaButton")->isEnabled(), std::string(c.latestBeta) != "--");
        const auto errors = bench.rig.boxes.boxes("Network Error");
        ASSERT_EQ(errors.size(), c.networkError ? 1u : 0u);
        if (c.networkError) {
            EXPECT_EQ(errors[0].text,
                      "Unable to download new firmware. Cached firmware will be used if available.");
        }
        // The job asked with this installation's identifier.
        ASSERT_FALSE(bench.server.requests().isEmpty());
        EXPECT_EQ(bench.server.requests()[0].headers.value("authorization"),
                  "Basic " + (page->getUUIDString().toLatin1() + ":" + MORTAL_PASSWORD).toBase64());
    }
}

TEST(FirmwareUpdateTest, EveryWayIntoTheBootloaderEndsInAnUploadOrAClearRefusal)
{
    const std::vector<unsigned char> image = FirmwareImageWriter::image(7);
    const std::string good = FirmwareImageWriter::file(imageHeader("31", "Release"), image);
    std::string damaged = good;
    damaged.resize(good.size() / 2);
    damaged += "end\n";
    struct Case
    {
        const char* name;
        bool inBootloader;
        int bootloaderVersion;
        int bootloaderStart;
        std::string file;
        const char* refusal; // null: the upload goes through
    };
    const Case cases[] = {
        {"already in its bootloader: no switch, no version needed", true, 0, 0xC000, good, nullptr},
        {"running its firmware: switched into the bootloader", false, 0x0105, 0xE000, good, nullptr},
        {"a bootloader version never given", false, 0, 0xC000, good, NO_BOOTLOADER},
        {"a bootloader version of 0xFFFF", false, 0xFFFF, 0xC000, good, NO_BOOTLOADER},
        {"a bootloader where the application starts", true, 0x0105, 0x8000, good, NO_BOOTLOADER},
        {"an image file cut short", true, 0x0105, 0xC000, damaged, "No firmware image was loaded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateBench bench;
        bench.firmware->bootloader.version = c.bootloaderVersion;
        bench.firmware->bootloader.startAddress = c.bootloaderStart;
        bench.cache("release31.pmimg", c.file);
        ASSERT_TRUE(bench.connect(c.inBootloader));
        Firmware* page = bench.open(c.inBootloader);
        ASSERT_TRUE(bench.pumpUntil([&] { return page->hardwareRevision() != 0; }, 5000));
        if (!c.inBootloader) {
            ASSERT_TRUE(bench.pumpUntil(
                [&] { return !bench.events.versions.empty() && bench.button("checkButton")->isEnabled(); },
                10000));
        }
        ASSERT_TRUE(bench.check());
        ASSERT_TRUE(bench.button("uploadButton")->isEnabled());
        const std::vector<unsigned char> before = bench.flashArea(0xC000);

        bench.button("uploadButton")->click();
        ASSERT_TRUE(bench.pumpUntil([&] { return !bench.events.finished.empty() || bench.seen("Error") > 0; },
                                    300000));
        if (c.refusal == nullptr) {
            // Seen once the report's box has gone from above it.
            ASSERT_TRUE(bench.waitFor([&] { return bench.seen("Success!") > 0; }));
        }

        EXPECT_EQ(bench.events.changedCount, !c.inBootloader && c.refusal == nullptr ? 1 : 0)
            << "switched only when it can be updated";
        if (c.refusal == nullptr) {
            EXPECT_EQ(bench.seen("Error"), 0);
            EXPECT_EQ(bench.events.finished, std::vector<bool>{true});
            EXPECT_EQ(bench.flashArea(c.bootloaderStart), bench.expectedArea(image, c.bootloaderStart));
        } else {
            ASSERT_EQ(bench.seen("Error"), 1);
            EXPECT_EQ(bench.rig.boxes.boxes("Error")[0].text, c.refusal);
            EXPECT_TRUE(bench.simulated->burstsReceived().empty()) << "nothing uploaded";
            EXPECT_EQ(bench.flashArea(0xC000), before);
            EXPECT_EQ(bench.progressBox(), nullptr);
            // The user may try again: the buttons are as they were.
            EXPECT_TRUE(bench.button("uploadButton")->isEnabled());
        }
    }
}

TEST(FirmwareUpdateTest, TheUploadShowsItsProgressThenReportsAndGoesBack)
{
    UpdateBench bench;
    const std::vector<unsigned char> image = FirmwareImageWriter::image(8);
    bench.cache("beta40.pmimg", FirmwareImageWriter::file(imageHeader("40", "beta"), image));
    ASSERT_TRUE(bench.connect(true));
    QPointer<QWidget> opener = new apptest::TestPage();
    bench.rig.window->addStackedWidget(opener);
    Firmware* page = bench.open(true);
    ASSERT_TRUE(bench.pumpUntil([&] { return page->hardwareRevision() != 0; }, 5000));
    ASSERT_TRUE(bench.check());

    const QString installation = page->getUUIDString();
    const int crcBefore = bench.firmware->flashCrc();
    bench.progressTexts.clear();
    bench.button("uploadBetaButton")->click();
    bench.noteProgressBox();
    ASSERT_TRUE(bench.pumpUntil(
        [&] {
            return bench.progressBox() != nullptr && bench.progressBox()->labelText() == "Uploading Firmware";
        },
        10000));
    QPointer<QProgressDialog> box = bench.progressBox();
    EXPECT_EQ(box->maximum(), 100);
    EXPECT_TRUE(box->isModal());
    // What the box shows while the user sees it: once closed it reads -1 until it is deleted.
    std::vector<int> shown;
    ASSERT_TRUE(bench.pumpUntil(
        [&] {
            if (!box.isNull() && box->isVisible() && (shown.empty() || shown.back() != box->value())) {
                shown.push_back(box->value());
            }
            return box.isNull() || box->value() >= 50;
        },
        300000));
    ASSERT_GT(shown.size(), 3u) << "the box follows the upload";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));

    // "Cancel" only closes the box: the upload goes on to its end.
    ASSERT_FALSE(box.isNull());
    ASSERT_TRUE(support::clickButton(box, "Cancel"));
    WindowRig::flush();
    EXPECT_TRUE(box.isNull());
    ASSERT_TRUE(bench.pumpUntil([&] { return !bench.events.finished.empty(); }, 300000));
    EXPECT_EQ(bench.events.finished, std::vector<bool>{true});
    ASSERT_TRUE(bench.waitFor([&] { return bench.seen("Success!") > 0; }));
    EXPECT_EQ(bench.rig.boxes.boxes("Success!")[0].text,
              "Firmware uploaded. Please reconnect to the power meter after Pelotune resets.");
    EXPECT_EQ(bench.flashArea(0xC000), bench.expectedArea(image, 0xC000));

    // The report, then back to the menu.
    ASSERT_TRUE(bench.waitFor([&] { return bench.rig.stack()->count() == 2; }));
    EXPECT_TRUE(opener.isNull());
    EXPECT_TRUE(bench.rig.logged("Firmware::reportSuccessfulUpload"));
    const HttpsTestServer::Request& report = bench.server.requests().last();
    EXPECT_EQ(report.path, "/rss");
    const QList<QByteArray> fields = report.body.split(',');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_EQ(fields[0], installation.toLatin1());
    EXPECT_EQ(fields[1], "0") << "a meter found in its bootloader has not told its serial number";
    EXPECT_EQ(fields[2], "beta40.pmimg");
    EXPECT_EQ(bench.seen("Network Error"), 0);
    EXPECT_EQ(bench.progressTexts, (std::vector<QString>{"Preparing bootloader...", "Uploading Firmware",
                                                         "Reporting successful upload"}));
    // The bootloader's data page, as the upload started from it.
    EXPECT_EQ(bench.rig.count("Firmware::startBootload crc:crc:0x" +
                              QString::number(crcBefore, 16).toStdString() +
                              " blStart:0xc000 hwRev:44 blVer:261"),
              1);
}

TEST(FirmwareUpdateTest, AFailedUploadOrReportIsShownAndNeverTakenForSuccess)
{
    const std::vector<unsigned char> image = FirmwareImageWriter::image(9);
    struct Case
    {
        const char* name;
        int burstFailures; // from the first burst on
        int reportStatus;
        const char* box; // shown after the upload
        bool reported;
    };
    const Case cases[] = {
        {"bursts that fail every retry", 1000, 200, "Failed", false},
        {"a report the server refuses", 0, 500, "Network Error", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateBench bench;
        bench.cache("release31.pmimg", FirmwareImageWriter::file(imageHeader("31", "Release"), image));
        ASSERT_TRUE(bench.connect(true));
        Firmware* page = bench.open(true);
        ASSERT_TRUE(bench.pumpUntil([&] { return page->hardwareRevision() != 0; }, 5000));
        ASSERT_TRUE(bench.check());
        HttpsTestServer::Response report;
        report.status = c.reportStatus;
        bench.server.setResponse("/rss", report);
        const qsizetype requestsBefore = bench.server.requests().size();
        bench.meter.radio->chip().failBursts(c.burstFailures);
        // As each box is read: its icon, and the other message boxes still up beside it.
        std::map<QString, QMessageBox::Icon> icons;
        std::map<QString, QStringList> alsoUp;
        bench.rig.boxes.beforeAnswer = [&](QWidget* box) {
            if (auto* message = qobject_cast<QMessageBox*>(box)) {
                icons[box->windowTitle()] = message->icon();
            }
            for (QWidget* other : QApplication::topLevelWidgets()) {
                if (other != box && other->isVisible() && qobject_cast<QMessageBox*>(other) != nullptr) {
                    alsoUp[box->windowTitle()].append(other->windowTitle());
                }
            }
        };

        bench.button("uploadButton")->click();
        ASSERT_TRUE(bench.pumpUntil([&] { return !bench.events.finished.empty(); }, 600000));
        // The upload's message lies under the report's boxes: seen once they have gone from above it.
        ASSERT_TRUE(bench.waitFor(
            [&] { return bench.seen(c.box) > 0 && (!c.reported || bench.seen("Success!") > 0); }));

        EXPECT_EQ(bench.seen("Success!"), c.reported ? 1 : 0);
        EXPECT_EQ(bench.server.requests().size() > requestsBefore, c.reported);
        if (c.reported) {
            EXPECT_EQ(bench.rig.boxes.boxes("Network Error")[0].text, "Unable to upload report.");
            ASSERT_TRUE(bench.waitFor([&] { return bench.rig.stack()->count() == 2; }));
            // The good news is read first, and not under an error.
            EXPECT_EQ(icons["Success!"], QMessageBox::Information);
            EXPECT_EQ(alsoUp["Network Error"], QStringList()) << "the report's error covers the result";
            const std::vector<support::ModalBoxAnswerer::Box>& all = bench.rig.boxes.boxes();
            const auto at = [&](const char* title) {
                return std::find_if(all.begin(), all.end(), [&](const auto& b) { return b.title == title; });
            };
            EXPECT_LT(at("Success!"), at("Network Error"));
        } else {
            EXPECT_EQ(bench.rig.boxes.boxes("Failed")[0].text, NOT_UPLOADED);
            // The page stays as it was, for another try.
            bench.rig.tick();
            EXPECT_FALSE(bench.page.isNull());
            EXPECT_TRUE(bench.button("uploadButton")->isEnabled());
            EXPECT_EQ(bench.progressBox(), nullptr);
        }
    }
}

// After an upload the meter restarts, and its channel may close before the server has heard the
// report: the page goes back to the menu at once, the report still reaches the server. A window closed
// while a report is under way waits for it to stop.
TEST(FirmwareUpdateTest, TheReportOutlivesThePageAndEndsWithTheWindow)
{
    for (const bool windowGoes : {false, true}) {
        SCOPED_TRACE(windowGoes ? "the window goes during the report" : "the meter's channel closes first");
        UpdateBench bench;
        ASSERT_TRUE(bench.connect(false));
        QPointer<Firmware> page = bench.open(true);
        HttpsTestServer::Response report;
        report.delayMs = windowGoes ? 60000 : 0;
        bench.server.setResponse("/rss", report);
        const qsizetype requestsBefore = bench.server.requests().size();

        page->reportSuccessfulUpload();
        page->closed(bench.device.get());
        // Nothing else runs before the page is gone: the server has not heard a word yet.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(page.isNull());
        EXPECT_EQ(bench.rig.stack()->count(), 2);

        ASSERT_TRUE(bench.waitFor([&] { return bench.server.requests().size() > requestsBefore; }, 20000))
            << "the report was dropped with the page";
        const HttpsTestServer::Request& sent = bench.server.requests().last();
        EXPECT_EQ(sent.path, "/rss");
        EXPECT_EQ(sent.body.split(',').size(), 4);
        EXPECT_EQ(bench.seen("Network Error"), 0);
        if (windowGoes) {
            // The answer is a minute away: the window stops the report rather than wait for it.
            bench.rig.window.reset();
        }
    }
}

// The meter goes silent in the middle of the upload: the page does not wait for ever, and once the
// meter is back the user can update it.
TEST(FirmwareUpdateTest, AMeterLostDuringTheUploadFailsAfterTheSilenceLimitAndCanBeTriedAgain)
{
    UpdateBench bench;
    const std::vector<unsigned char> image = FirmwareImageWriter::image(10);
    bench.cache("release31.pmimg", FirmwareImageWriter::file(imageHeader("31", "Release"), image));
    ASSERT_TRUE(bench.connect(true));
    // The normal limit while the meter answers: the pauses of a busy machine are no silence.
    Firmware* page = bench.open(true);
    ASSERT_TRUE(bench.pumpUntil([&] { return page->hardwareRevision() != 0; }, 5000));
    ASSERT_TRUE(bench.check());
    bench.button("uploadButton")->click();
    ASSERT_TRUE(bench.pumpUntil(
        [&] { return !bench.events.progress.empty() && bench.events.progress.back() >= 20; }, 300000));
    // The upload's one timer, the wait for its next progress.
    auto* upload = bench.rig.window->findChild<FirmwareUpload*>();
    ASSERT_NE(upload, nullptr);
    QTimer* silenceLimit = upload->findChild<QTimer*>();
    ASSERT_NE(silenceLimit, nullptr);
    EXPECT_EQ(silenceLimit->interval(), Firmware::UPLOAD_SILENCE_LIMIT_MS);
    // Out of range: the stick hears nothing; the pump runs in real time, as the window's does. A short
    // limit from here on, so the test need not wait the normal one out.
    silenceLimit->setInterval(400);
    bench.simulated->setSilent(true);
    ASSERT_TRUE(bench.waitFor([&] {
        bench.tick();
        QThread::msleep(vant::test::MeterRig::kTick);
        return bench.seen("Failed") > 0;
    }));
    const std::vector<std::string> texts = bench.rig.log.listener.texts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& line) {
                                return line.rfind("Firmware::uploadStalled no progress uploading at ", 0) ==
                                           0 &&
                                       line.size() > 10 && line.substr(line.size() - 10) == "for 400 ms";
                            }),
              1);
    EXPECT_EQ(bench.seen("Success!"), 0);
    EXPECT_EQ(bench.progressBox(), nullptr);

    // Back in range, updated at the second try, with the normal limit again.
    bench.simulated->setSilent(false);
    const int heard = bench.events.dataCount;
    ASSERT_TRUE(bench.pumpUntil([&] { return bench.events.dataCount > heard; }, 10000));
    bench.events.finished.clear();
    bench.button("uploadButton")->click();
    ASSERT_TRUE(bench.pumpUntil([&] { return !bench.events.finished.empty(); }, 600000));
    EXPECT_EQ(bench.events.finished, std::vector<bool>{true});
    ASSERT_TRUE(bench.waitFor([&] { return bench.seen("Success!") > 0; }));
    EXPECT_EQ(bench.flashArea(0xC000), bench.expectedArea(image, 0xC000));
}

// The limit counts progress, not silence: a meter that keeps sending its data but ignores the switch
// into its bootloader, or a bootloader that never takes the image, ends the upload with "Failed" at
// the limit, the log says why, and "Update Firmware" starts the upload again.
TEST(FirmwareUpdateTest, AnUploadThatMakesNoProgressFailsAtTheLimitAndCanBeStartedAgain)
{
    struct Case
    {
        const char* what;
        bool inBootloader;
        const char* logged; // the start of the log line, which ends with the limit
    };
    const Case cases[] = {
        {"the meter ignores the switch", false,
         "Firmware::uploadStalled no progress switching to the bootloader"},
        {"the bootloader's CRC never matches", true, "Firmware::uploadStalled no progress uploading at "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateBench bench;
        bench.cache("release31.pmimg",
                    FirmwareImageWriter::file(imageHeader("31", "Release"), FirmwareImageWriter::image(10)));
        bench.firmware->bootloader.wrongCrc = c.inBootloader;
        ASSERT_TRUE(bench.connect(c.inBootloader));
        Firmware* page = bench.open(c.inBootloader, 3000);
        ASSERT_TRUE(bench.pumpUntil(
            [&] { return page->hardwareRevision() != 0 && bench.button("checkButton")->isEnabled(); },
            10000));
        if (!c.inBootloader) {
            ASSERT_TRUE(bench.pumpUntil([&] { return !bench.events.versions.empty(); }, 10000));
            // The meter takes no command from here on: the switch is ignored, the data goes on.
            bench.firmware->unlockCode = {9, 9, 9, 9, 9};
        }
        ASSERT_TRUE(bench.check());

        for (int attempt = 1; attempt <= 2; ++attempt) {
            SCOPED_TRACE(attempt);
            bench.button("uploadButton")->click();
            ASSERT_NE(bench.progressBox(), nullptr);
            ASSERT_TRUE(bench.waitFor([&] {
                bench.tick();
                QThread::msleep(vant::test::MeterRig::kTick);
                return bench.seen("Failed") == attempt;
            }));
            const std::vector<std::string> texts = bench.rig.log.listener.texts();
            EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                                    [&](const std::string& line) {
                                        return line.rfind(c.logged, 0) == 0 && line.size() > 12 &&
                                               line.substr(line.size() - 12) == " for 3000 ms";
                                    }),
                      attempt);
            EXPECT_EQ(bench.progressBox(), nullptr);
            EXPECT_EQ(bench.seen("Success!"), 0);
        }
    }
}

TEST(FirmwareUpdateTest, TheBetaRequestIsAMailAndTheReleaseNotesAWebPage)
{
    UpdateBench bench;
    ASSERT_TRUE(bench.connect(true));
    Firmware* page = bench.open(true);

    bench.button("requestBetaButton")->click();
    ASSERT_EQ(bench.rig.urls.urls().size(), 1u);
    const QUrl mail = bench.rig.urls.urls()[0];
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path(), VELONIX_EMAIL);
    EXPECT_EQ(QUrlQuery(mail).queryItemValue("subject", QUrl::FullyDecoded),
              "Pelotune:beta firmware request");
    EXPECT_EQ(QUrlQuery(mail).queryItemValue("body", QUrl::FullyDecoded),
              "User's UUID:" + page->getUUIDString());

    // Without a mail client the user is given the message to copy.
    QObject noMailClient;
    QDesktopServices::setUrlHandler("mailto", &noMailClient, "methodThatIsNotThere");
    bench.rig.boxes.press("No email client found", "OK");
    bench.button("requestBetaButton")->click();
    QDesktopServices::setUrlHandler("mailto", &bench.rig.urls, "openUrl");
    ASSERT_TRUE(bench.waitFor([&] { return bench.seen("No email client found") > 0; }));
    EXPECT_EQ(bench.rig.boxes.boxes("No email client found")[0].text,
              QString("Please copy the following message into an email to: ") + VELONIX_EMAIL +
                  "\nWith the subject: Pelotune:beta firmware request\nThank you!\n\nUser's UUID:" +
                  page->getUUIDString());
    EXPECT_EQ(bench.rig.urls.urls().size(), 1u);

    // Asked first; only OK goes to the web site.
    for (const char* answer : {"Cancel", "OK"}) {
        bench.rig.boxes.press("Firmware Release Notes", answer);
        bench.button("releaseNotesButton")->click();
    }
    const auto asked = bench.rig.boxes.boxes("Firmware Release Notes");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "You will be redirected to the Velonix web site.");
    ASSERT_EQ(bench.rig.urls.urls().size(), 2u);
    EXPECT_EQ(bench.rig.urls.urls()[1], QUrl(FIRMWARE_UPDATES_URL));
}

} // namespace
