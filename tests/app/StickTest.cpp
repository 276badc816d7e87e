// Bringing the ANT stick up: which sticks are tried in which order, the AP1 refusal, the retry while
// no stick is plugged in, the loss of the stick and its return.
#include "Screenshot.h"
#include "WindowRig.h"

#include "ant/PCAntRadio.h"
#include "support/LibusbStandIn.h"

#include <QMessageBox>
#include <QSignalSpy>

#include <gtest/gtest.h>

using apptest::WindowRig;

namespace {

const char* const UNSUPPORTED_TEXT =
    "<p>The attached Ant USB stick is AP1, and is not supported on OSX and linux platforms at this time.</p> "
    "\t\t\t\t\t\t<p>Please connect an AP2 Ant USB stick to use Pelotune.</p>";

TEST(StickTest, SticksAreTriedInOrderAndAnAp1StickAloneIsRefused)
{
    struct Case
    {
        const char* name;
        std::vector<int> plugged;
        std::vector<int> asked;
        const char* antButton;
        bool open;
        bool refused;
    };
    const Case cases[] = {
        {"first AP2 stick", {0x1008}, {0x1008}, "ANT+ Dongle Type: AP2", true, false},
        {"second AP2 stick", {0x1009}, {0x1008, 0x1009}, "ANT+ Dongle Type: AP2", true, false},
        {"both AP2 sticks", {0x1009, 0x1008}, {0x1008}, "ANT+ Dongle Type: AP2", true, false},
        {"AP2 stick beside an AP1 stick",
         {0x1004, 0x1009},
         {0x1008, 0x1009},
         "ANT+ Dongle Type: AP2",
         true,
         false},
        {"AP1 stick alone", {0x1004}, {0x1008, 0x1009, 0x1004}, "ANT+ Dongle Type: None", false, true},
        {"no stick", {}, {0x1008, 0x1009, 0x1004}, "ANT+ Dongle Type: None", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        for (int product : c.plugged) {
            rig.bench.plug(product);
        }
        rig.boxes.press("Unsupported", "OK");
        rig.start();

        // Without a stick that opens, the window's retry (every 2 s) may have tried again by now on a
        // busy machine: each try asks for the same sticks in the same order.
        ASSERT_FALSE(rig.bench.asked.empty());
        EXPECT_EQ(rig.bench.asked.size() % c.asked.size(), 0u);
        for (size_t i = 0; i < rig.bench.asked.size(); ++i) {
            EXPECT_EQ(rig.bench.asked[i], c.asked[i % c.asked.size()]) << "request " << i;
        }
        if (c.open) {
            EXPECT_EQ(rig.bench.asked, c.asked);
        }
        ASSERT_EQ(rig.bench.bauds.size(), rig.bench.asked.size());
        for (size_t i = 0; i < rig.bench.asked.size(); ++i) {
            // The AP1 stick at its own rate.
            EXPECT_EQ(rig.bench.bauds[i], rig.bench.asked[i] == 0x1004 ? 50000 : 57600) << "request " << i;
        }
        for (int vendor : rig.bench.vendors) {
            EXPECT_EQ(vendor, 0x0FCF);
        }
        EXPECT_EQ(rig.button("ANTButton")->text(), c.antButton);
        EXPECT_EQ(rig.button("ANTButton")->isEnabled(), c.open);
        EXPECT_EQ(rig.button("searchButton")->isEnabled(), c.open);
        EXPECT_EQ(rig.button("enterIDButton")->isEnabled(), c.open);
        // No stick open: the radio that was tried last is closed and names no AP version.
        EXPECT_EQ(rig.window->apVersion(), c.open ? 2 : 0);
        EXPECT_EQ(rig.logged("Pelotune::setupAntRadio success"), c.open);
        ASSERT_NE(rig.stickTimer(), nullptr);
        EXPECT_EQ(rig.stickTimer()->interval(), c.open ? 33 : 2000);

        if (c.refused) {
            ASSERT_EQ(rig.boxes.boxes("Unsupported").size(), 1u);
            EXPECT_EQ(rig.boxes.boxes("Unsupported")[0].text, UNSUPPORTED_TEXT);
            EXPECT_EQ(rig.exitStatuses, std::vector<int>{-1});
        } else {
            EXPECT_TRUE(rig.boxes.boxes().empty());
            EXPECT_TRUE(rig.exitStatuses.empty());
        }
    }
}

TEST(StickDeathTest, TheProgramEndsWithStatus255AfterRefusingAnAp1Stick)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The program ends from inside the window's constructor without tearing the toolkit down, as
    // intended: what the toolkit's libraries still hold then is no leak of ours.
    const QByteArray asanOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asanOptions + (asanOptions.isEmpty() ? "" : ":") + "detect_leaks=0");
    EXPECT_EXIT(
        {
            WindowRig rig(WindowRig::Exit::Real);
            rig.bench.plug(0x1004);
            rig.boxes.press("Unsupported", "OK");
            rig.start();
        },
        testing::ExitedWithCode(255), "");
    qputenv("ASAN_OPTIONS", asanOptions);
}

