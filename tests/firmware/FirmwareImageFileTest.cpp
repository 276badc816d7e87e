// The firmware image file: which cached file the selection picks for a meter, and what the decoder
// makes of a body, good or damaged. Fixtures come from the image writer; a few hand-written edge
// files sit in firmware/ beside this test.
#include "firmware/FirmwareImageFile.h"

#include "support/FirmwareImageWriter.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using support::FirmwareImageWriter;
using Compression = support::FirmwareImageWriter::Compression;

namespace {

std::string fixture(const char* name)
{
    return support::readFile(std::string(PELOTUNE_TEST_DATA) + "/firmware/" + name);
}

bool logged(const support::LogCapture& log, const std::string& text)
{
    const auto texts = log.listener.texts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string headerFile(const FirmwareImageWriter::Header& header)
{
    return FirmwareImageWriter::headerLines(header) + "begin 644 firmware.bin\n`\nend\n";
}

// ---- The selection ----

struct File
{
    std::string name;
    std::string content;
};

struct SelectCase
{
    const char* name;
    std::vector<File> files;
    int hardwareRevision;
    std::string beta; // file name, empty for none
    int betaVersion;
    std::string release;
    int releaseVersion;
};

FirmwareImageWriter::Header header(const std::string& version, const std::string& type = "Release",
                                   const std::string& mask = "0", const std::string& revision = "0")
{
    FirmwareImageWriter::Header h;
    h.version = version;
    h.type = type;
    h.mask = mask;
    h.revision = revision;
    return h;
}

TEST(FirmwareImageFileTest, TheSelectionPicksTheNewestFittingReleaseAndBetaImage)
{
    const std::vector<SelectCase> cases = {
        {"newest of each kind, independently",
         {{"a.pmimg", headerFile(header("40", "beta"))},
          {"b.pmimg", headerFile(header("35", "Beta"))},
          {"c.pmimg", headerFile(header("30", "Release"))}},
         0,
         "a.pmimg",
         40,
         "c.pmimg",
         30},
        {"equal versions: the first by character code wins, upper case first",
         {{"b.pmimg", headerFile(header("31"))},
          {"a.pmimg", headerFile(header("31"))},
          {"B.pmimg", headerFile(header("31"))}},
         0,
         "",
         0,
         "B.pmimg",
         31},
        {"beta types",
         {{"1.pmimg", headerFile(header("11", "BETA"))},
          {"2.pmimg", headerFile(header("12", "public beta"))},
          {"3.pmimg", headerFile(header("13", "  beta  "))},
          {"4.pmimg", headerFile(header("21", "Beta 2"))},
          {"5.pmimg", headerFile(header("22", "betas"))},
          {"6.pmimg", headerFile(header("23", ""))}},
         0,
         "3.pmimg",
         13,
         "6.pmimg",
         23},
        {"mask 255, revision 7, meter 263",
         {{"r7.pmimg", headerFile(header("9", "Release", "255", "7"))}},
         263,
         "",
         0,
         "r7.pmimg",
         9},
        {"mask 255, revision 7, meter 6",
         {{"r7.pmimg", headerFile(header("9", "Release", "255", "7"))}},
         6,
         "",
         0,
         "",
         0},
        {"mask 0 fits every meter, an unfitting newer one is passed over",
         {{"any.pmimg", headerFile(header("9", "Release", "0", "0"))},
          {"other.pmimg", headerFile(header("99", "Release", "15", "3"))}},
         12345,
         "",
         0,
         "any.pmimg",
         9},
        {"versions that never win: zero, negative, fraction, hexadecimal",
         {{"a.pmimg", headerFile(header("0"))},
          {"b.pmimg", headerFile(header("-4"))},
          {"c.pmimg", headerFile(header("1.5"))},
          {"d.pmimg", headerFile(header("0x10"))}},
         0,
         "",
         0,
         "",
         0},
        {"only image files count, in any letter case",
         {{"new.PMIMG", headerFile(header("8"))},
          {"newer.txt", headerFile(header("9"))},
          {".hidden.pmimg", headerFile(header("10"))}},
         0,
         "",
         0,
         "new.PMIMG",
         8},
        {"a key repeated: the later value counts",
         {{"a.pmimg", "Firmware Version: 50\n" + headerFile(header("7"))}},
         0,
         "",
         0,
         "a.pmimg",
         7},
        {"hand-written: a blank before the colon hides the key",
         {{"a.pmimg", fixture("keyWithBlankBeforeColon.pmimg")}},
         0,
         "",
         0,
         "",
         0},
        {"hand-written: a carriage return after the version",
         {{"a.pmimg", fixture("versionWithCarriageReturn.pmimg")}},
         0,
         "",
         0,
         "a.pmimg",
         12},
        {"a key in other letter case is not the key",
         {{"a.pmimg", "hardware revision mask: 0\nHardware Revision: 0\nFirmware Version: 3\n"
                      "Firmware Type: Release\n"}},
         0,
         "",
         0,
         "",
         0},
    };
    for (const SelectCase& c : cases) {
        SCOPED_TRACE(c.name);
        support::TemporaryFolder folder;
        for (const File& file : c.files) {
            ASSERT_TRUE(support::writeFile(folder.file(file.name), file.content));
        }

        const FirmwareImageFile::Selection chosen =
            FirmwareImageFile::select(QString::fromStdString(folder.path()), c.hardwareRevision);

        EXPECT_EQ(chosen.beta.fileName.toStdString(), c.beta);
        EXPECT_EQ(chosen.beta.version, c.betaVersion);
        EXPECT_EQ(chosen.release.fileName.toStdString(), c.release);
        EXPECT_EQ(chosen.release.version, c.releaseVersion);
    }
}

TEST(FirmwareImageFileTest, TheSelectionReadsOnlyTheHeaderAndLogsWhatItSkips)
{
    support::TemporaryFolder folder;
    // The body of a complete file is never read: a colon line after "begin" changes nothing.
    ASSERT_TRUE(
        support::writeFile(folder.file("good.pmimg"),
                           headerFile(header("21", "Release", "255", "7")) + "Firmware Version: 99\n"));
    ASSERT_TRUE(support::writeFile(folder.file("missing.pmimg"), fixture("keyWithBlankBeforeColon.pmimg")));
    support::LogCapture log;

    const FirmwareImageFile::Selection chosen =
        FirmwareImageFile::select(QString::fromStdString(folder.path()), 7);

    EXPECT_EQ(chosen.release.version, 21);
    EXPECT_TRUE(logged(log, "FirmwareChecker::findLatestFirmwareFiles"));
    EXPECT_TRUE(
        logged(log, "FirmwareChecker::findLatestFirmwareFiles checking compatibility of file:good.pmimg"));
    EXPECT_TRUE(logged(log, "FirmwareChecker::findLatestFirmwareFiles found HardwareRev:7 fwVersion:21 "
                            "mfgVersion7 and beta:0"));
    EXPECT_TRUE(
        logged(log, "FirmwareChecker::findLatestFirmwareFiles checking compatibility of file:missing.pmimg"));
    EXPECT_TRUE(logged(log, "FirmwareChecker::findLatestFirmwareFiles no match found"));
}

// ---- The decoder ----

struct Decoded
{
    bool ok = false;
    QByteArray image;
};

Decoded decode(const std::string& file)
{
    QByteArray bytes = QByteArray::fromStdString(file);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Decoded result;
    result.ok = FirmwareImageFile::decode(buffer, result.image);
    return result;
}

QByteArray asBytes(const std::vector<unsigned char>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Every line of `text` with its trailing blanks taken off.
std::string stripTrailingBlanks(const std::string& text)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + (end < text.size() ? "\n" : "");
        start = end + 1;
    }
    return out;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(FirmwareImageFileTest, TheDecoderGivesTheImageWhicheverWayTheBodyIsWritten)
{
    const std::vector<unsigned char> image = FirmwareImageWriter::image(3);
    const FirmwareImageWriter::Header h;
    const std::string zlibBody =
        FirmwareImageWriter::uuencode(FirmwareImageWriter::compress(image, Compression::Zlib));
    const std::string gzipBody =
        FirmwareImageWriter::uuencode(FirmwareImageWriter::compress(image, Compression::Gzip));
    const std::string head = FirmwareImageWriter::headerLines(h) + "begin 644 firmware.bin\n";
    struct Case
    {
        const char* name;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"zlib", FirmwareImageWriter::file(h, image, Compression::Zlib)},
        {"gzip", FirmwareImageWriter::file(h, image, Compression::Gzip)},
        {"trailing blanks stripped", stripTrailingBlanks(head + zlibBody) + "`\nend\n"},
        {"\"end\" without the zero-length line", head + gzipBody + "end\n"},
        {"a blank line ends the body", head + zlibBody + "\ntrailing garbage\n"},
        {"carriage returns before the line ends", replaceAll(head + zlibBody + "`\nend\n", "\n", "\r\n")},
        {"no line end at the file's end", head + zlibBody + "end"},
        {"junk before \"begin\" and after \"end\"", "#!junk\nM" + head + zlibBody + "end\nMjunk\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.file);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.image, asBytes(image));
    }
}

TEST(FirmwareImageFileTest, ALineCarriesOnlyTheBytesItsLengthSays)
{
    // Four bytes in all are too few to be a stream; five go on to the inflater, which refuses them.
    struct Case
    {
        const char* name;
        std::string body;
        const char* logLine;
    };
    const std::vector<Case> cases = {
        {"4 bytes from two full groups", "$MMMMMMMM\n",
         "Firmware::extractFirmwareImage firmware failed to uudecode"},
        {"5 bytes from the same groups", "%MMMMMMMM\n", "Firmware::extractFirmwareImage zlib hit error"},
        {"4 bytes from one group and missing characters", "$MMMM\n",
         "Firmware::extractFirmwareImage firmware failed to uudecode"},
        {"5 bytes from one group and missing characters", "%MMMM\n",
         "Firmware::extractFirmwareImage zlib hit error"},
        {"2 + 2 bytes over two lines", "\"MMMM\n\"MMMM\n",
         "Firmware::extractFirmwareImage firmware failed to uudecode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::LogCapture log;
        EXPECT_FALSE(decode("begin 644 x\n" + c.body + "`\nend\n").ok);
        EXPECT_TRUE(logged(log, c.logLine));
    }

    unsigned char out[3] = {0xAA, 0xAA, 0xAA};
    FirmwareImageFile::outdec("!\"#$", out, 3);
    EXPECT_EQ(out[0], 0x04);
    EXPECT_EQ(out[1], 0x20);
    EXPECT_EQ(out[2], 0xC4);
    out[1] = out[2] = 0xAA;
    FirmwareImageFile::outdec("!\"#$", out, 1);
    EXPECT_EQ(out[1], 0xAA) << "only the bytes asked for are written";
    out[0] = 0xAA;
    FirmwareImageFile::outdec("!\"#$", out, 0);
    EXPECT_EQ(out[0], 0xAA);

    const char text[] = "ab:c";
    EXPECT_EQ(FirmwareImageFile::index(text, ':'), text + 2);
    EXPECT_EQ(FirmwareImageFile::index(text, 'x'), nullptr);
    EXPECT_EQ(FirmwareImageFile::index(text, '\0'), text + 4);
}

TEST(FirmwareImageFileTest, ADamagedBodyIsRefusedWithItsLogLine)
{
    const std::vector<unsigned char> image = FirmwareImageWriter::image(4);
    const std::string compressed = FirmwareImageWriter::compress(image, Compression::Zlib);
    std::string corrupt = compressed;
    for (size_t at = 20; at < 60; ++at) {
        corrupt[at] = static_cast<char>(corrupt[at] ^ 0x5A);
    }
    // Far larger than any program space, and small once compressed.
    const std::string bomb =
        FirmwareImageWriter::compress(std::vector<unsigned char>(4 * 0x10000, 0), Compression::Gzip);
    struct Case
    {
        const char* name;
        std::string file;
        bool ok;
        const char* logLine; // empty: none expected
        int size;            // of what was inflated; -1: untouched, -2: not a whole image, -3: not checked
    };
    const std::vector<Case> cases = {
        {"hand-written: \"begin\" and no data", fixture("beginWithoutData.pmimg"), false,
         "Firmware::extractFirmwareImage firmware failed to uudecode", -1},
        {"no \"begin\" at all",
         FirmwareImageWriter::headerLines({}) + FirmwareImageWriter::uuencode(compressed), false,
         "Firmware::extractFirmwareImage firmware failed to uudecode", -1},
        {"not a zlib or gzip stream",
         "begin\n" + FirmwareImageWriter::uuencode(std::string(90, 'x')) + "end\n", false,
         "Firmware::extractFirmwareImage zlib hit error", 0},
        {"corrupt deflate data", "begin\n" + FirmwareImageWriter::uuencode(corrupt) + "end\n", false,
         "Firmware::extractFirmwareImage zlib hit error", -3},
        {"a stream cut short inflates what it holds",
         "begin\n" + FirmwareImageWriter::uuencode(compressed.substr(0, compressed.size() / 2)) + "end\n",
         true, "", -2},
        {"a payload beyond the program space", "begin\n" + FirmwareImageWriter::uuencode(bomb) + "end\n",
         false, "Firmware::extractFirmwareImage firmware larger than 65536 bytes", -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::LogCapture log;
        QByteArray bytes = QByteArray::fromStdString(c.file);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QByteArray result("earlier");

        EXPECT_EQ(FirmwareImageFile::decode(buffer, result), c.ok);

        if (*c.logLine != '\0') {
            EXPECT_TRUE(logged(log, c.logLine));
        }
        if (c.size == -1) {
            EXPECT_EQ(result, "earlier") << "untouched when nothing was decoded";
        } else if (c.size >= 0) {
            EXPECT_EQ(result.size(), c.size);
        } else if (c.size == -2) {
            EXPECT_NE(result.size(), 0x10000) << "never a whole image";
            EXPECT_LE(result.size(), 0x10000 + 1024);
        }
    }
}

} // namespace
