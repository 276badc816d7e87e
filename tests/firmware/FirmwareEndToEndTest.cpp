// A firmware update as a user has it: the program connects to a meter by its number, its home page
// opens the firmware page, the check goes to the firmware server (the HTTPS test server), the update
// goes through the meter's bootloader with its progress shown, and the server hears of it. Then the
// same with bursts that fail now and then, with bursts that always fail, and with the page closed
// while a check is still running.
#include "PageTimers.h"
#include "Screenshot.h"
#include "WindowRig.h"

#include "ant/device/BootloadImage.h"
#include "support/FirmwareImageWriter.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/qt/HttpsTestServer.h"

#include <QElapsedTimer>
#include <QInputDialog>
#include <QPointer>
#include <QProgressDialog>
#include <QSslConfiguration>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

using apptest::WindowRig;
using support::FirmwareImageWriter;
using support::HttpsTestServer;

namespace {

constexpr int METER = 3333;

class Session
{
public:
    Session()
    {
        EXPECT_TRUE(server.error().isEmpty()) << server.error().toStdString();
        QSslConfiguration trusting = defaultConfiguration;
        trusting.addCaCertificate(server.certificate());
        QSslConfiguration::setDefaultConfiguration(trusting);

        FirmwareImageWriter::Header header;
        header.version = "31";
        const std::string file = FirmwareImageWriter::file(header, image);
        HttpsTestServer::Response catalogue;
        catalogue.body = QByteArray::fromStdString("<rss><channel><item><title>Release 31</title><link>" +
                                                   server.url().toString().toStdString() +
                                                   "/images/release31.pmimg</link></item></channel></rss>");
        server.setResponse("/rss", catalogue);
        HttpsTestServer::Response imageFile;
        imageFile.body = QByteArray::fromStdString(file);
        server.setResponse("/images/release31.pmimg", imageFile);

        rig.bench.plug(0x1008);
        rig.bench.meters = [this](support::SimulatedStickRadio& stick) {
            meter = &stick.addMeter(METER);
            firmware = std::make_unique<support::SimulatedMeterFirmware>(*meter);
        };
        for (const char* title : {"Congratulations!", "KV7 Detected", "Notice", "Passed", "Success!",
                                  "Failed", "Network Error", "Error"}) {
            rig.boxes.press(title, "OK");
        }
        rig.boxes.press("Warning", "I Understand");
        if (apptest::Screenshot::wanted()) {
            // Each message box as the user reads it, before it is answered.
            rig.boxes.beforeAnswer = [this](QWidget* box) {
                const std::map<QString, const char*> names = {{"Warning", "firmware-1-warning"},
                                                              {"Success!", "firmware-7-success"},
                                                              {"Failed", "firmware-8-failed"}};
                const auto name = names.find(box->windowTitle());
                if (name != names.end()) {
                    shot(name->second);
                }
            };
        }
        rig.start();
        rig.window->setFirmwareServer(server.url());
    }

    // A picture of the screen as the user sees it now, for scripts/screenshots.sh.
    void shot(const char* name) { apptest::Screenshot::screen(rig.window.get(), name); }

