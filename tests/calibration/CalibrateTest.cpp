// The calibration wizard without a view (no display here: its "Error" box is answered and the scene
// runs without a render device), on a simulated meter whose torque readings the test sets as the
// hanging weight would.
#include "calibration/Calibrate.h"
#include "app/MeterPage.h"
#include "calibration/view/FadeAnimation.h"
#include "calibration/view/PelotuneAnimation.h"
#include "app/Slope.h"
#include "calibration/Results.h"
#include "scene/Node.h"
#include "scene/Transform.h"

#include "MeterBench.h"
#include "Screenshot.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace {

using apptest::MeterBench;
using support::Bytes;

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2.0f * kPi;

const QString kSixStart =
    "To calibrate you will need to place the weight and chain & chainrings in four separate combinations, and "
    "take a reading for each one.  A first and a sixth reading will also be taken without any weight.";
const QString kFourStart =
    "To calibrate you will need to place the weight in two separate combinations, and take a reading for each "
    "one.  A first and a fourth reading will also be taken without any weight.";
const QString kSixUnloaded = "Place the chain on the Largest chainring.  Ensure the crank is level, and there is "
                             "no weight on the crank.  Then press the button.";
const QString kFourUnloaded = " Ensure the crank is level, and there is no weight on the crank.  Then press the button.";
const QString kSmallLeft = "Place the chain on the Smallest chainring and the weight on the Left crank arm.  Ensure "
                           "the crank is level.  Then press the button.";
const QString kSmallRight = "Place the chain on the Smallest chainring and the weight on the Right crank arm.  "
                            "Ensure the crank is level.  Then press the button.";
const QString kBigLeft = "Place the chain on the Largest chainring and the weight on the Left crank arm.  Ensure "
                         "the crank is level.  Then press the button.";
const QString kBigRight = "Place the chain on the Largest chainring and the weight on the Right crank arm.  Ensure "
                          "the crank is level.  Then press the button.";
const QString kLeft = "Place the weight on the Left crank arm.  Ensure the crank is level.  Then press the button.";
const QString kRight = "Place the weight on the Right crank arm.  Ensure the crank is level.  Then press the button.";
const QString kRemove = "Remove the weight.  Ensure the crank is level.  Then press the button.";

// The slots a press may fill.
enum Slot
{
    None = -1,
    R1 = 0,
    R2,
    R3,
    R4,
    First,
    Final,
};

// Which of the big chain, small chain, back arrow and front arrow are drawn, and the crank's angle.
struct Pose
{
    bool big, small, back, front;
    float angle;
};

// The angle of a rotation about +y.
float angleAboutY(const rezezaz::scene::Node* node)
{
    const auto& q = node->getTransform()->rotate;
    return 2.0f * std::atan2(q.y, q.w);
}

// a - b as a turn between -π and π.
float turnBetween(float a, float b)
{
    return std::remainder(a - b, kTwoPi);
}

// A meter of `model` opened, a page standing for the Slope page below, and the wizard on top with
// its opening warning answered.
struct CalibrateBench : MeterBench
{
    // `answerWarning` false leaves the opening warning to the test.
    explicit CalibrateBench(int model, bool answerWarning = true)
    {
        meter.product.model = model;
        answerer.press("Error", "OK");
        if (answerWarning) {
            answerer.press("Warning", "OK");
        }
        for (const char* title : {"Invalid values", "Invalid weight", "Low weight"}) {
            answerer.press(title, "OK");
        }
        openMeter();
        below = push(new QWidget);
        page = push(new Calibrate(device.get(), window.get(), 12.5f));
    }
    ~CalibrateBench() override { Slope::startSetSlope = 0.0f; }

    // The warning answered, the meter in its calibration setting, the crank's turn over.
    void start()
    {
        ASSERT_TRUE(runUntil([&] { return firmware.registers(0x3D, 1) == Bytes{60} && !busy(); }));
        settle();
    }

    // Runs the page's frames until its animations have ended.
    void settle()
    {
        for (int frame = 0; frame < 1000 && !page->getAnimations().isEmpty(); ++frame) {
            page->update();
        }
        ASSERT_TRUE(page->getAnimations().isEmpty());
    }

    void type(const QString& length, const QString& weight, bool kg = true)
    {
        page->findChild<QLineEdit*>("crankArmLengthValue")->setText(length);
        page->findChild<QLineEdit*>("weightUsedValue")->setText(weight);
        page->findChild<QRadioButton*>(kg ? "weightUsedKg" : "weightUsedLbs")->setChecked(true);
    }