TEST(StickTest, AnAp1StickPluggedInLaterIsRefusedWithOneBox)
{
    WindowRig rig;
    rig.start();
    rig.bench.plug(0x1004);
    rig.bench.asked.clear();
    rig.boxes.press("Unsupported", "OK");

    // Looks at the window from inside the box's own event loop.
    bool boxUp = false;
    bool retrying = true;
    QTimer::singleShot(0, [&] {
        boxUp = QApplication::activeModalWidget() != nullptr;
        retrying = rig.stickTimer()->isActive();
    });
    rig.window->checkForUsbDevice();

    EXPECT_TRUE(boxUp);
    EXPECT_FALSE(retrying) << "the retry would find the same stick again and stack another box";
    EXPECT_EQ(rig.bench.asked, (std::vector<int>{0x1008, 0x1009, 0x1004}));
    EXPECT_EQ(rig.boxes.boxes("Unsupported").size(), 1u);
    EXPECT_EQ(rig.exitStatuses, std::vector<int>{-1});
}

TEST(StickTest, AntBoxNamesTheStickThatIsOpen)
{
    WindowRig rig;
    rig.bench.plug(0x1009);
    rig.start();
    rig.button("ANTButton")->click();
    QMessageBox* box = rig.window->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "ANT Device");
    EXPECT_EQ(box->text(), "USB Vendor:0xfcf Product:0x1009");
    EXPECT_TRUE(box->testAttribute(Qt::WA_DeleteOnClose));
}

TEST(StickTest, WithoutAStickTheWindowRetriesUntilOneIsPluggedIn)
{
    WindowRig rig;
    rig.start();
    ASSERT_TRUE(rig.stickTimer()->isActive());
    EXPECT_EQ(rig.stickTimer()->interval(), 2000);

    rig.window->checkForUsbDevice();
    EXPECT_TRUE(rig.logged("Pelotune::checkForUsbDevice()"));
    EXPECT_FALSE(rig.button("searchButton")->isEnabled());
    EXPECT_EQ(rig.stickTimer()->interval(), 2000);

    rig.bench.plug(0x1008);
    rig.bench.meters = [](support::SimulatedStickRadio& stick) { stick.addMeter(2222); };
    rig.window->checkForUsbDevice();
    EXPECT_TRUE(rig.button("searchButton")->isEnabled());
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: AP2");
    EXPECT_TRUE(rig.stickTimer()->isActive());
    EXPECT_EQ(rig.stickTimer()->interval(), 33);

    // The stick that came late searches like any other.
    rig.button("searchButton")->click();
    EXPECT_TRUE(rig.runUntil([&] { return !rig.listed().empty(); }));
    EXPECT_EQ(rig.listed(), std::vector<int>{2222});
}

TEST(StickTest, LosingTheStickOnAMeterPageReturnsToTheMenuAndAReplugRecovers)
{
    WindowRig rig;
    rig.bench.plug(0x1008);
    rig.bench.meters = [](support::SimulatedStickRadio& stick) { stick.addMeter(3100); };
    rig.start();
    // Two pages of the meter above the list.
    rig.window->addStackedWidget(new apptest::TestPage(rig.window.get()));
    rig.window->addStackedWidget(new apptest::TestPage(rig.window.get()));

    rig.bench.pull(0x1008);
    ASSERT_TRUE(rig.runUntil([&] { return rig.logged("Pelotune::stateChanged state:0"); }, 10));
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: None");
    EXPECT_FALSE(rig.button("ANTButton")->isEnabled());
    EXPECT_FALSE(rig.button("searchButton")->isEnabled());
    EXPECT_FALSE(rig.button("enterIDButton")->isEnabled());
    EXPECT_EQ(rig.stickTimer()->interval(), 2000);
    // The user is told what became of the pages' work and what to do: one box, over the window.
    const QList<QMessageBox*> told = rig.window->findChildren<QMessageBox*>();
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0]->windowTitle(), "Stick Lost");
    EXPECT_EQ(told[0]->text(),
              "<p>The ANT USB stick was lost.</p><p>The power meter's pages were closed and what they were "
              "doing was cancelled: nothing more was written to the power meter.</p><p>Once the stick is "
              "plugged in again, open the power meter again so that it goes back to normal operation.</p>");
    EXPECT_TRUE(told[0]->isVisible());
    apptest::Screenshot::screen(rig.window.get(), "stick-lost");
    told[0]->close();
    WindowRig::flush();

    // Still pulled out: the check finds nothing; plugged in again: the window is back in business.
    rig.window->checkForUsbDevice();
    EXPECT_FALSE(rig.button("searchButton")->isEnabled());
    rig.bench.plug(0x1008);
    rig.window->checkForUsbDevice();
    EXPECT_TRUE(rig.button("searchButton")->isEnabled());
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: AP2");
    rig.button("searchButton")->click();
    EXPECT_TRUE(rig.runUntil([&] { return !rig.listed().empty(); }));
}

