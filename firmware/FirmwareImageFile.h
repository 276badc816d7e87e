#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The firmware image file as the firmware server serves it and the firmware folder keeps it: text
// header lines "key: value" that say which meters the image fits, its version and whether it is a
// beta, then the image itself, compressed (zlib or gzip) and uuencoded between a "begin" and an "end"
// line. Two readers: the selection reads only the headers of every cached file and picks the newest
// fitting release and beta image; the decoder reads only the body of the file about to be uploaded.
// Both log what they skip or refuse; neither shows anything.
class FirmwareImageFile
{
public:
    // The meter's program space, which the bootloader upload takes whole.
    static constexpr int IMAGE_SIZE = 0x10000;

    // The four header keys a file needs to be considered.
    struct Header
    {
        int mask = 0;      // "Hardware Revision Mask"
        int revision = 0;  // "Hardware Revision"
        int version = 0;   // "Firmware Version"
        bool beta = false; // "Firmware Type" ends in "beta"
    };

    // The newest fitting image of one kind; version 0 and an empty name when there is none.
    struct Choice
    {
        QString fileName;
        int version = 0;
    };
    struct Selection
    {
        Choice beta;
        Choice release;
    };

    // Reads header lines from `file` until all four keys have been seen, or to its end (logging "no
    // match found" there). True when the four keys were found; `header` then holds them.
    static bool readHeader(QIODevice& file, Header& header);
    // True when the image fits a meter of this hardware revision.
    static bool fits(const Header& header, int hardwareRevision);
    // Every "*.pmimg" file of `folder` (letter case ignored) in name order: the newest fitting beta and
    // release image, the first in name order among equal versions; a version of 0 or below never wins.
    static Selection select(const QString& folder, int hardwareRevision);

    // Decodes the uuencoded body of `file` and inflates it into `image`. False (logged) when the body
    // holds 4 bytes or fewer, when the payload is not a good zlib or gzip stream, or when it inflates
    // to more than IMAGE_SIZE bytes; `image` then holds what was inflated before the error. A payload
    // that ends early is not an error here: the caller checks the size.
    static bool decode(QIODevice& file, QByteArray& image);

    // Decodes one uuencoded group of four characters into the first min(n, 3) bytes of `out`;
    // nothing for n <= 0.
    static void outdec(const char* group, unsigned char* out, int n);
    // The first `c` in the zero-terminated `text`, or null when the terminator comes first; asking for
    // the terminator gives its position.
    static const char* index(const char* text, char c);

    // The number a header value holds: a signed 32-bit decimal integer between white space, else 0.
    static int number(const QByteArray& value);
    // True for a "Firmware Type" whose words end in "beta", in any letter case.
    static bool isBeta(const QByteArray& value);
};
