// The firmware page as the window and the meter's home page use it: its starting state for a meter in
// its bootloader or running its firmware, the update warning, the firmware version once the meter
// reports it, help, and going back when the meter's channel closes.
#include "WindowRig.h"

#include "ant/device/MeterRig.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Implementer.h"
#include "firmware/Firmware.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>

#include <gtest/gtest.h>

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
        EXPECT_TRUE(
            warning->text().startsWith("<p>Firmware updating should NOT be taken lightly.</p> \t\t<p>"));
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

} // namespace
