#include "app/Tables.h"
#include "app/Slope.h"
#include "app/UnfinishedRingChange.h"

#include "MeterBench.h"
#include "Screenshot.h"

#include "support/TemporaryFolder.h"

#include <QComboBox>
#include <QDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using apptest::MeterBench;
using apptest::slopeBytes;
using apptest::slopeOf;
using support::Bytes;

// A table for another model with a ring whose factor is 0, and the KV7 table with a ring whose code
// no register byte can hold.
const char* const kChainrings = R"([
  {"data": "calibrations", "values": [
    {"marlet": "KV5", "calibrations": ["Ring 8.0", "B1", "8.0", "Ring 8.4", "B1", "8.4", "Ring Zero", "B2", 0,
                                       "Other", "00", "1.0"]},
    {"marlet": "KV7", "calibrations": ["Z-Mesh 32T", "A3", "1.02", "Z-Mesh 34T", "A3", "1.0", "Z-Mesh 36T", "A3",
                                       "0.95", "Z-Mesh 40T", "A300", "0.9", "Other", "00", "1.0"]}]},
  {"data": "chainrings", "values": {"A3": "VelonixZ-Mesh", "00": "Unknown"}},
  {"data": "bikes", "values": []}
])";

// The notices of a change to (or, on another model than the KV7, from) a ring the table does not know.
const char* const kUnknownRingNotice =
    "<p>You are switching to or from an unknown chainring.</p> <p>Your slope will not be changed.</p> <p>You "
    "will need to use the \"Calibrate Slope\" option to perform a manual calibration of your power meter "
    "with this new ring.</p>";
const char* const kUnknownRingNoticeKv7 =
    "<p>You are switching to an unknown chainring.</p> <p>Your slope will not be changed.</p> <p>You will "
    "need to use the \"Calibrate Slope\" option to perform a manual calibration of your power meter with "
    "this new ring.</p>";

