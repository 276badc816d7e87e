// Finding meters: the list search's two passes, opening a meter from the list or by its number, and
// what opens for a meter in its bootloader.
#include "Screenshot.h"
#include "WindowRig.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>

#include <gtest/gtest.h>

using apptest::WindowRig;

namespace {

// The window on one AP2 stick with meters in range, boxes answered as a user would.
class SearchRig
{
public:
    // Meters in range of the stick; a negative number is a meter in its bootloader.
    void startWith(std::vector<int> meters)
    {
        rig.bench.plug(0x1008);
        rig.bench.meters = [meters](support::SimulatedStickRadio& stick) {
            for (int number : meters) {
                support::SimulatedPowerMeter& meter = stick.addMeter(std::abs(number));
                if (number < 0) {
                    apptest::makeBootloaderMeter(meter);
                }
            }
        };
        rig.boxes.press("Failed", "OK");
        rig.boxes.press("Warning", "I Understand");
        rig.start();
    }

    int passesEnded() const { return rig.count("Pelotune::searchFinished canceled:0"); }

    // Types a number into the "Enter Power Meter ID" dialog and presses OK.
    void enterNumber(int number)
    {
        rig.window->enterID();
        auto* dialog = rig.window->findChild<QInputDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->setIntValue(number);
        dialog->accept();
        rig.tick();
    }

    // Pumps until a meter's page is up or the menu is back with "No Devices Found"; 20 s at most.
    void runOpen()
    {
        rig.runUntil([&] { return rig.stack()->count() > 2 || !rig.boxes.boxes("Failed").empty(); }, 600);
    }

    WindowRig rig;
};

class SearchTest : public testing::Test, public SearchRig
{
};

TEST_F(SearchTest, ListSearchRunsANormalThenABootloaderPassListingEachMeterOncePerPass)
{
    // 1234 broadcasts in both modes (two meters under one number), 5678 only normally, 77 only in
    // its bootloader.
    startWith({1234, 5678, -1234, -77});
    rig.button("searchButton")->click();
    EXPECT_EQ(rig.stack()->currentIndex(), 1);
    EXPECT_TRUE(rig.logged("Pelotune::startSearch bootload:0"));

    ASSERT_TRUE(rig.runUntil([&] { return passesEnded() == 1; }));
    std::vector<int> firstPass = rig.listed();
    std::sort(firstPass.begin(), firstPass.end());
    EXPECT_EQ(firstPass, (std::vector<int>{1234, 5678}));
    EXPECT_TRUE(rig.logged("Pelotune::startSearch bootload:1"));

    ASSERT_TRUE(rig.runUntil([&] { return passesEnded() == 2; }));
    std::vector<int> both = rig.listed();
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<int>{77, 1234, 1234, 5678}))
        << "bootloader entries show the number unsigned";
    EXPECT_TRUE(rig.logged("Pelotune::deviceFound adding new device:-1234"));
    EXPECT_TRUE(rig.logged("Pelotune::deviceFound already see id:1234")) << "a scan hears a meter many times";
    EXPECT_EQ(rig.count("Pelotune::deviceFound adding new device:1234"), 1);

    // The list stays; no third pass.
    rig.tick(300);
    EXPECT_EQ(passesEnded(), 2);
    EXPECT_EQ(rig.stack()->currentIndex(), 1);
    EXPECT_TRUE(rig.boxes.boxes().empty());

    // A new search starts from an empty list.
    rig.button("searchButton")->click();
    EXPECT_TRUE(rig.listed().empty());
}

TEST_F(SearchTest, ASearchThatFindsNothingRunsBothPassesBeforeSayingSo)
{
    startWith({});
    rig.button("searchButton")->click();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.boxes.boxes("Failed").empty(); }));
    EXPECT_EQ(passesEnded(), 2);
    EXPECT_EQ(rig.boxes.boxes("Failed")[0].text, "No Devices Found");
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
}

