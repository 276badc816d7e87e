#include "app/Slope.h"
#include "app/Adjust.h"
#include "calibration/Calibrate.h"

#include "MeterBench.h"

#include <QInputDialog>
#include <QLocale>
#include <QProgressDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using apptest::MeterBench;
using apptest::slopeBytes;
using apptest::slopeOf;
using support::Bytes;

constexpr float kStep = 2.0f / 65536;

// The slope reads the page logged, in order: 1 for the factory slope, 0 for the user slope.
std::vector<int> slopeReads(const MeterBench& b)
{
    std::vector<int> reads;
    for (const std::string& line : b.log.listener.texts()) {
        if (line == "Slope::querySlope factory:1") {
            reads.push_back(1);
        } else if (line == "Slope::querySlope factory:0") {
            reads.push_back(0);
        }
    }
    return reads;
}

// A meter with user slope `user` and factory slope `factory`, opened, its Slope page shown and
// both slopes read.
struct SlopeBench : MeterBench
{
    SlopeBench(float user, float factory)
    {
        firmware.setRegisters(0x09, slopeBytes(user));
        firmware.setRegisters(0x21, slopeBytes(factory));
        openMeter();
    }

    ~SlopeBench() { Slope::startSetSlope = 0.0f; }

    Slope* showSlope()
    {
        page = push(new Slope(device.get(), window.get()));
        return page;
    }

    // Until the user slope has been read (`count` times in all) and its box is gone.
    bool userSlopeRead(int count = 1)
    {
        return runUntil([&] { return logged("Slope::querySlope factory:0") >= count && !busy(); });
    }

    QString current() const { return text(page, "currentSlopeValue"); }
    QString factory() const { return text(page, "factorySlopeValue"); }
    float userRegister() const { return slopeOf(firmware.registers(0x09, 3)); }
    float factoryRegister() const { return slopeOf(firmware.registers(0x21, 3)); }

    Slope* page = nullptr;
};

TEST(SlopeTest, ShowingReadsTheFactorySlopeThenTheUserSlope)
{
    SlopeBench b(12.5f, 12.0f);
    b.showSlope();
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Reading Factory Slope..."});
    // "Cancel" only hides the box: the answer still comes and is shown.
    auto* box = b.page->findChild<QProgressDialog*>();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(support::clickButton(box, "Cancel"));
    EXPECT_FALSE(MeterBench::busy());
    ASSERT_TRUE(b.userSlopeRead());
    EXPECT_EQ(slopeReads(b), (std::vector<int>{1, 0}));
    EXPECT_EQ(b.factory(), "12.00");
    EXPECT_EQ(b.current(), "12.50");
}

TEST(SlopeTest, AHandedOverSlopeIsWrittenWithinItsLimitsThenReadBack)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case
    {
        float handedOver;
        bool written;
        float userAfter;
    };
    const Case cases[] = {
        {20.0f, true, 20.0f},  {25.0f, true, 25.0f},  {3.0f, true, 3.0f},
        {2.5f, true, 3.0f},    {300.0f, true, 25.0f}, {0.0f, false, 12.5f},
        {-4.0f, false, 12.5f}, {nan, false, 12.5f},   {infinity, false, 12.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handedOver);
        SlopeBench b(12.5f, 12.0f);
        Slope::startSetSlope = c.handedOver;
        b.showSlope();
        EXPECT_EQ(Slope::startSetSlope, 0.0f);
        ASSERT_TRUE(b.userSlopeRead());
        EXPECT_NEAR(b.userRegister(), c.userAfter, kStep);
        EXPECT_EQ(b.current(), QString::asprintf("%.2f", static_cast<double>(c.userAfter)));
        // A write is followed by a read of the user slope only.
        EXPECT_EQ(slopeReads(b), (c.written ? std::vector<int>{0} : std::vector<int>{1, 0}));
        EXPECT_EQ(b.factory(), c.written ? "--" : "12.00");
        EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), c.written ? 1 : 0);
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