// The ring register replies the page logged, in order.
std::vector<std::string> ringReplies(const MeterBench& b)
{
    std::vector<std::string> found;
    for (const std::string& line : b.log.listener.texts()) {
        if (line.rfind("Tables::registerReceived location:", 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

// A meter of `model` with these slopes and ring registers, its Slope page shown with both slopes
// read, then its Tables page opened from there with the registers read.
struct TablesBench : MeterBench
{
    TablesBench(int model, float user, float factory, const Bytes& userRings, const Bytes& factoryRings,
                const std::string& chainrings = kChainrings)
    {
        EXPECT_TRUE(support::writeFile(dataFolder.file("chainringData.json"), chainrings));
        meter.product.model = model;
        firmware.setRegisters(0x09, slopeBytes(user));
        firmware.setRegisters(0x21, slopeBytes(factory));
        firmware.setRegisters(0x60, userRings);
        firmware.setRegisters(0x42, factoryRings);
        openMeter();
        slope = push(new Slope(device.get(), window.get()));
        EXPECT_TRUE(runUntil([&] { return logged("Slope::querySlope factory:0") == 1 && !busy(); }));
        button(slope, "calibrationTablesButton")->click();
        flush();
        tables = qobject_cast<Tables*>(currentPage());
        EXPECT_NE(tables, nullptr);
        EXPECT_EQ(busyTexts(), QStringList{"Querying powermeter..."});
        EXPECT_TRUE(runUntil([&] { return !busy(); }));
    }

    ~TablesBench() { Slope::startSetSlope = 0.0f; }

    QComboBox* combo(const char* name) const { return tables->findChild<QComboBox*>(name); }
    QStringList entries(const char* name) const
    {
        QStringList texts;
        for (int i = 0; i < combo(name)->count(); ++i) {
            texts << combo(name)->itemText(i);
        }
        return texts;
    }
    void choose(const char* name, const QString& entry)
    {
        QComboBox* box = combo(name);
        const int index = box->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        box->setCurrentIndex(index);
    }
    QString newSlope() const { return text(tables, "newSlopeValue"); }
    QPushButton* accept() const { return button(tables, "acceptButton"); }
    // Accepts and waits until the Slope page has written and read back the user slope.
    void acceptAndWrite()
    {
        accept()->click();
        ASSERT_TRUE(runUntil([&] {
            return currentPage() == slope && logged("Slope::slopeChanged factory:0") == 1 && !busy();
        }));
    }

    Slope* slope = nullptr;
    Tables* tables = nullptr;
};

TEST(TablesTest, AnotherModelScalesTheUserSlopeByTheRingsFactors)
{
    struct Case
    {
        const char* what;
        const char* current;
        const char* next;
        const char* thenCurrent; // a second choice of the current ring, or null
        const char* shown;
        bool notice;
        float userAfter;
    };
    const Case cases[] = {
        {"a larger ring", "Ring 8.0", "Ring 8.4", nullptr, "10.50 (5.0%)", false, 10.5f},
        {"a smaller ring", "Ring 8.4", "Ring 8.0", nullptr, "9.52 (-4.8%)", false, 9.5238f},
        {"to an unknown ring", "Ring 8.0", "Other", nullptr, "10.00 (0.0%)", true, 10.0f},
        {"from an unknown ring", "Other", "Ring 8.4", nullptr, "10.00 (0.0%)", true, 10.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TablesBench b(2, 10.0f, 12.0f, {'S', 1, 53, 'S', 1, 39}, {'C', 2, 50, 'C', 2, 34});
        b.answerer.press("Notice", "OK");
        EXPECT_EQ(b.entries("powerMeterCombo"), (QStringList{"Choose Your Power Meter", "KV5"}));
        EXPECT_EQ(MeterBench::text(b.tables, "currentSlopeValue"), "10.00");

        b.choose("powerMeterCombo", "KV5");
        EXPECT_EQ(b.entries("currentChainringsCombo"),
                  (QStringList{"Select Current Chainrings", "Ring 8.0", "Ring 8.4", "Ring Zero", "Other"}));
        b.choose("currentChainringsCombo", c.current);
        EXPECT_FALSE(b.accept()->isEnabled());
        b.choose("newChainringsCombo", c.next);
        if (c.thenCurrent != nullptr) {
            b.choose("currentChainringsCombo", c.thenCurrent);
        }
        EXPECT_EQ(b.newSlope(), c.shown);
        EXPECT_TRUE(b.accept()->isEnabled());
        MeterBench::flush();
        b.answerer.poll();
        EXPECT_EQ(b.answerer.boxes("Notice").size(), c.notice ? 1u : 0u);
        if (c.notice) {
            EXPECT_EQ(b.answerer.boxes("Notice")[0].text, kUnknownRingNotice);
        }

        // A prompt takes Accept away again; choosing the ring again brings it back.
        b.choose("newChainringsCombo", "Select New Chainrings");
        EXPECT_FALSE(b.accept()->isEnabled());
        b.choose("newChainringsCombo", c.next);
        EXPECT_EQ(b.newSlope(), c.shown);
        b.acceptAndWrite();
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.userAfter, 1e-3f);
        EXPECT_EQ(b.firmware.registers(0x60, 6), (Bytes{'S', 1, 53, 'S', 1, 39}));
    }
}

TEST(TablesTest, Kv7ScalesTheFactorySlopeFromTheFactoryRingAndWritesTheNewRing)
{
    struct Case
    {
        const char* what;
        Bytes factoryRings;
        const char* next;
        const char* shown;
        bool notice;
        Bytes ringAfter;
        float userAfter;
    };
    const Case cases[] = {
        {"a known ring",
         {'A', 3, 34, 'A', 3, 34},
         "Z-Mesh 36T",
         "19.00 (-6.9%)",
         false,
         {0x41, 3, 36},
         19.0f},
        // Nothing to scale the factory slope from: the ring changes, the slope does not.
        {"a factory ring the table lacks",
         {'A', 3, 50, 'A', 3, 50},
         "Z-Mesh 36T",
         "20.40 (0.0%)",
         true,
         {0x41, 3, 36},
         20.4f},
        {"an unknown ring", {'A', 3, 34, 'A', 3, 34}, "Other", "20.40 (0.0%)", true, {0, 0, 0}, 20.4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TablesBench b(5, 20.4f, 20.0f, {'A', 3, 32, 'A', 3, 32}, c.factoryRings);
        b.answerer.press("Notice", "OK");
        // The meter's own table is chosen, with its current ring from the user register.
        EXPECT_EQ(b.combo("powerMeterCombo")->currentText(), "KV7");
        EXPECT_FALSE(b.combo("powerMeterCombo")->isEnabled());
        EXPECT_FALSE(b.combo("currentChainringsCombo")->isEnabled());
        EXPECT_EQ(b.combo("currentChainringsCombo")->currentText(), "Z-Mesh 32T");
        EXPECT_EQ(
            b.logged("Tables::registerReceived user outer chainring code=A3 translates to=VelonixZ-Mesh"), 1);

        b.choose("newChainringsCombo", c.next);
        EXPECT_EQ(b.newSlope(), c.shown);
        MeterBench::flush();
        b.answerer.poll();
        EXPECT_EQ(b.answerer.boxes("Notice").size(), c.notice ? 1u : 0u);
        if (c.notice) {
            EXPECT_EQ(b.answerer.boxes("Notice")[0].text, kUnknownRingNoticeKv7);
        }
        // The page stays until the meter confirms the new ring.
        b.accept()->click();
        EXPECT_EQ(b.currentPage(), b.tables);
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{QString("Setting chainring:") + c.next});
        ASSERT_TRUE(b.runUntil([&] { return b.currentPage() == b.slope; }));
        EXPECT_EQ(b.logged("Tables::registerChanged location:96 length:3"), 1);
        ASSERT_TRUE(b.runUntil(
            [&] { return b.logged("Slope::slopeChanged factory:0") == 1 && !MeterBench::busy(); }));
        EXPECT_EQ(b.firmware.registers(0x60, 3), c.ringAfter);
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.userAfter, 1e-3f);
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

TEST(TablesTest, Kv7RingWhoseCodeNoByteHoldsIsNotWritten)
{
    TablesBench b(5, 20.4f, 20.0f, {'A', 3, 32, 'A', 3, 32}, {'A', 3, 34, 'A', 3, 34});
    b.answerer.press("Failed", "OK");
    b.choose("newChainringsCombo", "Z-Mesh 40T");
    b.accept()->click();
    b.run(10000);
    ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
    EXPECT_EQ(b.currentPage(), b.tables);
    EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 32}));
    EXPECT_EQ(Slope::startSetSlope, 0.0f);
}

// The new slope goes to the Slope page only once the meter has confirmed the ring: a user who goes
// back before that leaves the slope as it was.
TEST(TablesTest, Kv7SlopeIsHandedOverOnlyOnceTheRingIsConfirmed)
{
    TablesBench b(5, 20.4f, 20.0f, {'A', 3, 32, 'A', 3, 32}, {'A', 3, 34, 'A', 3, 34});
    b.choose("newChainringsCombo", "Z-Mesh 36T");
    ASSERT_EQ(b.newSlope(), "19.00 (-6.9%)");
    b.accept()->click();
    EXPECT_EQ(Slope::startSetSlope, 0.0f);
    b.window->backClicked();
    MeterBench::flush();
    ASSERT_EQ(b.currentPage(), b.slope);
    b.run(5000);
    EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), 0);
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 20.4f, 1e-3f);
}