    ~Session()
    {
        rig.window.reset();
        WindowRig::flush();
        QSslConfiguration::setDefaultConfiguration(defaultConfiguration);
    }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The window's pump in real time, as the program runs it, until `done`.
    bool live(const std::function<bool()>& done, int limitMs = 120000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limitMs) {
                return false;
            }
            rig.tick();
            QThread::msleep(1);
        }
        return true;
    }

    // Opens the meter by its number, then its firmware page from its home page.
    bool openFirmwarePage()
    {
        rig.button("enterIDButton")->click();
        auto* dialog = rig.window->findChild<QInputDialog*>();
        if (dialog == nullptr) {
            return false;
        }
        dialog->setIntValue(METER);
        dialog->accept();
        shot("firmware-0-connecting");
        if (!rig.runUntil([&] { return rig.currentPageClass() == "Sensor"; }, 600)) {
            return false;
        }
        QPushButton* firmwareButton = rig.currentPage()->findChild<QPushButton*>("firmwareButton");
        // As a user can: once the home page has its data and its box has gone.
        if (!rig.runUntil(
                [&] { return firmwareButton->isEnabled() && QApplication::activeModalWidget() == nullptr; },
                600)) {
            return false;
        }
        firmwareButton->click();
        return rig.currentPageClass() == "Firmware";
    }

    QPushButton* pageButton(const char* name) { return rig.currentPage()->findChild<QPushButton*>(name); }
    QProgressDialog* progressBox()
    {
        for (QProgressDialog* box : rig.currentPage()->findChildren<QProgressDialog*>()) {
            if (box->isVisible()) {
                return box;
            }
        }
        return nullptr;
    }
    // The boxes with this title seen so far, counting one still up that the answerer's timer has not
    // looked at yet.
    int seen(const char* title)
    {
        rig.boxes.poll();
        return static_cast<int>(rig.boxes.boxes(title).size());
    }

    // Check, then update: true when the update button could be pressed.
    bool checkAndUpdate()
    {
        QPushButton* check = pageButton("checkButton");
        if (!rig.runUntil([&] { return check->isEnabled(); }, 600)) {
            return false;
        }
        check->click();
        shot("firmware-2-checking");
        QPushButton* update = pageButton("uploadButton");
        if (!live([&] { return update->isEnabled(); })) {
            return false;
        }
        shot("firmware-3-checked");
        update->click();
        shot("firmware-4-preparing");
        return true;
    }

    std::vector<unsigned char> applicationArea()
    {
        const int start = firmware->bootloader.startAddress;
        return std::vector<unsigned char>(firmware->flash().begin() + 0x8000,
                                          firmware->flash().begin() + start);
    }
    std::vector<unsigned char> expectedArea()
    {
        const int start = firmware->bootloader.startAddress;
        std::vector<unsigned char> laidOut(0x10000);
        vant::device::layOutBootloadImage(image.data(), start, laidOut.data());
        return std::vector<unsigned char>(laidOut.begin() + 0x8000, laidOut.begin() + start);
    }

    const QSslConfiguration defaultConfiguration = QSslConfiguration::defaultConfiguration();
    const std::vector<unsigned char> image = FirmwareImageWriter::image(11);
    HttpsTestServer server;
    WindowRig rig;
    support::SimulatedPowerMeter* meter = nullptr;
    std::unique_ptr<support::SimulatedMeterFirmware> firmware;
};

TEST(FirmwareEndToEndTest, CheckUpdateWatchTheProgressAndTheServerHearsOfIt)
{
    struct Case
    {
        const char* name;
        int burstFailures; // injected once the upload runs
        bool succeeds;
    };
    const Case cases[] = {
        {"every burst goes through", 0, true},
        {"a few bursts fail and are sent again", 4, true},
        {"a burst fails every retry", 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        ASSERT_TRUE(session.openFirmwarePage());
        QPointer<QWidget> page = session.rig.currentPage();
        ASSERT_TRUE(session.checkAndUpdate());

        // Into the bootloader, then the upload with its box.
        ASSERT_TRUE(session.rig.runUntil(
            [&] {
                return session.progressBox() != nullptr &&
                       session.progressBox()->labelText() == "Uploading Firmware";
            },
            3000));
        session.rig.bench.stick()->chip().failBursts(c.burstFailures);
        QPointer<QProgressDialog> box = session.progressBox();
        // What the box shows while the user sees it: once closed it reads -1 until it is deleted.
        std::vector<int> shown;
        ASSERT_TRUE(session.rig.runUntil(
            [&] {
                if (!box.isNull() && box->isVisible() && (shown.empty() || shown.back() != box->value())) {
                    shown.push_back(box->value());
                    if (box->value() >= 40) {
                        session.shot("firmware-5-uploading");
                    }
                }
                return box.isNull();
            },
            30000));
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));

        if (c.succeeds) {
            EXPECT_GT(shown.size(), 5u) << "the progress moves as the upload goes";
            ASSERT_TRUE(session.live([&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    auto* reporting = qobject_cast<QProgressDialog*>(widget);
                    if (reporting != nullptr && reporting->isVisible() &&
                        reporting->labelText() == "Reporting successful upload") {
                        session.shot("firmware-6-reporting");
                    }
                }
                return session.rig.stack()->count() == 2;
            })) << "the report, then back";
            // The message stays on the window after the page has gone, seen once the report's box
            // has gone from above it.
            ASSERT_TRUE(session.live([&] { return session.seen("Success!") > 0; }, 10000));
            EXPECT_EQ(session.seen("Success!"), 1);
            EXPECT_EQ(session.seen("Failed"), 0);
            EXPECT_EQ(session.applicationArea(), session.expectedArea());
            const HttpsTestServer::Request& report = session.server.requests().last();
            EXPECT_EQ(report.path, "/rss");
            // The installation, the meter by its serial number, the image.
            const QList<QByteArray> fields = report.body.split(',');
            ASSERT_EQ(fields.size(), 4);
            const QUuid installation =
                QUuid::fromString(QString::fromStdString(support::readFile(session.rig.folder.file("uuid"))));
            EXPECT_EQ(fields[0], installation.toString(QUuid::WithoutBraces).toUpper().toLatin1());
            EXPECT_EQ(fields[1], QByteArray::number(session.meter->product.serialNumber));
            EXPECT_EQ(fields[2], "release31.pmimg");
            // The page leaves the stack at once; its deletion is deferred to a later turn of the loop.
            EXPECT_TRUE(session.live([&] { return page.isNull(); }, 10000));
        } else {
            session.rig.tick(5);
            EXPECT_EQ(session.seen("Failed"), 1);
            EXPECT_EQ(session.seen("Success!"), 0);
            EXPECT_EQ(session.server.requests().size(), 2) << "the catalogue and the image, no report";
            EXPECT_FALSE(page.isNull());
            EXPECT_NE(session.applicationArea(), session.expectedArea());
        }
    }
}

