#include "firmware/FirmwareImageFile.h"

#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <zlib.h>

#include <algorithm>

using rezezaz::core::Log;

namespace {

const QByteArray MASK_KEY = "Hardware Revision Mask";
const QByteArray REVISION_KEY = "Hardware Revision";
const QByteArray VERSION_KEY = "Firmware Version";
const QByteArray TYPE_KEY = "Firmware Type";

// zlib's window of 32 KiB, with a zlib or a gzip header told apart by the stream itself.
constexpr int WINDOW_BITS_ANY_HEADER = 47;
constexpr int INFLATE_CHUNK = 1024;

// The six bits a uuencoded character stands for.
inline int sixBits(char c)
{
    return (static_cast<unsigned char>(c) - 32) & 63;
}

} // namespace

int FirmwareImageFile::number(const QByteArray& value)
{
    bool ok = false;
    const int result = value.trimmed().toInt(&ok, 10);
    return ok ? result : 0;
}

bool FirmwareImageFile::isBeta(const QByteArray& value)
{
    return QString::fromLatin1(value).simplified().endsWith("beta", Qt::CaseInsensitive);
}

bool FirmwareImageFile::readHeader(QIODevice& file, Header& header)
{
    QMap<QByteArray, QByteArray> keys;
    bool last = false;
    while (!last) {
        const QByteArray line = file.readLine();
        if (file.atEnd()) {
            Log::alert("FirmwareChecker::findLatestFirmwareFiles no match found");
            last = true;
        }
        // A header line holds a colon after its first character; the value keeps its blanks and end.
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            keys.insert(line.left(colon), line.mid(colon + 1));
        }
        if (keys.contains(MASK_KEY) && keys.contains(REVISION_KEY) && keys.contains(VERSION_KEY) &&
            keys.contains(TYPE_KEY)) {
            header.mask = number(keys.value(MASK_KEY));
            header.revision = number(keys.value(REVISION_KEY));
            header.version = number(keys.value(VERSION_KEY));
            header.beta = isBeta(keys.value(TYPE_KEY));
            return true;
        }
    }
    return false;
}

bool FirmwareImageFile::fits(const Header& header, int hardwareRevision)
{
    return (hardwareRevision & header.mask) == header.revision;
}

FirmwareImageFile::Selection FirmwareImageFile::select(const QString& folder, int hardwareRevision)
{
    Log::alert("FirmwareChecker::findLatestFirmwareFiles");
    Selection selection;

    QDir directory(folder);
    directory.setNameFilters({"*.pmimg"});
    directory.setFilter(QDir::Files);
    directory.setSorting(QDir::Name);
    QStringList names = directory.entryList();
    // By character code, upper case before lower case, whatever the locale says.
    std::sort(names.begin(), names.end());

    for (const QString& name : names) {
        Log::alert("FirmwareChecker::findLatestFirmwareFiles checking compatibility of file:" + name);
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            Log::alert("FirmwareChecker::findLatestFirmwareFiles unable to open file:" + name);
            continue;
        }
        Header header;
        if (!readHeader(file, header)) {
            continue;
        }
        Log::alert(QString("FirmwareChecker::findLatestFirmwareFiles found HardwareRev:%1 fwVersion:%2 "
                           "mfgVersion%3 and beta:%4")
                       .arg(header.revision)
                       .arg(header.version)
                       .arg(hardwareRevision)
                       .arg(header.beta ? 1 : 0));
        if (!fits(header, hardwareRevision)) {
            continue;
        }
        Choice& choice = header.beta ? selection.beta : selection.release;
        if (header.version > choice.version) {
            choice.version = header.version;
            choice.fileName = name;
        }
    }
    return selection;
}

void FirmwareImageFile::outdec(const char* group, unsigned char* out, int n)
{
    const int c0 = sixBits(group[0]);
    const int c1 = sixBits(group[1]);
    const int c2 = sixBits(group[2]);
    const int c3 = sixBits(group[3]);
    if (n >= 1) {
        out[0] = static_cast<unsigned char>(c0 << 2 | c1 >> 4);
    }
    if (n >= 2) {
        out[1] = static_cast<unsigned char>(c1 << 4 | c2 >> 2);
    }
    if (n >= 3) {
        out[2] = static_cast<unsigned char>(c2 << 6 | c3);
    }
}

const char* FirmwareImageFile::index(const char* text, char c)
{
    for (;; ++text) {
        if (*text == c) {
            return text;
        }
        if (*text == '\0') {
            return nullptr;
        }
    }
}

bool FirmwareImageFile::decode(QIODevice& file, QByteArray& image)
{
    QByteArray decoded;
    bool inBody = false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (!inBody) {
            inBody = line.startsWith("begin");
            continue;
        }
        if (line.startsWith("end")) {
            inBody = false;
            continue;
        }
        const int length = line.isEmpty() ? 0 : sixBits(line[0]);
        if (length == 0 || line[0] == '\n') {
            break;
        }
        // Exactly the characters the length asks for: blanks (zero bits) in place of missing ones,
        // those beyond them (the line end among them) dropped.
        const int expected = (length + 2) / 3 * 4;
        if (line.endsWith('\n')) {
            line.chop(1);
        }
        line = line.leftJustified(expected + 1, ' ', true);
        unsigned char bytes[3];
        for (int done = 0, at = 1; done < length; done += 3, at += 4) {
            const int n = std::min(3, length - done);
            outdec(line.constData() + at, bytes, n);
            decoded.append(reinterpret_cast<const char*>(bytes), n);
        }
    }

    if (decoded.size() <= 4) {
        Log::alert("Firmware::extractFirmwareImage firmware failed to uudecode");
        return false;
    }

    image.clear();
    z_stream stream = {};
    stream.next_in = reinterpret_cast<Bytef*>(decoded.data());
    stream.avail_in = static_cast<uInt>(decoded.size());
    if (inflateInit2(&stream, WINDOW_BITS_ANY_HEADER) != Z_OK) {
        Log::alert("Firmware::extractFirmwareImage zlib failed to initialize");
        return false;
    }
    unsigned char chunk[INFLATE_CHUNK];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = INFLATE_CHUNK;
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_MEM_ERROR || result == Z_DATA_ERROR || result == Z_NEED_DICT ||
            result == Z_STREAM_ERROR) {
            inflateEnd(&stream);
            Log::alert("Firmware::extractFirmwareImage zlib hit error");
            return false;
        }
        const int produced = INFLATE_CHUNK - static_cast<int>(stream.avail_out);
        image.append(reinterpret_cast<const char*>(chunk), produced);
        // No image is larger than the program space: a payload that inflates beyond it is not one,
        // and is not inflated further.
        if (image.size() > IMAGE_SIZE) {
            inflateEnd(&stream);
            Log::alert(
                QString("Firmware::extractFirmwareImage firmware larger than %1 bytes").arg(IMAGE_SIZE));
            return false;
        }
        if (produced < INFLATE_CHUNK) {
            inflateEnd(&stream);
            return true;
        }
    }
}