// The typed text is read whole: "." or the locale's separator is the decimal point, a number out of
// range is limited to it, and text that is no number is refused with a message and writes nothing.
TEST(SlopeTest, EnteringASlopeReadsTheWholeTextAndKeepsItWithinItsLimits)
{
    struct Case
    {
        const char* what;
        const char* typed;
        bool confirm;
        float userAfter;
        bool refused;
    };
    const Case cases[] = {
        {"a slope in range", "7.25", true, 7.25f, false},
        {"above the range", "40", true, 25.0f, false},
        {"below the range", "1", true, 3.0f, false},
        {"a negative number", "-5", true, 3.0f, false},
        {"cancelled", "7.25", false, 12.5f, false},
        {"another decimal separator", "12,5", true, 12.5f, true},
        {"an exponent", "1e9", true, 12.5f, true},
        {"a word", "twelve", true, 12.5f, true},
        {"nothing", "", true, 12.5f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SlopeBench b(12.5f, 12.0f);
        b.answerer.press("Invalid Slope", "OK");
        b.showSlope();
        ASSERT_TRUE(b.userSlopeRead());

        QString title;
        QString label;
        QString start;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            title = dialog->windowTitle();
            label = dialog->labelText();
            start = dialog->textValue();
            dialog->setTextValue(c.typed);
            if (c.confirm) {
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
        answer.start(5);
        MeterBench::button(b.page, "enterSlopeButton")->click();
        answer.stop();
        EXPECT_EQ(title, "Enter Slope");
        EXPECT_EQ(label, "Valid slopes are between 3 and 25.");
        EXPECT_EQ(start, "12.5");

        const bool writes = c.confirm && !c.refused;
        ASSERT_TRUE(b.userSlopeRead(writes ? 2 : 1));
        b.run(500);
        EXPECT_NEAR(b.userRegister(), c.userAfter, kStep);
        EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), writes ? 1 : 0);
        ASSERT_EQ(b.answerer.boxes("Invalid Slope").size(), c.refused ? 1u : 0u);
        if (c.refused) {
            EXPECT_EQ(b.answerer.boxes("Invalid Slope")[0].text,
                      QString("\"") + c.typed + "\" is not a slope. Valid slopes are between 3 and 25.");
        }
    }
}

// In a locale whose decimal point is a comma, both it and "." are read as the decimal point.
TEST(SlopeTest, EnteringASlopeTakesTheLocalesDecimalPoint)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const char* typed : {"12,75", "12.75"}) {
        SCOPED_TRACE(typed);
        SlopeBench b(12.5f, 12.0f);
        b.showSlope();
        ASSERT_TRUE(b.userSlopeRead());
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                dialog->setTextValue(typed);
                dialog->accept();
            }
        });
        answer.start(5);
        MeterBench::button(b.page, "enterSlopeButton")->click();
        answer.stop();
        ASSERT_TRUE(b.userSlopeRead(2));
        EXPECT_NEAR(b.userRegister(), 12.75f, kStep);
    }
    QLocale::setDefault(before);
}