TEST_F(SearchTest, CancelSearchGoesBackToTheMenuAndEndsTheSearch)
{
    startWith({1234});
    rig.button("searchButton")->click();
    rig.tick(20);
    rig.button("cancelSearchButton")->click();
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_TRUE(rig.runUntil([&] { return rig.logged("Pelotune::searchFinished canceled:1"); }, 30));
    rig.tick(600);
    EXPECT_FALSE(rig.logged("Pelotune::startSearch bootload:1"));
    EXPECT_EQ(rig.stack()->count(), 2);
}

TEST_F(SearchTest, ChoosingAListedMeterOpensItWithTheNormalSettings)
{
    startWith({1234, 5678});
    rig.button("searchButton")->click();
    ASSERT_TRUE(rig.runUntil([&] { return rig.listed().size() == 2; }));

    QLayout* list = rig.window->findChild<QWidget*>("powermeterList")->layout();
    auto* entry = qobject_cast<PowermeterWidget*>(list->itemAt(0)->widget());
    const int chosen = entry->id;
    ASSERT_TRUE(support::clickButton(entry, "Connect"));
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    ASSERT_TRUE(
        rig.runUntil([&] { return rig.logged("Pelotune::startOpen id:" + std::to_string(chosen)); }, 30));
    EXPECT_TRUE(rig.logged("Pelotune::searchFinished canceled:1"));
    ASSERT_EQ(rig.boxes.boxes().size(), 1u);
    EXPECT_EQ(rig.boxes.boxes()[0].text, "Connecting to power meter...");

    runOpen();
    ASSERT_EQ(rig.stack()->count(), 3);
    EXPECT_EQ(rig.currentPageClass(), "Sensor");
    EXPECT_TRUE(rig.logged("Pelotune::searchFinished connecting to power meter id:" + std::to_string(chosen) +
                           " on channel:0"));
    EXPECT_EQ(rig.bench.stick()->chip().trackedDevice(0), chosen);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QProgressDialog*>(widget)) {
            EXPECT_FALSE(box->isVisible() && box->labelText() == "Connecting to power meter...")
                << "the window's busy box is gone";
        }
    }
    EXPECT_FALSE(rig.button("backButton")->isHidden());
}