    // The meter reads `torque` from now on; waits until the wizard has it.
    void hang(double torque)
    {
        meter.readings.torque = torque;
        ASSERT_TRUE(runUntil([&] { return page->getCurrentReading() == static_cast<float>(torque); }));
    }

    void press()
    {
        button(page, "continueButton")->click();
        flush();
    }

    QString instructions() const { return text(page, "instructions"); }

    std::vector<float> stored() const
    {
        return {page->getReading(0), page->getReading(1), page->getReading(2),
                page->getReading(3), page->getFirstReference(), page->getFinalReference()};
    }

    void expectPose(const Pose& pose) const
    {
        EXPECT_EQ(page->getBigChainNode()->getScope(), pose.big ? -1 : 0);
        EXPECT_EQ(page->getSmallChainNode()->getScope(), pose.small ? -1 : 0);
        EXPECT_EQ(page->getBackArrowNode()->getScope(), pose.back ? -1 : 0);
        EXPECT_EQ(page->getFrontArrowNode()->getScope(), pose.front ? -1 : 0);
        EXPECT_EQ(page->getCrankNode()->getScope(), -1);
        EXPECT_NEAR(turnBetween(angleAboutY(page->getCrankNode()), pose.angle), 0.0f, 1e-4f);
    }

    QWidget* below = nullptr;
    QPointer<Calibrate> page;
};

struct Press
{
    int at;
    QString text;
    Slot slot;
    double torque;
    int stepAfter;
    Pose pose;
};

const std::vector<Press> kSixPresses = {
    {0, kSixStart, None, 0.0, 1, {false, false, false, false, 0.0f}},
    {1, kSixUnloaded, None, 0.0, 2, {true, false, false, false, 0.0f}},
    {2, kSmallLeft, First, 1.0, 3, {false, true, true, false, kPi}},
    {3, kSmallRight, R1, 28.5, 4, {false, true, false, true, 0.0f}},
    {4, kBigLeft, R2, 28.25, 5, {true, false, true, false, kPi}},
    {5, kBigRight, R3, 28.0, 6, {true, false, false, true, 0.0f}},
    {6, kRemove, R4, 27.75, 7, {true, false, false, false, 0.0f}},
};

const std::vector<Press> kFourPresses = {
    {0, kFourStart, None, 0.0, 1, {false, false, false, false, 0.0f}},
    {1, kFourUnloaded, None, 0.0, 2, {true, false, false, false, 0.0f}},
    {2, kLeft, R2, 1.0, 5, {true, false, true, false, kPi}},
    {5, kRight, R3, 28.5, 6, {true, false, false, true, 0.0f}},
    {6, kRemove, R4, 28.25, 7, {true, false, false, false, 0.0f}},
};

// The two procedures: a model-3 meter's six readings and a model-5 meter's four.
struct Procedure
{
    const char* name;
    int model;
    const std::vector<Press>* presses;
};
const Procedure kProcedures[] = {{"six readings", 3, &kSixPresses}, {"four readings", 5, &kFourPresses}};

// The meter reads what `p` takes (a little where it stores nothing), the wizard has it, and the button
// is pressed.
void pressWithReading(CalibrateBench& b, const Press& p)
{
    b.hang(p.slot == None ? 0.5 : p.torque);
    b.press();
}

// Presses through `presses`, each with its own reading.
void run(CalibrateBench& b, const std::vector<Press>& presses, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const Press& p = presses[i];
        ASSERT_EQ(b.page->getStep(), p.at);
        pressWithReading(b, p);
        b.settle();
    }
}