TEST(SlopeTest, ResettingAsksFirstAndCopiesTheRightSlope)
{
    struct Case
    {
        const char* what;
        float user, factory;
        const char* question;
        const char* answer;
        float userAfter, factoryAfter;
    };
    const Case cases[] = {
        {"a valid factory slope into the user slope", 12.5f, 12.0f, "Reset slope with factory slope?", "OK",
         12.0f, 12.0f},
        {"a factory slope of exactly 1 counts as valid", 12.5f, 1.0f, "Reset slope with factory slope?",
         "Cancel", 12.5f, 1.0f},
        {"an invalid factory slope is overwritten by the user slope", 12.5f, 0.5f,
         "Factory slope is invalid at 0.500000, reset factory slope?", "OK", 12.5f, 12.5f},
        {"cancelled", 12.5f, 0.5f, "Factory slope is invalid at 0.500000, reset factory slope?", "Cancel", 12.5f,
         0.5f},
        // A slope read out of range is written within the limits, never as read.
        {"a factory slope above 25", 12.5f, 65.01f, "Reset slope with factory slope?", "OK", 25.0f, 65.01f},
        {"a factory slope below 3", 12.5f, 1.0f, "Reset slope with factory slope?", "OK", 3.0f, 1.0f},
        {"a user slope above 25 into an invalid factory slope", 40.0f, 0.5f,
         "Factory slope is invalid at 0.500000, reset factory slope?", "OK", 40.0f, 25.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SlopeBench b(c.user, c.factory);
        b.showSlope();
        ASSERT_TRUE(b.userSlopeRead());
        b.answerer.press("Reset Slope", c.answer);
        MeterBench::button(b.page, "resetSlopeButton")->click();
        ASSERT_EQ(b.answerer.boxes("Reset Slope").size(), 1u);
        EXPECT_EQ(b.answerer.boxes("Reset Slope")[0].text, c.question);
        b.run(15000);
        EXPECT_NEAR(b.userRegister(), c.userAfter, kStep);
        EXPECT_NEAR(b.factoryRegister(), c.factoryAfter, kStep);
        EXPECT_FALSE(MeterBench::busy());
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

TEST(SlopeTest, ResettingWritesNoSlopeThatWasNeverRead)
{
    struct Case
    {
        const char* what;
        bool invalidFactoryRead;
    };
    const Case cases[] = {{"nothing read", false},
                          {"an invalid factory slope read, the user slope not", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SlopeBench b(12.5f, 12.0f);
        // Not shown: no reply of the meter reaches it.
        Slope page(b.device.get(), b.window.get());
        if (c.invalidFactoryRead) {
            page.slopeReceived(b.device.get(), 0.5f, true);
        }
        b.answerer.press("Reset Slope", "OK");
        page.resetSlope();
        // Nothing to ask about yet: the slopes are read instead.
        EXPECT_TRUE(b.answerer.boxes("Reset Slope").empty());
        EXPECT_EQ(b.logged("Slope::querySlope factory:1"), 1);
        b.run(10000);
        EXPECT_EQ(b.logged("Slope::setSlope slope0.000000 factory:1"), 0);
        EXPECT_NEAR(b.userRegister(), 12.5f, kStep);
        EXPECT_NEAR(b.factoryRegister(), 12.0f, kStep);
    }
}

TEST(SlopeTest, AdjustStepsOnePercentOfTheStartSlopeAndHandsTheResultBack)
{
    struct Case
    {
        float start;
        std::string presses; // + increase, - decrease
        const char* shown;
        float userAfter;
    };
    const Case cases[] = {
        {20.0f, "", "20.00 (+0%)", 20.0f},
        {20.0f, "++", "20.40 (+2%)", 20.4f},
        {20.0f, "++---", "19.80 (-1%)", 19.8f},
        {24.8f, "+", "25.00 (+1%)", 25.0f},
        {24.8f, "++", "25.00 (+1%)", 25.0f},
        // The step that meets the limit moves the slope by less than 0.01 and is undone.
        {3.1f, "---", "3.01 (-3%)", 3.007f},
        {3.1f, "----", "3.00 (-3%)", 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " " + c.presses);
        SlopeBench b(c.start, 12.0f);
        b.showSlope();
        ASSERT_TRUE(b.userSlopeRead());

        MeterBench::button(b.page, "adjustSlopeButton")->click();
        MeterBench::flush();
        auto* adjust = qobject_cast<Adjust*>(b.currentPage());
        ASSERT_NE(adjust, nullptr);
        EXPECT_EQ(MeterBench::text(adjust, "currentSlopeValue"), QString::asprintf("%.2f", double(c.start)));
        for (char press : c.presses) {
            MeterBench::button(adjust, press == '+' ? "increaseSlopeButton" : "decreaseSlopeButton")->click();
        }
        EXPECT_EQ(MeterBench::text(adjust, "newSlopeValue"), c.shown);

        MeterBench::button(adjust, "acceptButton")->click();
        MeterBench::flush();
        ASSERT_EQ(b.currentPage(), b.page);
        ASSERT_TRUE(b.userSlopeRead(2));
        EXPECT_NEAR(b.userRegister(), c.userAfter, 1e-3f);
        EXPECT_EQ(b.current(), QString::asprintf("%.2f", static_cast<double>(c.userAfter)));
        EXPECT_EQ(Slope::startSetSlope, 0.0f);
    }
}

// The user cancels the first read's box on a slow meter and goes on at once: no page works from a
// slope that was never read; the slopes are read again, and the page opens once they are shown.
TEST(SlopeTest, PagesWorkingFromTheSlopesWaitUntilBothHaveBeenRead)
{
    struct Case
    {
        const char* button;
        const char* page;
    };
    const Case cases[] = {
        {"adjustSlopeButton", "Adjust"},
        {"calibrationTablesButton", "Tables"},
        {"calibrateSlopeButton", "Calibrate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        SlopeBench b(12.5f, 12.0f);
        // The wizard's view has no display here.
        b.answerer.press("Error", "OK");
        b.showSlope();
        ASSERT_EQ(MeterBench::busyTexts(), QStringList{"Reading Factory Slope..."});
        for (QProgressDialog* box : b.page->findChildren<QProgressDialog*>()) {
            box->cancel();
        }
        MeterBench::button(b.page, c.button)->click();
        MeterBench::flush();
        EXPECT_EQ(b.currentPage(), b.page);
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Reading Factory Slope..."});

        ASSERT_TRUE(b.runUntil([&] { return b.current() == "12.50" && !MeterBench::busy(); }));
        MeterBench::button(b.page, c.button)->click();
        MeterBench::flush();
        ASSERT_STREQ(b.currentPage()->metaObject()->className(), c.page);
        if (std::string(c.page) == "Adjust") {
            EXPECT_EQ(MeterBench::text(b.currentPage(), "currentSlopeValue"), "12.50");
        }
        b.window->backClicked();
        MeterBench::flush();
        EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), 0);
        EXPECT_NEAR(b.userRegister(), 12.5f, kStep);
    }
}

TEST(SlopeTest, CancellingAdjustWritesNothingAndReadsBothSlopesAgain)
{
    SlopeBench b(20.0f, 12.0f);
    b.showSlope();
    ASSERT_TRUE(b.userSlopeRead());
    MeterBench::button(b.page, "adjustSlopeButton")->click();
    MeterBench::flush();
    auto* adjust = b.currentPage();
    MeterBench::button(adjust, "increaseSlopeButton")->click();
    MeterBench::button(adjust, "cancelButton")->click();
    MeterBench::flush();
    ASSERT_EQ(b.currentPage(), b.page);
    EXPECT_EQ(Slope::startSetSlope, 0.0f);
    ASSERT_TRUE(b.userSlopeRead(2));
    EXPECT_EQ(slopeReads(b), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_NEAR(b.userRegister(), 20.0f, kStep);
    EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), 0);
}

TEST(SlopeTest, TheCalibrationWizardOpensAndBackAndHelpFollowIt)
{
    SlopeBench b(12.5f, 12.0f);
    // The wizard's view has no display here.
    b.answerer.press("Error", "OK");
    b.showSlope();
    ASSERT_TRUE(b.userSlopeRead());

    MeterBench::button(b.page, "calibrateSlopeButton")->click();
    MeterBench::flush();
    auto* wizard = qobject_cast<Calibrate*>(b.currentPage());
    ASSERT_NE(wizard, nullptr);
    b.windowButton("helpButton")->click();
    ASSERT_EQ(b.urls.urls().size(), 1u);
    EXPECT_TRUE(b.urls.urls()[0].toString().endsWith("/calibrateSlope.html"));

    // The wizard leaving the stack by itself leaves Back and Help to the Slope page.
    delete wizard;
    MeterBench::flush();
    EXPECT_EQ(b.currentPage(), b.page);
    EXPECT_TRUE(b.windowButton("backButton")->isVisible());
    b.windowButton("helpButton")->click();
    ASSERT_EQ(b.urls.urls().size(), 2u);
    EXPECT_TRUE(b.urls.urls()[1].toString().endsWith("/slope.html"));
    ASSERT_TRUE(b.userSlopeRead(2));

    // Going back from the wizard's first step closes it once the meter has left its calibration
    // setting; the Slope page reads both slopes again.
    MeterBench::button(b.page, "calibrateSlopeButton")->click();
    MeterBench::flush();
    ASSERT_NE(qobject_cast<Calibrate*>(b.currentPage()), nullptr);
    b.window->backClicked();
    ASSERT_TRUE(b.runUntil([&] { return b.currentPage() == b.page; }));
    b.run(5000);
    EXPECT_EQ(slopeReads(b), (std::vector<int>{1, 0, 1, 0, 1, 0}));
}

TEST(SlopeTest, ClampSlopeSaysWhetherItChangedTheSlope)
{
    struct Case
    {
        float in, out;
        bool changed;
    };
    for (const Case& c : {Case{2.5f, 3.0f, true}, Case{3.0f, 3.0f, false}, Case{25.0f, 25.0f, false},
                          Case{30.0f, 25.0f, true}, Case{12.34f, 12.34f, false}}) {
        float slope = c.in;
        EXPECT_EQ(Slope::clampSlope(nullptr, slope), c.changed) << c.in;
        EXPECT_EQ(slope, c.out) << c.in;
    }
}

} // namespace