// The user cancels the upload's box and goes back while the upload runs: the upload is the window's,
// so the result is still shown and a successful upload is reported, once, also to a server that
// closes the connection without an answer; then the window goes back to its first pages.
TEST(FirmwareEndToEndTest, CancelThenBackDuringTheUploadStillShowsTheResultAndReportsIt)
{
    for (const bool serverCloses : {false, true}) {
        SCOPED_TRACE(serverCloses ? "the server closes the connection" : "the server answers");
        Session session;
        session.rig.boxes.press("Disconnected", "OK");
        ASSERT_TRUE(session.openFirmwarePage());
        QPointer<QWidget> page = session.rig.currentPage();
        ASSERT_TRUE(session.checkAndUpdate());
        const qsizetype requestsBefore = session.server.requests().size();
        if (serverCloses) {
            HttpsTestServer::Response closed;
            closed.fault = HttpsTestServer::Response::Fault::CloseConnection;
            session.server.setResponse("/rss", closed);
        }
        ASSERT_TRUE(session.rig.runUntil(
            [&] {
                return session.progressBox() != nullptr &&
                       session.progressBox()->labelText() == "Uploading Firmware";
            },
            3000));

        ASSERT_TRUE(support::clickButton(session.progressBox(), "Cancel"));
        session.rig.button("backButton")->click();
        WindowRig::flush();
        EXPECT_TRUE(page.isNull());
        EXPECT_EQ(session.rig.currentPageClass(), "Sensor");

        ASSERT_TRUE(session.live([&] { return session.seen("Success!") > 0; }));
        ASSERT_TRUE(session.live([&] { return session.rig.stack()->count() == 2; }))
            << "the report, then back";
        EXPECT_EQ(session.applicationArea(), session.expectedArea());
        EXPECT_EQ(session.seen("Failed"), 0);
        ASSERT_EQ(session.server.requests().size(), requestsBefore + 1) << "one report, posted once";
        EXPECT_EQ(session.server.requests().last().body.split(',').value(2), "release31.pmimg");
        if (serverCloses) {
            // Once the success box is closed.
            EXPECT_TRUE(session.live([&] { return session.seen("Network Error") > 0; }, 10000));
        }
        EXPECT_EQ(session.seen("Network Error"), serverCloses ? 1 : 0);
        EXPECT_EQ(session.seen("Disconnected"), 0);
    }
}

