// Reads the input as a firmware image file twice, as the selection reads its header and as the
// decoder reads its body. Whatever the bytes, both end, and the decoder never gives more than the
// program space.
#include "firmware/FirmwareImageFile.h"

#include "core/Log.h"
#include "core/Logger.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
        return true;
    }();
    (void)quiet;

    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    QBuffer headerFile(&bytes);
    headerFile.open(QIODevice::ReadOnly);
    FirmwareImageFile::Header header;
    FirmwareImageFile::readHeader(headerFile, header);
    (void)FirmwareImageFile::fits(header, 7);

    QBuffer bodyFile(&bytes);
    bodyFile.open(QIODevice::ReadOnly);
    QByteArray image;
    FirmwareImageFile::decode(bodyFile, image);
    if (image.size() > FirmwareImageFile::IMAGE_SIZE + 1024) {
        std::abort();
    }
    return 0;
}
