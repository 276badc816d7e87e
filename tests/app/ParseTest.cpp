#include "app/Parse.h"

#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cmath>
#include <string>
#include <vector>

using support::LogCapture;
using support::TemporaryFolder;

namespace {

class ParseTest : public ::testing::Test
{
protected:
    // Puts `content` into the data folder as the chainring data file and reads it.
    QList<QVariant> load(const std::string& content)
    {
        EXPECT_TRUE(support::writeFile(folder.file("chainringData.json"), content));
        return Parse::loadChainringData(dataFolder());
    }

    QString dataFolder() const { return QString::fromStdString(folder.path()); }
    std::vector<std::string> logs() const { return log.listener.texts(); }

    TemporaryFolder folder;
    LogCapture log;
};

// The triples of every "calibrations" entry of `data`, by model.
QMap<QString, QList<QVariant>> tablesByModel(const QList<QVariant>& data)
{
    QMap<QString, QList<QVariant>> tables;
    for (const QVariant& element : data) {
        const QMap<QString, QVariant> members = element.toMap();
        if (members.value("data").toString() != "calibrations")
            continue;
        for (const QVariant& entry : members.value("values").toList())
            tables.insert(entry.toMap().value("marlet").toString(),
                          entry.toMap().value("calibrations").toList());
    }
    return tables;
}

QMap<QString, QVariant> codeNames(const QList<QVariant>& data)
{
    for (const QVariant& element : data) {
        if (element.toMap().value("data").toString() == "chainrings")
            return element.toMap().value("values").toMap();
    }
    return {};
}

TEST_F(ParseTest, TheDataFolderCopyComesBeforeTheCompiledInOne)
{
    const QList<QVariant> data = load(
        R"([{"data":"calibrations","values":[{"marlet":"KV7","calibrations":["Z-Mesh 40T","A3","1.1"]}]}])");

    const QMap<QString, QList<QVariant>> tables = tablesByModel(data);
    ASSERT_EQ(tables.keys(), QStringList{"KV7"});
    EXPECT_EQ(tables["KV7"], (QList<QVariant>{"Z-Mesh 40T", "A3", "1.1"}));
    EXPECT_EQ(logs(), std::vector<std::string>{"Parse::parseChainringData"});
}

// The program's own default tables: what the Sensor page's chainring selector and the slope tables
// rely on.
TEST_F(ParseTest, WithoutADataFolderCopyTheCompiledInTablesAreRead)
{
    const QList<QVariant> data = Parse::loadChainringData(dataFolder());

    EXPECT_EQ(logs(),
              (std::vector<std::string>{"Parse::parseChainringData",
                                        "Parse::parseChainringData unable to load cached calibration tables",
                                        "Parse::parseChainringData loading old calibration tables"}));

    const QMap<QString, QList<QVariant>> tables = tablesByModel(data);
    const QMap<QString, QVariant> names = codeNames(data);
    ASSERT_TRUE(tables.contains("KV7"));
    ASSERT_GT(tables.size(), 1);
    ASSERT_FALSE(names.isEmpty());

    const QRegularExpression code("^([A-Z][0-9]+|00)$");
    for (auto table = tables.begin(); table != tables.end(); ++table) {
        const QList<QVariant>& rows = table.value();
        SCOPED_TRACE(table.key().toStdString());
        ASSERT_EQ(rows.size() % 3, 0);
        ASSERT_GE(rows.size(), 6);
        EXPECT_EQ(rows.mid(rows.size() - 3), (QList<QVariant>{"Other", "00", "1.0"}));
        for (qsizetype i = 0; i < rows.size(); i += 3) {
            EXPECT_TRUE(code.match(rows[i + 1].toString()).hasMatch())
                << rows[i + 1].toString().toStdString();
            EXPECT_TRUE(names.contains(rows[i + 1].toString())) << rows[i + 1].toString().toStdString();
            bool isNumber = false;
            EXPECT_GT(rows[i + 2].toString().toFloat(&isNumber), 0.0f);
            EXPECT_TRUE(isNumber);
        }
    }

    // The selector rebuilds a KV7 ring's name from the teeth count and reads the teeth back from
    // characters 7 and 8.
    const QList<QVariant>& kv7 = tables["KV7"];
    for (qsizetype i = 0; i + 3 < kv7.size(); i += 3) {
        const QString name = kv7[i].toString();
        EXPECT_EQ(QString::asprintf("Z-Mesh %dT", name.mid(7, 2).toInt()), name);
    }
}

TEST_F(ParseTest, DecodesValuesByTheirJsonKind)
{
    struct Case
    {
        const char* name;
        std::string text;
        QList<QVariant> expected;
    };
    const QVariantMap ring{{"marlet", "KV7"}, {"calibrations", QVariantList{"Other", "00", "1.0"}}};
    const std::vector<Case> cases = {
        {"strings and numbers", R"(["0.95", 0.95, -2, 1e3])", {"0.95", 0.95, -2.0, 1000.0}},
        {"a boolean is dropped and the next item moves up",
         R"(["Z-Mesh 34T", true, "A3", false, "0.9"])",
         {"Z-Mesh 34T", "A3", "0.9"}},
        {"null is an invalid value", R"(["Other", null, "1.0"])", {"Other", QVariant(), "1.0"}},
        {"objects are maps by name, whatever their order in the file",
         R"([{"calibrations":["Other","00","1.0"],"marlet":"KV7"}, {"marlet":"KV7","calibrations":["Other","00","1.0"]}])",
         {ring, ring}},
        {"a boolean member is dropped", R"([{"marlet":"KV7","ble":true}])", {QVariantMap{{"marlet", "KV7"}}}},
        {"nested lists", R"([[1, ["a"]], []])", {QVariantList{1.0, QVariantList{"a"}}, QVariantList{}}},
        {"the text ends at the first zero byte", std::string("[\"A3\"]\0garbage", 14), {"A3"}},
        {"each byte is one character", "[\"Z\xE9ro\"]", {QString::fromLatin1("Z\xE9ro")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<QVariant> decoded = load(c.text);
        ASSERT_EQ(decoded.size(), c.expected.size());
        for (qsizetype i = 0; i < decoded.size(); ++i) {
            EXPECT_EQ(decoded[i].isValid(), c.expected[i].isValid());
            EXPECT_EQ(decoded[i].typeId(), c.expected[i].typeId());
            EXPECT_EQ(decoded[i], c.expected[i]);
        }
    }
}

TEST_F(ParseTest, AFactorReadsTheSameAsANumberOrAsAString)
{
    const QList<QVariant> decoded = load(R"([0.95, "0.95", null])");
    ASSERT_EQ(decoded.size(), 3);
    EXPECT_EQ(decoded[0].toFloat(), decoded[1].toFloat());
    EXPECT_FLOAT_EQ(decoded[0].toFloat(), 0.95f);
    // A missing factor reads as 0 and a missing name as empty, never as garbage.
    EXPECT_EQ(decoded[2].toFloat(), 0.0f);
    EXPECT_EQ(decoded[2].toString(), QString());
}

// The data-folder copy may come from a download: it is data, never code. Anything that is not a JSON
// list of tables gives no tables (and a log line), and the compiled-in copy does not step in for a
// data-folder file that opened.
TEST_F(ParseTest, AnInvalidOrScriptLikeFileGivesNoTables)
{
    const std::vector<std::string> texts = {
        "",
        "[1, 2,]",
        "// tables\n[]",
        "['KV7']",
        "[(function () { return 1; })()]",
        "[1].concat([2])",
        R"({"data":"calibrations","values":[]})",
        "\"calibrations\"",
        std::string("\0[1]", 4),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        log.listener.entries.clear();
        EXPECT_TRUE(load(text).isEmpty());
        const std::vector<std::string> lines = logs();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Parse::parseChainringData");
        EXPECT_EQ(lines[1].rfind("Parse::parseChainringData invalid chainring data: ", 0), 0u) << lines[1];
    }
}

// A real file is some kilobytes: one larger than a megabyte is refused unread, as an invalid one is.
TEST_F(ParseTest, AFileLargerThanAMegabyteIsRefused)
{
    const std::string tables = R"([{"data":"chainrings","values":{"A3":"VelonixZ-Mesh"}}])";
    struct Case
    {
        const char* name;
        qint64 size;
        bool read;
    };
    const Case cases[] = {
        {"a megabyte", Parse::MAX_FILE_SIZE, true},
        {"one byte more", Parse::MAX_FILE_SIZE + 1, false},
        {"many megabytes", 16 * Parse::MAX_FILE_SIZE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.listener.entries.clear();
        // Valid tables, padded with blanks to the size.
        const QList<QVariant> data = load(tables + std::string(std::size_t(c.size) - tables.size(), ' '));
        EXPECT_EQ(codeNames(data).value("A3").toString(), c.read ? "VelonixZ-Mesh" : "");
        const std::vector<std::string> lines = logs();
        ASSERT_EQ(lines.size(), c.read ? 1u : 2u);
        if (!c.read) {
            EXPECT_EQ(lines[1],
                      "Parse::parseChainringData invalid chainring data: larger than 1048576 bytes");
        }
    }
}

// The register bytes of a ring: a code the reader can't parse, or a name without its two digits of
// teeth, gives no bytes, and the field that does not fit is told.
TEST(ParseRingRegisterTest, ParsesTheCodeAndTheTeethOrTellsWhichDoesNotFit)
{
    struct Case
    {
        const char* code;
        const char* ring;
        int make, model, teeth;
        bool codeFits, teethFit;
    };
    const Case cases[] = {
        {"A3", "Z-Mesh 34T", 'A', 3, 34, true, true},   {"Z255", "Z-Mesh 53T", 'Z', 255, 53, true, true},
        {"00", "Other", 0, 0, 0, true, true},           {"A256", "Z-Mesh 34T", 'A', 256, 34, true, true},
        {"A3x", "Z-Mesh 34T", -1, -1, 34, false, true}, {"a3", "Z-Mesh 34T", -1, -1, 34, false, true},
        {"3", "Z-Mesh 34T", -1, -1, 34, false, true},   {"", "Z-Mesh 34T", -1, -1, 34, false, true},
        {"A", "Z-Mesh 34T", -1, -1, 34, false, true},   {"A-3", "Z-Mesh 34T", -1, -1, 34, false, true},
        {"A3", "Z-Mesh abT", 'A', 3, -1, true, false},  {"A3", "Z", 'A', 3, -1, true, false},
        {"A3", "Z-Mesh -5T", 'A', 3, -1, true, false},  {"A3", "Z-Mesh 3T", 'A', 3, -1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " " + c.ring);
        const Parse::RingRegister r = Parse::ringRegister(c.code, c.ring);
        EXPECT_EQ(r.codeFits, c.codeFits);
        EXPECT_EQ(r.teethFit, c.teethFit);
        EXPECT_EQ(r.make, c.make);
        EXPECT_EQ(r.model, c.model);
        EXPECT_EQ(r.teeth, c.teeth);
    }
}

TEST(ParseRingRegisterTest, AFactorIsAFiniteNumberAboveZeroOrNone)
{
    struct Case
    {
        QVariant item;
        float factor; // 0: none (NaN)
    };
    const Case cases[] = {
        {QVariant(QString("0.95")), 0.95f},
        {QVariant(0.95), 0.95f},
        {QVariant(QString("1e-30")), 1e-30f},
        {QVariant(QString("0")), 0},
        {QVariant(0.0), 0},
        {QVariant(QString("-0.95")), 0},
        {QVariant(QString("abc")), 0},
        {QVariant(QString("")), 0},
        {QVariant(), 0},
        {QVariant(QString("0x1")), 0},
        {QVariant(QString("0,95")), 0},
        {QVariant(QString("inf")), 0},
        {QVariant(QString("nan")), 0},
        {QVariant(QString("1e39")), 0},
        {QVariant(QList<QVariant>{QVariant(0.95)}), 0},
        {QVariant(QMap<QString, QVariant>{}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.toString().toStdString());
        const float factor = Parse::ringFactor(c.item);
        if (c.factor == 0) {
            EXPECT_TRUE(std::isnan(factor)) << factor;
        } else {
            EXPECT_FLOAT_EQ(factor, c.factor);
        }
    }
}

} // namespace