TEST(TablesTest, EveryShowReadsTheUserThenTheFactoryRingsAndListsTheModelsAgain)
{
    TablesBench b(2, 10.0f, 12.0f, {'S', 1, 53, 'S', 1, 39}, {'C', 2, 50, 'C', 2, 34});
    const std::vector<std::string> once = {"Tables::registerReceived location:96 length:6",
                                           "Tables::registerReceived location:66 length:6"};
    EXPECT_EQ(ringReplies(b), once);
    EXPECT_EQ(b.logged("Sensor::parseChainringData unknown data type found"), 1);
    b.choose("powerMeterCombo", "KV5");
    b.choose("currentChainringsCombo", "Ring 8.0");
    // The model's prompt leaves the rings as they are.
    b.choose("powerMeterCombo", "Choose Your Power Meter");
    EXPECT_EQ(b.combo("currentChainringsCombo")->currentText(), "Ring 8.0");
    EXPECT_EQ(b.combo("currentChainringsCombo")->count(), 5);

    // Covered by another page and shown again: the file and both registers are read again, the
    // models appended after those already listed.
    b.push(new QWidget);
    b.window->backClicked();
    MeterBench::flush();
    ASSERT_EQ(b.currentPage(), b.tables);
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Querying powermeter..."});
    ASSERT_TRUE(b.runUntil([&] { return !MeterBench::busy(); }));
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(ringReplies(b), twice);
    EXPECT_EQ(b.entries("powerMeterCombo"), (QStringList{"Choose Your Power Meter", "KV5", "KV5"}));
    b.choose("powerMeterCombo", "KV5");
    b.choose("currentChainringsCombo", "Ring 8.0");
    b.choose("newChainringsCombo", "Ring 8.4");
    EXPECT_EQ(b.newSlope(), "10.50 (5.0%)");
}