TEST(StickTest, LosingTheStickOnTheMenuOrTheSearchListShowsNothing)
{
    for (bool searching : {false, true}) {
        SCOPED_TRACE(searching ? "search list" : "menu");
        WindowRig rig;
        rig.bench.plug(0x1008);
        rig.start();
        if (searching) {
            rig.button("searchButton")->click();
        }
        rig.bench.pull(0x1008);
        ASSERT_TRUE(rig.runUntil([&] { return rig.logged("Pelotune::stateChanged state:0"); }, 10));
        EXPECT_TRUE(rig.window->findChildren<QMessageBox*>().isEmpty()) << "no meter was open";
    }
}

TEST(StickTest, RestartingTheRadioReopensTheSameStickOrFallsBackToTheRetry)
{
    WindowRig rig;
    rig.bench.plug(0x1009);
    rig.bench.meters = [](support::SimulatedStickRadio& stick) { stick.addMeter(4100); };
    rig.start();

    rig.bench.asked.clear();
    rig.window->killAndRestartRadio();
    EXPECT_EQ(rig.bench.asked, std::vector<int>{0x1009});
    EXPECT_TRUE(rig.logged("Pelotune::killSearch successfully reconnected to ANT stick"));
    EXPECT_EQ(rig.stickTimer()->interval(), 33);
    rig.button("searchButton")->click();
    EXPECT_TRUE(rig.runUntil([&] { return !rig.listed().empty(); }));

    rig.bench.pull(0x1009);
    rig.window->killAndRestartRadio();
    EXPECT_TRUE(rig.logged("Pelotune::killSearch failed to reconnect to ANT stick and will start over"));
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: None");
    EXPECT_EQ(rig.stickTimer()->interval(), 2000);
}

TEST(StickTest, ThePumpDoesNotReenterTheManagerFromANestedEventLoop)
{
    WindowRig rig;
    rig.bench.plug(0x1008);
    rig.start();
    apptest::HookedStickRadio* stick = rig.bench.stick();
    ASSERT_NE(stick, nullptr);

    // A blocking box inside a callback runs an event loop of its own, in which the pump fires again.
    int fired = 0;
    bool once = false;
    stick->beforeUpdate = [&] {
        if (once) {
            return;
        }
        once = true;
        QSignalSpy pump(rig.stickTimer(), &QTimer::timeout);
        pump.wait(5000);
        fired = pump.count();
    };
    const int before = stick->updates;
    rig.window->update();
    EXPECT_GE(fired, 1);
    EXPECT_EQ(stick->updates, before + 1);
}

// The real USB radio behind the libusb stand-in: the program's own path from USB ids to a stick.
TEST(StickTest, TheUsbRadioOpensTheStickThatIsPluggedIn)
{
    support::LibusbStandIn& usb = support::LibusbStandIn::instance();
    usb.reset();
    support::SimulatedStick& stick = usb.addDevice(0x0FCF, 0x1009);
    stick.ant();
    {
        WindowRig rig;
        Pelotune window(&vant::ant::new_PCAntRadio, QString::fromStdString(rig.folder.path()), [](int) {});
        EXPECT_EQ(window.findChild<QPushButton*>("ANTButton")->text(), "ANT+ Dongle Type: AP2");
        EXPECT_TRUE(window.findChild<QPushButton*>("searchButton")->isEnabled());
    }
    usb.reset();
}

} // namespace
