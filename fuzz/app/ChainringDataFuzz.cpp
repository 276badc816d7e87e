// Arbitrary bytes as the chainring data file: read as text, decoded, and loaded from a data folder
// as the Sensor page loads it. A file is either refused with an error text or decoded; loading it
// gives the same tables as decoding its text, or none when the text is refused.
#include "app/Parse.h"
#include "core/Log.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

QString folder;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Keep the log lines off the console.
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
    std::string name = "/tmp/chainringDataFuzz.XXXXXX";
    check(mkdtemp(name.data()) != nullptr);
    folder = QString::fromStdString(name);
    std::atexit([] {
        QFile::remove(folder + "/chainringData.json");
        rmdir(folder.toLocal8Bit().constData());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    QJsonArray tables;
    QString error;
    const bool read = Parse::readChainringText(bytes, tables, error);
    check(read == error.isEmpty());
    const QList<QVariant> decoded = read ? Parse::decodeInnerToList(tables) : QList<QVariant>();
    check(decoded.size() <= tables.size());

    QFile file(folder + "/chainringData.json");
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(bytes) == bytes.size());
    file.close();
    check(Parse::loadChainringData(folder) == decoded);
    return 0;
}