TEST(CalibrateTest, EachPressStoresItsReadingShowsTheNextPlacementAndPosesTheModel)
{
    for (const Procedure& procedure : kProcedures) {
        SCOPED_TRACE(procedure.name);
        CalibrateBench b(procedure.model);
        b.start();
        // Only the crank is drawn before the first step.
        b.expectPose({false, false, false, false, 0.0f});
        b.type("175", "20");
        std::vector<float> expected(6, 0.0f);
        for (const Press& p : *procedure.presses) {
            SCOPED_TRACE("press at " + std::to_string(p.at));
            ASSERT_EQ(b.page->getStep(), p.at);
            pressWithReading(b, p);
            if (p.slot != None) {
                expected[p.slot] = static_cast<float>(p.torque);
            }
            EXPECT_EQ(b.instructions(), p.text);
            EXPECT_EQ(b.stored(), expected);
            EXPECT_EQ(b.page->getStep(), p.stepAfter);
            b.settle();
            b.expectPose(p.pose);
        }
        // The inputs are fixed from the first press on.
        EXPECT_FALSE(b.page->findChild<QLineEdit*>("crankArmLengthValue")->isEnabled());
        EXPECT_FALSE(b.page->findChild<QRadioButton*>("weightUsedLbs")->isEnabled());
        // The final unloaded reading, 0.25 N·m from the first: the meter leaves its calibration setting
        // and the results page takes the wizard's place. The button shows the latest reading.
        b.hang(1.25);
        EXPECT_EQ(MeterBench::button(b.page, "continueButton")->text(), "Take reading (1.2500)");
        b.press();
        expected[Final] = 1.25f;
        EXPECT_EQ(b.stored(), expected);
        EXPECT_EQ(b.page->getStep(), 7);
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Finishing Calibration"});
        ASSERT_TRUE(b.runUntil([&] { return qobject_cast<Results*>(b.currentPage()) != nullptr; }));
        MeterBench::flush();
        EXPECT_TRUE(b.page.isNull());
        EXPECT_EQ(b.firmware.registers(0x3D, 1), Bytes{0});
        auto* results = qobject_cast<Results*>(b.currentPage());
        EXPECT_EQ(MeterBench::text(results, "oldSlopeValue"), "12.50");
        b.window->backClicked();
        MeterBench::flush();
        EXPECT_EQ(b.currentPage(), b.below);
    }
}