TEST(SearchByNumberTest, OpeningByNumberTriesTheNormalThenTheBootloaderSettings)
{
    struct Case
    {
        const char* name;
        int number;
        const char* page; // null: "No Devices Found"
        bool bootloaderTried;
    };
    const Case cases[] = {
        {"meter in normal operation", 1234, "Sensor", false},
        {"largest number", 65535, "Sensor", false},
        {"meter in its bootloader", 77, "Firmware", true},
        {"no such meter", 4321, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchRig bench;
        WindowRig& rig = bench.rig;
        bench.startWith({1234, 65535, -77});

        bench.enterNumber(c.number);
        EXPECT_TRUE(rig.logged("Pelotune::startOpen id:" + std::to_string(c.number)));
        bench.runOpen();
        EXPECT_EQ(rig.logged("Pelotune::startOpen id:-" + std::to_string(c.number)), c.bootloaderTried);
        if (c.page != nullptr) {
            ASSERT_EQ(rig.stack()->count(), 3);
            EXPECT_EQ(rig.currentPageClass(), c.page);
            EXPECT_EQ(rig.bench.stick()->chip().trackedDevice(0), c.number);
        } else {
            EXPECT_EQ(rig.stack()->count(), 2);
            EXPECT_EQ(rig.stack()->currentIndex(), 0);
            ASSERT_EQ(rig.boxes.boxes("Failed").size(), 1u);
            EXPECT_EQ(rig.boxes.boxes("Failed")[0].text, "No Devices Found");
        }
    }
}

TEST_F(SearchTest, AnOpenThatFindsNothingStandsUnderOneBusyBoxWithTheButtonsOffAndNamesTheNumber)
{
    startWith({1234});
    QString told;
    rig.boxes.beforeAnswer = [&](QWidget* box) {
        if (auto* message = qobject_cast<QMessageBox*>(box); message && message->windowTitle() == "Failed") {
            told = message->informativeText();
        }
    };
    enterNumber(4321);
    rig.boxes.beforeAnswer = [&, keep = rig.boxes.beforeAnswer](QWidget* box) {
        keep(box);
        if (box->windowTitle() == "Failed") {
            apptest::Screenshot::screen(rig.window.get(), "open-by-id-failed");
        }
    };
    int ticks = 0;
    while (rig.boxes.boxes("Failed").empty() && ticks < 600) {
        int shown = 0;
        for (QWidget* widget : QApplication::allWidgets()) {
            auto* busy = qobject_cast<QProgressDialog*>(widget);
            shown += busy != nullptr && busy->isVisible() ? 1 : 0;
        }
        if (ticks == 200) {
            apptest::Screenshot::screen(rig.window.get(), "open-by-id-bootloader-pass");
        }
        ASSERT_EQ(shown, 1) << "tick " << ticks << (rig.logged("Pelotune::startOpen id:-4321") ? ", bootloader pass" : "");
        ASSERT_FALSE(rig.button("searchButton")->isEnabled()) << "tick " << ticks;
        ASSERT_FALSE(rig.button("enterIDButton")->isEnabled()) << "tick " << ticks;
        rig.tick();
        ++ticks;
    }
    EXPECT_TRUE(rig.logged("Pelotune::startOpen id:-4321"));
    ASSERT_EQ(rig.boxes.boxes("Failed").size(), 1u);
    EXPECT_EQ(rig.boxes.boxes("Failed")[0].text, "No Devices Found");
    EXPECT_TRUE(told.contains("No power meter with ID 4321 answered")) << told.toStdString();
    // The open is over: nothing busy, and the menu's buttons work again.
    WindowRig::flush();
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* busy = qobject_cast<QProgressDialog*>(widget);
        EXPECT_FALSE(busy != nullptr && busy->isVisible());
    }
    EXPECT_TRUE(rig.button("searchButton")->isEnabled());
    EXPECT_TRUE(rig.button("enterIDButton")->isEnabled());
}

TEST_F(SearchTest, TheNumberDialogTakesZeroTo65535AndComesOnlyOnce)
{
    startWith({});
    rig.window->enterID();
    rig.window->enterID();
    WindowRig::flush();
    const auto dialogs = rig.window->findChildren<QInputDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    QInputDialog* dialog = dialogs[0];
    EXPECT_EQ(dialog->windowTitle(), "Enter Power Meter ID");
    EXPECT_EQ(dialog->labelText(), "ID:");
    EXPECT_EQ(dialog->intValue(), 0);
    EXPECT_TRUE(dialog->isModal());
    dialog->setIntValue(70000);
    EXPECT_EQ(dialog->intValue(), 65535);
    dialog->setIntValue(-5);
    EXPECT_EQ(dialog->intValue(), 0);

    dialog->reject();
    WindowRig::flush();
    EXPECT_TRUE(rig.window->findChildren<QInputDialog*>().isEmpty());
}

TEST_F(SearchTest, NumberZeroOpensNothing)
{
    startWith({1234});
    enterNumber(0);
    EXPECT_FALSE(rig.logged("Pelotune::startOpen id:0"));
    ASSERT_EQ(rig.boxes.boxes("Failed").size(), 1u);
    EXPECT_EQ(rig.boxes.boxes("Failed")[0].text, "No Devices Found");
    rig.tick(300);
    EXPECT_TRUE(rig.listed().empty()) << "nothing found goes to the list";
    EXPECT_EQ(rig.stack()->count(), 2);
}

TEST_F(SearchTest, TheBusyBoxCancelOnlyClosesTheBox)
{
    startWith({1234});
    enterNumber(1234);
    auto* box = rig.window->findChild<QProgressDialog*>();
    if (box == nullptr) {
        // The box has no parent: find it among the top-level widgets.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(widget); progress && progress->isVisible()) {
                box = progress;
            }
        }
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->labelText(), "Connecting to power meter...");
    ASSERT_TRUE(support::clickButton(box, "Cancel"));
    EXPECT_FALSE(box->isVisible());
    runOpen();
    EXPECT_EQ(rig.currentPageClass(), "Sensor");
}