TEST(TablesTest, RingRepliesOfAnotherLengthAreOnlyLogged)
{
    TablesBench b(5, 20.4f, 20.0f, {'A', 3, 32, 'A', 3, 32}, {'A', 3, 34, 'A', 3, 34});
    unsigned char other[6] = {'A', 3, 36, 'A', 3, 36};
    b.tables->registerReceived(b.device.get(), 0x60, 3, other);
    b.tables->registerReceived(b.device.get(), 0x42, 3, other);
    b.run(5000);
    EXPECT_EQ(b.logged("Tables::registerReceived location:96 length:3"), 1);
    EXPECT_EQ(b.logged("Tables::registerReceived location:66 length:3"), 1);
    EXPECT_EQ(b.logged("Tables::registerReceived user outer chainring make:65 model:3 teeth:36"), 0);
    EXPECT_EQ(ringReplies(b).size(), 4u);
    // The new slope is still scaled from the factory's 34T, the change shown from the user's 32T.
    EXPECT_EQ(b.combo("currentChainringsCombo")->currentText(), "Z-Mesh 32T");
    b.choose("newChainringsCombo", "Z-Mesh 36T");
    EXPECT_EQ(b.newSlope(), "19.00 (-6.9%)");
}

TEST(TablesTest, CancelGoesBackWithoutAChange)
{
    TablesBench b(2, 10.0f, 12.0f, {'S', 1, 53, 'S', 1, 39}, {'C', 2, 50, 'C', 2, 34});
    b.choose("powerMeterCombo", "KV5");
    b.choose("currentChainringsCombo", "Ring 8.0");
    b.choose("newChainringsCombo", "Ring 8.4");
    MeterBench::button(b.tables, "cancelButton")->click();
    MeterBench::flush();
    EXPECT_EQ(b.currentPage(), b.slope);
    b.run(10000);
    EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), 0);
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 10.0f, 1e-4f);
}