TEST(CalibrateTest, BackShowsThePlacementBeforeInItsPoseAndKeepsEveryReading)
{
    struct Case
    {
        int model;
        int at;
        QString text;
        int stepAfter;
        Pose pose;
    };
    const Case cases[] = {
        {3, 2, kSixStart, 1, {false, false, false, false, 0.0f}},
        {3, 3, kSixUnloaded, 2, {true, false, false, false, 0.0f}},
        {3, 4, kSmallLeft, 3, {false, true, true, false, kPi}},
        {3, 5, kSmallRight, 4, {false, true, false, true, 0.0f}},
        {3, 6, kBigLeft, 5, {true, false, true, false, kPi}},
        {3, 7, kBigRight, 6, {true, false, false, true, 0.0f}},
        {5, 5, kFourUnloaded, 2, {true, false, false, false, 0.0f}},
        {5, 6, kLeft, 5, {true, false, true, false, kPi}},
        {5, 7, kRight, 6, {true, false, false, true, 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("model " + std::to_string(c.model) + ", Back at " + std::to_string(c.at));
        CalibrateBench b(c.model);
        b.start();
        b.type("175", "20");
        const std::vector<Press>& presses = c.model == 5 ? kFourPresses : kSixPresses;
        std::size_t count = 0;
        while (count < presses.size() && presses[count].at < c.at) {
            ++count;
        }
        run(b, presses, count);
        ASSERT_EQ(b.page->getStep(), c.at);
        b.hang(99.0);
        const std::vector<float> before = b.stored();
        b.window->backClicked();
        MeterBench::flush();
        EXPECT_EQ(b.currentPage(), b.page.data());
        EXPECT_EQ(b.instructions(), c.text);
        EXPECT_EQ(b.page->getStep(), c.stepAfter);
        EXPECT_EQ(b.stored(), before);
        // The pose is set at once: nothing is left to play.
        EXPECT_TRUE(b.page->getAnimations().isEmpty());
        b.expectPose(c.pose);
        if (c.at == 2) {
            EXPECT_EQ(MeterBench::button(b.page, "continueButton")->text(), "Continue");
        }
    }
}

TEST(CalibrateTest, ThePressChecksTheTypedLengthAndWeightFirst)
{
    struct Case
    {
        const char* length;
        const char* weight;
        bool kg;
        const char* box; // "" for none
        int stepAfter;
        const char* lengthAfter;
        const char* weightAfter;
    };
    const Case cases[] = {
        {"0", "20", true, "Invalid values", 0, "", "20"},
        {"175", "0", true, "Invalid values", 0, "175", ""},
        {"long", "-3", true, "Invalid values", 0, "", ""},
        {"175", "9", true, "Invalid weight", 0, "175", "9"},
        {"175", "9.01", true, "Low weight", 1, "175", "9.01"},
        {"175", "20", true, "", 1, "175", "20"},
        // 19.96 kg.
        {"175", "44", false, "Low weight", 1, "175", "44"},
        // No numbers, or none an arm or a hanging weight could have.
        {"175", "inf", true, "Invalid values", 0, "175", ""},
        {"175", "1e39", true, "Invalid values", 0, "175", ""},
        {"175", "nan", false, "Invalid values", 0, "175", ""},
        {"175", "250", true, "Invalid values", 0, "175", ""},
        {"1e30", "20", true, "Invalid values", 0, "", "20"},
        {"1750", "20", true, "Invalid values", 0, "", "20"},
        {"17.5", "20", true, "Invalid values", 0, "", "20"},
    };
    const std::map<QString, QString> texts = {
        {"Invalid values", "Please enter a valid length and weight and try again."},
        {"Invalid weight",
         "The weight is too low to properly calibrate a power meter. Velonix recommands at least 20kg."},
        {"Low weight", "Velonix recommends a minimum of 20kg to calibrate your power meter. You may continue, "
                       "but your results may be inaccurate."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.length) + " mm, " + c.weight + (c.kg ? " kg" : " lbs"));
        CalibrateBench b(3);
        b.start();
        b.answerer.clear();
        b.type(c.length, c.weight, c.kg);
        b.press();
        EXPECT_EQ(b.page->getStep(), c.stepAfter);
        EXPECT_EQ(b.page->findChild<QLineEdit*>("crankArmLengthValue")->text(), c.length[0] == 'l' ? "" : c.lengthAfter);
        EXPECT_EQ(b.page->findChild<QLineEdit*>("weightUsedValue")->text(), c.weightAfter);
        if (std::string(c.box).empty()) {
            EXPECT_TRUE(b.answerer.boxes().empty());
            continue;
        }
        ASSERT_EQ(b.answerer.boxes().size(), 1u);
        EXPECT_EQ(b.answerer.boxes()[0].title, c.box);
        EXPECT_EQ(b.answerer.boxes()[0].text, texts.at(c.box));
        // A light weight is warned of once.
        b.press();
        EXPECT_EQ(b.answerer.boxes().size(), std::string(c.box) == "Low weight" ? 1u : 2u);
        EXPECT_EQ(b.page->getStep(), std::string(c.box) == "Low weight" ? 2 : 0);
    }
}

TEST(CalibrateTest, UnloadedReadingsThatDriftApartAskToRetestRedoOrIgnore)
{
    struct Case
    {
        const char* name;
        double final;
        const char* answer; // "" when no box is expected
        int stepAfter;
        bool finishes;
    };
    const Case cases[] = {
        {"0.5 N·m apart", 1.5, "", 7, true},
        {"retest", 1.53125, "Retest", 1, false},
        {"redo step 6", 1.53125, "Redo Step 6", 7, false},
        {"ignore", 1.53125, "Ignore", 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CalibrateBench b(3);
        b.start();
        b.type("175", "20");
        run(b, kSixPresses, kSixPresses.size());
        ASSERT_EQ(b.page->getStep(), 7);
        b.answerer.clear();
        b.answerer.press("Warning", c.answer);
        b.hang(c.final);
        b.press();
        EXPECT_EQ(b.page->getFinalReference(), static_cast<float>(c.final));
        EXPECT_EQ(b.page->getStep(), c.stepAfter);
        if (std::string(c.answer).empty()) {
            EXPECT_TRUE(b.answerer.boxes("Warning").empty());
        } else {
            ASSERT_EQ(b.answerer.boxes("Warning").size(), 1u);
            EXPECT_EQ(b.answerer.boxes("Warning")[0].text,
                      "The initial and final reference measurements differ by more than 0.5 Nm.  Pelotune "
                      "suggests retesting the measurements.");
            EXPECT_EQ(b.answerer.boxes("Warning")[0].pressed, c.answer);
        }
        EXPECT_EQ(MeterBench::busyTexts(), c.finishes ? QStringList{"Finishing Calibration"} : QStringList{});
        if (std::string(c.answer) == "Retest") {
            EXPECT_EQ(b.instructions(), kSixStart);
        }
        if (std::string(c.answer) == "Redo Step 6") {
            // The next press takes the final unloaded reading again.
            b.hang(1.5);
            b.press();
            EXPECT_EQ(b.page->getFinalReference(), 1.5f);
            EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Finishing Calibration"});
        }
    }
}

TEST(CalibrateTest, TheMeterIsSwitchedIntoItsCalibrationSettingAndBackOutOfIt)
{
    CalibrateBench b(3);
    ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Warning").empty(); }));
    EXPECT_EQ(b.answerer.boxes("Warning")[0].text,
              "<p>Slope Calibration is not a normal maintenance procedure.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
              "<p>It is only useful when changing to different chainrings.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
              "<p>It is less accurate than factory calibration.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
              "<p>The slope does not change with time or usage.</p>");
    EXPECT_EQ(b.busyTextsUntil([&] { return b.firmware.registers(0x3D, 1) == Bytes{60} && !MeterBench::busy(); }),
              std::vector<QString>{"Starting Calibration"});
    // The meter confirmed: the crank turns once.
    ASSERT_EQ(b.page->getAnimations().size(), 1);
    b.page->update();
    EXPECT_NEAR(turnBetween(angleAboutY(b.page->getCrankNode()), kTwoPi * 33 / 1000), 0.0f, 1e-4f);
    b.settle();

    // Back at the first step leaves once the meter has confirmed the end of the setting.
    b.type("172.5", "44", false);
    b.press();
    ASSERT_EQ(b.page->getStep(), 1);
    b.window->backClicked();
    EXPECT_EQ(b.currentPage(), b.page.data());
    EXPECT_EQ(b.busyTextsUntil([&] { return b.currentPage() == b.below; }),
              std::vector<QString>{"Exiting Calibration"});
    MeterBench::flush();
    EXPECT_TRUE(b.page.isNull());
    EXPECT_EQ(b.firmware.registers(0x3D, 1), Bytes{0});

    // What was typed is kept for the next calibration.
    QSettings settings("drivana", "pelotune");
    EXPECT_EQ(settings.value("length").toFloat(), 172.5f);
    EXPECT_EQ(settings.value("weight").toFloat(), 44.0f);
    EXPECT_EQ(settings.value("weightUnits").toInt(), 1);
    auto* again = b.push(new Calibrate(b.device.get(), b.window.get(), 12.5f));
    EXPECT_EQ(again->findChild<QLineEdit*>("crankArmLengthValue")->text(), "172.5");
    EXPECT_EQ(again->findChild<QLineEdit*>("weightUsedValue")->text(), "44");
    EXPECT_TRUE(again->findChild<QRadioButton*>("weightUsedLbs")->isChecked());
    settings.clear();
}

TEST(CalibrateTest, CancellingTheStartLeavesThroughTheMeter)
{
    CalibrateBench b(3, false);
    // The meter does not answer until the user has given up.
    b.meter.setSilent(true);
    ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Warning").empty(); }));
    QMessageBox* warning = nullptr;
    for (QMessageBox* box : b.page->findChildren<QMessageBox*>()) {
        warning = box->windowTitle() == "Warning" && box->isVisible() ? box : warning;
    }
    ASSERT_NE(warning, nullptr);
    ASSERT_TRUE(support::clickButton(warning, "OK"));
    MeterBench::flush();
    ASSERT_EQ(MeterBench::busyTexts(), QStringList{"Starting Calibration"});
    ASSERT_TRUE(support::clickButton(b.page->findChild<QProgressDialog*>(), "Cancel"));
    MeterBench::flush();
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Exiting Calibration"});
    EXPECT_EQ(b.page->getModeRequest(), 2);
    b.meter.setSilent(false);
    ASSERT_TRUE(b.runUntil([&] { return b.currentPage() == b.below; }));
    MeterBench::flush();
    EXPECT_TRUE(b.page.isNull());
    ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 1) == Bytes{0}; }));
    EXPECT_FALSE(MeterBench::busy());
}