TEST_F(SearchTest, GoingBackFromTheMeterDisconnectsIt)
{
    startWith({1234});
    enterNumber(1234);
    runOpen();
    ASSERT_EQ(rig.stack()->count(), 3);
    ASSERT_EQ(rig.bench.stick()->chip().channelState(0), support::SimulatedAntChip::ChannelState::Tracking);

    // A page that left by itself leaves the meter connected until Back runs at two pages.
    delete rig.currentPage();
    rig.window->allBack();
    rig.tick(5);
    EXPECT_EQ(rig.bench.stick()->chip().channelState(0), support::SimulatedAntChip::ChannelState::Tracking);

    rig.window->backClicked();
    rig.tick(10);
    EXPECT_NE(rig.bench.stick()->chip().channelState(0), support::SimulatedAntChip::ChannelState::Tracking);
}

// The stick names another meter than the one asked for: no page opens on that meter's channel,
// which would send the page's writes to it; the open ends as one that found nothing.
TEST_F(SearchTest, AChannelIdNamingAnotherMeterOpensNoPage)
{
    startWith({2222});
    rig.bench.stick()->toHost = [](support::SimulatedStickRadio::Message& m) {
        if (m.id == 0x51 && m.payload.size() >= 3) {
            m.payload[1] = 1111 & 0xFF;
            m.payload[2] = 1111 >> 8;
        }
        return 1;
    };
    enterNumber(2222);
    ASSERT_TRUE(rig.runUntil([&] { return !rig.boxes.boxes("Failed").empty(); }, 1500));
    EXPECT_EQ(rig.stack()->count(), 2);
    EXPECT_TRUE(rig.logged("Pelotune::deviceFound ignoring id:1111 while opening:2222"));
    EXPECT_FALSE(rig.logged("Pelotune::searchFinished connecting to power meter id:2222 on channel:0"));
}

// A stick that never gets one command of the channel's set-up (its USB write fails every time)
// while a meter is opened: the open ends with the failure box instead of waiting for ever, and once
// the stick works again the user can search and open as before.
TEST_F(SearchTest, AFailedWriteDuringTheConnectionEndsItAndSearchingWorksAgain)
{
    for (int command : {0x42, 0x51, 0x44, 0x43, 0x45, 0x66, 0x4B, 0x4D}) {
        SCOPED_TRACE("command " + std::to_string(command));
        // Declared first: the stick asks it until the window is gone.
        bool failing = true;
        SearchRig open;
        open.startWith({1234});
        open.rig.bench.stick()->write = [&failing, command](const support::SimulatedStickRadio::Message& m) {
            return !(failing && m.id == command);
        };
        open.enterNumber(1234);
        // At most a minute of the stick's time.
        ASSERT_TRUE(open.rig.runUntil([&] { return !open.rig.boxes.boxes("Failed").empty(); }, 1800));
        EXPECT_EQ(open.rig.boxes.boxes("Failed")[0].text, "No Devices Found");
        EXPECT_EQ(open.rig.stack()->count(), 2);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QProgressDialog*>(widget);
            EXPECT_FALSE(box && box->isVisible()) << "the busy box is gone";
        }

        failing = false;
        if (command == 0x4B || command == 0x4D) {
            // After a failed open or channel-id request the list search finds the meter again.
            const int ended = open.passesEnded();
            open.rig.button("searchButton")->click();
            ASSERT_TRUE(open.rig.runUntil([&] { return open.passesEnded() == ended + 2; }, 1800));
            EXPECT_EQ(open.rig.listed(), std::vector<int>{1234});
        }
        open.enterNumber(1234);
        ASSERT_TRUE(open.rig.runUntil([&] { return open.rig.stack()->count() > 2; }, 600));
        EXPECT_EQ(open.rig.currentPageClass(), "Sensor");
    }
}

} // namespace