// Rings whose factors give no slope offer nothing to accept, on any model.
TEST(TablesTest, RingsWhoseFactorsGiveNoSlopeOfferNoAccept)
{
    struct Case
    {
        int model;
        const char* factor; // of the KV7's 32T (the factory ring 34T has 1.0); unused for the KV5
        const char* current;
        const char* next;
        const char* thenCurrent; // a second choice of the current ring, or null
        const char* told;        // in the box
    };
    const Case cases[] = {
        {2, nullptr, "Ring 8.0", "Ring Zero", nullptr, "no usable factor for the chainring Ring Zero"},
        {2, nullptr, "Ring Zero", "Ring 8.4", nullptr, "no usable factor for the chainring Ring Zero"},
        {2, nullptr, "Ring 8.0", "Ring 8.4", "Ring Zero", "no usable factor for the chainring Ring Zero"},
        {5, R"("0")", nullptr, "Z-Mesh 32T", nullptr, "no usable factor for the chainring Z-Mesh 32T"},
        {5, R"("-0.95")", nullptr, "Z-Mesh 32T", nullptr, "no usable factor for the chainring Z-Mesh 32T"},
        {5, R"("abc")", nullptr, "Z-Mesh 32T", nullptr, "no usable factor for the chainring Z-Mesh 32T"},
        {5, "null", nullptr, "Z-Mesh 32T", nullptr, "no usable factor for the chainring Z-Mesh 32T"},
        {5, R"("inf")", nullptr, "Z-Mesh 32T", nullptr, "no usable factor for the chainring Z-Mesh 32T"},
        {5, R"("1e30")", nullptr, "Z-Mesh 32T", nullptr, "a slope of "},
        {5, R"("0.1")", nullptr, "Z-Mesh 32T", nullptr, "a slope of 2.00, far outside"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.next) + " " + (c.factor != nullptr ? c.factor : ""));
        const std::string data =
            c.factor == nullptr
                ? std::string(kChainrings)
                : R"([{"data": "calibrations", "values": [{"marlet": "KV7", "calibrations": ["Z-Mesh 32T", "A3", )" +
                      std::string(c.factor) +
                      R"(, "Z-Mesh 34T", "A3", "1.0", "Other", "00", "1.0"]}]},
                       {"data": "chainrings", "values": {"A3": "VelonixZ-Mesh"}}])";
        TablesBench b(c.model, 10.0f, 20.0f, {'A', 3, 34, 'A', 3, 34}, {'A', 3, 34, 'A', 3, 34}, data);
        b.answerer.beforeAnswer = [&](QWidget* box) {
            if (box->windowTitle() == "Notice") {
                apptest::Screenshot::screen(b.window.get(), c.model == 5 ? "tables-kv7-factor-refused"
                                                                         : "tables-factor-refused");
            }
        };
        b.answerer.press("Notice", "OK");
        if (c.model != 5) {
            b.choose("powerMeterCombo", "KV5");
            b.choose("currentChainringsCombo", c.current);
        }
        b.choose("newChainringsCombo", c.next);
        if (c.thenCurrent != nullptr) {
            b.choose("currentChainringsCombo", c.thenCurrent);
        }
        EXPECT_EQ(b.newSlope(), "--");
        EXPECT_FALSE(b.accept()->isEnabled());
        MeterBench::flush();
        b.answerer.poll();
        ASSERT_FALSE(b.answerer.boxes("Notice").empty());
        const auto box = b.answerer.boxes("Notice").back();
        EXPECT_TRUE(box.text.contains(c.told)) << box.text.toStdString();
        EXPECT_TRUE(box.plain);

        b.accept()->click();
        b.run(3000);
        EXPECT_EQ(b.currentPage(), b.tables);
        EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 34}));
        EXPECT_EQ(Slope::startSetSlope, 0.0f);
        UnfinishedRingChange::Change change;
        EXPECT_FALSE(UnfinishedRingChange(QString::fromStdString(b.dataFolder.path()))
                         .find(b.meter.product.serialNumber, change));
    }
}

// A settings file that can't be written keeps no change cut short: the ring does not go out.
TEST(TablesTest, Kv7RingChangeThatCannotBeKeptIsNotMade)
{
    TablesBench b(5, 20.4f, 20.0f, {'A', 3, 32, 'A', 3, 32}, {'A', 3, 34, 'A', 3, 34});
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(b.dataFolder.file("settings.ini"))));
    b.answerer.press("Failed", "OK");
    b.answerer.beforeAnswer = [&](QWidget* box) {
        if (box->windowTitle() == "Failed") {
            apptest::Screenshot::screen(b.window.get(), "tables-settings-unwritable");
        }
    };
    b.choose("newChainringsCombo", "Z-Mesh 36T");
    b.accept()->click();
    b.run(10000);
    ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
    const auto box = b.answerer.boxes("Failed")[0];
    EXPECT_TRUE(box.text.startsWith("The chainring change cannot be made safely: the settings file " +
                                    QString::fromStdString(b.dataFolder.file("settings.ini")) +
                                    " cannot be written"))
        << box.text.toStdString();
    EXPECT_TRUE(box.plain);
    EXPECT_EQ(b.currentPage(), b.tables);
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 32}));
    EXPECT_EQ(Slope::startSetSlope, 0.0f);
}

} // namespace