// The same with the home page's time at a real stick's pace. The simulated stick takes a burst at
// once, so its whole upload lasts some 6 s of its time, where a real one takes some 27 s: longer than
// the home page waits for the meter's cadence mode (5 s, then 5 s more), which a meter in its
// bootloader never sends. So the home page's timers are moved 12 s on while the upload has only
// begun. The upload holds the connection: the home page judges nothing meanwhile and asks again once
// the upload is over. After a success the window goes back; after a failure the meter, still in its
// bootloader, is found lost.
TEST(FirmwareEndToEndTest, CancelThenBackLetsAnUploadOutlastTheHomePagesWaitAndEnd)
{
    for (const bool succeeds : {true, false}) {
        SCOPED_TRACE(succeeds ? "the upload succeeds" : "every burst fails");
        Session session;
        session.rig.boxes.press("Disconnected", "OK");
        ASSERT_TRUE(session.openFirmwarePage());
        ASSERT_TRUE(session.checkAndUpdate());
        ASSERT_TRUE(session.rig.runUntil(
            [&] {
                return session.progressBox() != nullptr &&
                       session.progressBox()->labelText() == "Uploading Firmware";
            },
            3000));
        ASSERT_TRUE(support::clickButton(session.progressBox(), "Cancel"));
        session.rig.button("backButton")->click();
        WindowRig::flush();
        ASSERT_EQ(session.rig.currentPageClass(), "Sensor");

        apptest::PageTimers timers(session.rig.stack());
        const auto ended = [&] { return session.seen("Success!") + session.seen("Failed") > 0; };
        for (int second = 0; second < 12; ++second) {
            timers.advance(1000);
            session.rig.tick();
        }
        ASSERT_FALSE(ended()) << "the upload is still under way";
        EXPECT_EQ(session.seen("Disconnected"), 0) << "judged lost while the upload ran";
        if (!succeeds) {
            session.rig.bench.stick()->chip().failBursts(1000);
        }
        // From here at the pump's pace: 33 ms a tick.
        const auto pumpUntil = [&](const std::function<bool()>& done, int ticks) {
            return session.rig.runUntil(
                [&] {
                    timers.advance(33);
                    return done();
                },
                ticks);
        };
        ASSERT_TRUE(pumpUntil([&] { return ended() || session.seen("Disconnected") > 0; }, 3000));
        EXPECT_EQ(session.seen("Disconnected"), 0) << "judged lost while the upload ran";
        if (succeeds) {
            EXPECT_EQ(session.seen("Success!"), 1);
            EXPECT_EQ(session.seen("Failed"), 0);
            EXPECT_EQ(session.applicationArea(), session.expectedArea());
            ASSERT_TRUE(session.live([&] { return session.rig.stack()->count() == 2; }))
                << "the report, then back";
            EXPECT_EQ(session.server.requests().last().body.split(',').value(2), "release31.pmimg");
        } else {
            EXPECT_EQ(session.seen("Failed"), 1);
            // Asked again once the upload is over; the bootloader answers nothing.
            ASSERT_TRUE(pumpUntil([&] { return session.seen("Disconnected") > 0; }, 600));
            EXPECT_TRUE(session.rig.logged("Sensor::holdReleased verifying the power meter again"));
        }
    }
}

// The user leaves the page while the server is still slow to answer: the job is ended with the page,
// nothing comes back to it, and the program goes on.
TEST(FirmwareEndToEndTest, ThePageClosedWhileACheckRunsTakesItsJobWithIt)
{
    Session session;
    HttpsTestServer::Response slow;
    slow.body = "<rss/>";
    slow.delayMs = 3000;
    session.server.setResponse("/rss", slow);
    ASSERT_TRUE(session.openFirmwarePage());
    QPointer<QWidget> page = session.rig.currentPage();
    QPushButton* check = session.pageButton("checkButton");
    ASSERT_TRUE(session.rig.runUntil([&] { return check->isEnabled(); }, 600));
    check->click();
    ASSERT_TRUE(session.live([&] { return !session.server.requests().isEmpty(); }));

    session.rig.window->backClicked();
    session.rig.tick();
    EXPECT_TRUE(page.isNull());
    EXPECT_EQ(session.rig.currentPageClass(), "Sensor");

    // Past the server's late answer: nothing arrives, nothing is shown.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(session.live([&] { return clock.elapsed() > 3500; }));
    EXPECT_EQ(session.seen("Network Error"), 0);
    EXPECT_FALSE(session.rig.logged("FirmwareChecker::rssFinished"));
}

} // namespace