TEST(CalibrateTest, AStickLostDuringTheWizardSaysTheCalibrationWasCancelledAndToOpenTheMeterAgain)
{
    CalibrateBench b(3);
    b.start();
    b.type("172.5", "20");
    b.press();
    ASSERT_EQ(b.page->getStep(), 1);

    // The stick goes: the window hears it as from its own manager.
    b.radio->unplug();
    b.window->stateChanged(false);
    MeterBench::flush();
    EXPECT_TRUE(b.page.isNull());
    EXPECT_EQ(b.stack()->count(), 2);
    EXPECT_EQ(b.stack()->currentIndex(), 0);
    QMessageBox* told = nullptr;
    for (QMessageBox* box : b.window->findChildren<QMessageBox*>()) {
        told = box->isVisible() && box->windowTitle() == "Stick Lost" ? box : told;
    }
    ASSERT_NE(told, nullptr);
    apptest::Screenshot::screen(b.window.get(), "stick-lost-calibration");
    EXPECT_EQ(told->text(),
              "<p>The ANT USB stick was lost.</p><p>The calibration was cancelled and nothing was written to "
              "the power meter.</p><p>Once the stick is plugged in again, open the power meter again so that it "
              "goes back to normal operation.</p>");
}

TEST(CalibrateTest, APressTakesOnlyAReadingReceivedSinceItsPlacementWasAskedFor)
{
    CalibrateBench b(3);
    b.start();
    b.type("175", "20");
    // r1 taken: 28.5 N·m with the weight on the left arm.
    run(b, kSixPresses, 4);
    ASSERT_EQ(b.page->getStep(), 4);
    QPushButton* button = MeterBench::button(b.page, "continueButton");
    EXPECT_EQ(button->text(), "Waiting for a reading...");

    // A second click, and a press after a second in which the meter fell silent: no reading of the
    // new placement has come, so none is taken.
    b.press();
    b.meter.setSilent(true);
    b.run(1000);
    b.press();
    EXPECT_EQ(b.page->getStep(), 4);
    EXPECT_EQ(b.stored(), (std::vector<float>{28.5f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(button->text(), "Waiting for a reading...");

    b.meter.setSilent(false);
    b.meter.readings.torque = 28.25;
    ASSERT_TRUE(b.runUntil([&] { return button->text() == "Take reading (28.2500)"; }));
    b.press();
    EXPECT_EQ(b.page->getStep(), 5);
    EXPECT_EQ(b.page->getReading(1), 28.25f);
}

TEST(CalibrateTest, AReadingThatSwingsIsNotTakenAndTheUserIsAskedToLetTheWeightHangStill)
{
    CalibrateBench b(3);
    b.answerer.press("Unsteady reading", "OK");
    b.start();
    b.type("175", "20");
    run(b, kSixPresses, 3);
    ASSERT_EQ(b.page->getStep(), 3);
    // The weight sways: the meter reads 20 and 37 N·m by turns.
    for (int swing = 0; swing < 3; ++swing) {
        b.hang(20.0);
        b.hang(37.0);
    }
    b.press();
    EXPECT_EQ(b.page->getStep(), 3);
    EXPECT_EQ(b.page->getReading(0), 0.0f);
    ASSERT_EQ(b.answerer.boxes("Unsteady reading").size(), 1u);
    EXPECT_EQ(b.answerer.boxes("Unsteady reading")[0].text,
              "The reading swings between 20.00 and 37.00 Nm. Let the weight hang still, then press the button "
              "again.");

    // Hanging still for a few seconds: the swing is over.
    b.hang(28.5);
    b.run(3000);
    b.press();
    EXPECT_EQ(b.page->getStep(), 4);
    EXPECT_EQ(b.page->getReading(0), 28.5f);
    EXPECT_EQ(b.answerer.boxes("Unsteady reading").size(), 1u);
}

TEST(CalibrateTest, OnlyThePartsWhoseVisibilityChangesFadeAndTheOthersStayAsTheyAre)
{
    for (const Procedure& procedure : kProcedures) {
        SCOPED_TRACE(procedure.name);
        CalibrateBench b(procedure.model);
        b.start();
        b.type("175", "20");
        Pose before{false, false, false, false, 0.0f};
        for (const Press& p : *procedure.presses) {
            SCOPED_TRACE("press at " + std::to_string(p.at));
            pressWithReading(b, p);
            using rezezaz::scene::Node;
            const std::pair<Node*, std::pair<bool, bool>> parts[] = {
                {b.page->getBigChainNode(), {before.big, p.pose.big}},
                {b.page->getSmallChainNode(), {before.small, p.pose.small}},
                {b.page->getBackArrowNode(), {before.back, p.pose.back}},
                {b.page->getFrontArrowNode(), {before.front, p.pose.front}},
            };
            std::set<Node*> fading;
            for (PelotuneAnimation* animation : b.page->getAnimations()) {
                if (auto* fade = dynamic_cast<FadeAnimation*>(animation)) {
                    fading.insert(fade->getNode());
                }
            }
            std::set<Node*> changing;
            for (const auto& [node, shown] : parts) {
                if (shown.first != shown.second) {
                    changing.insert(node);
                }
            }
            EXPECT_EQ(fading, changing);
            // Frame by frame, a part shown before and after is drawn throughout, one hidden never.
            for (int frame = 0; frame < 1000 && !b.page->getAnimations().isEmpty(); ++frame) {
                b.page->update();
                for (const auto& [node, shown] : parts) {
                    if (shown.first == shown.second) {
                        ASSERT_EQ(node->getScope(), shown.first ? -1 : 0) << "frame " << frame;
                    }
                }
            }
            b.expectPose(p.pose);
            before = p.pose;
        }
    }
}

TEST(CalibrateTest, AConfirmationOfTheFinishThatComesAfterBackIsIgnoredAndTheMeterGoesBackIntoCalibration)
{
    CalibrateBench b(3);
    b.start();
    b.type("175", "20");
    run(b, kSixPresses, kSixPresses.size());
    ASSERT_EQ(b.page->getStep(), 7);
    b.hang(1.25);
    // The meter does not confirm before the user has given up waiting and gone back a placement.
    b.meter.setSilent(true);
    b.press();
    ASSERT_EQ(MeterBench::busyTexts(), QStringList{"Finishing Calibration"});
    ASSERT_TRUE(support::clickButton(b.page->findChild<QProgressDialog*>(), "Cancel"));
    MeterBench::flush();
    b.window->backClicked();
    MeterBench::flush();
    EXPECT_EQ(b.page->getStep(), 6);
    EXPECT_EQ(b.instructions(), kBigRight);

    b.meter.setSilent(false);
    EXPECT_EQ(b.busyTextsUntil([&] { return b.firmware.registers(0x3D, 1) == Bytes{60} && !MeterBench::busy(); }),
              std::vector<QString>{"Starting Calibration"});
    MeterBench::flush();
    EXPECT_EQ(b.currentPage(), b.page.data());
    EXPECT_EQ(b.page->getStep(), 6);
    EXPECT_EQ(b.instructions(), kBigRight);
    EXPECT_EQ(b.page->getModeRequest(), 0);
    // The crank keeps the pose of the placement: the meter's return to its setting turns nothing.
    EXPECT_TRUE(b.page->getAnimations().isEmpty());
    b.expectPose({true, false, false, true, 0.0f});

    // The calibration goes on from there to the results.
    b.hang(27.5);
    b.press();
    b.hang(1.0);
    b.press();
    ASSERT_TRUE(b.runUntil([&] { return qobject_cast<Results*>(b.currentPage()) != nullptr; }));
    EXPECT_EQ(b.firmware.registers(0x3D, 1), Bytes{0});
}

TEST(CalibrateTest, TheViewsBoxComesOnceTheWizardStandsOnTheWindowAndAMeterLostUnderItTakesTheWizardAway)
{
    MeterBench b;
    b.meter.product.model = 3;
    b.openMeter();
    // The Slope page with both slopes read; the meter goes while the box about the view is up.
    auto* slope = b.push(new Slope(b.device.get(), b.window.get()));
    ASSERT_TRUE(b.runUntil([&] { return MeterBench::text(slope, "currentSlopeValue") != "--" && !MeterBench::busy(); }));
    QWidget* pageUnderBox = nullptr;
    b.answerer.press("Error", "OK");
    b.answerer.beforeAnswer = [&](QWidget* box) {
        if (box->windowTitle() == "Error" && pageUnderBox == nullptr) {
            pageUnderBox = b.currentPage();
            if (auto* page = qobject_cast<MeterPage*>(pageUnderBox)) {
                page->closed(b.device.get());
            }
        }
    };
    MeterBench::button(slope, "calibrateSlopeButton")->click();
    ASSERT_TRUE(b.runUntil([&] { return pageUnderBox != nullptr; }));
    EXPECT_NE(qobject_cast<Calibrate*>(pageUnderBox), nullptr);
    ASSERT_TRUE(b.runUntil([&] { return b.stack()->count() <= 2; }));
    MeterBench::flush();
    EXPECT_TRUE(b.window->findChildren<Calibrate*>().isEmpty());
    EXPECT_TRUE(b.answerer.boxes("Warning").empty());
    ASSERT_EQ(b.answerer.boxes("Error").size(), 1u);
}

} // namespace
