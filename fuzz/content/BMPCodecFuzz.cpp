// Feeds arbitrary bytes to the image reader as a file; what it reads is written again and must
// read back the same.
#include "content/BMPCodec.h"
#include "ImageReaderFuzz.h"

using rezezaz::core::IntrusivePointer;
using rezezaz::scene::BMPCodec;
using rezezaz::scene::DecodedImage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DecodedImage image = fuzzing::readImage(data, size, &BMPCodec::read);
    if (image.format) {
        IntrusivePointer<rezezaz::core::io::MemoryStream> out(new rezezaz::core::io::MemoryStream());
        if (!BMPCodec::write(out.get(), *image.format, image.levels[0].data())) {
            __builtin_trap();
        }
        out->seek(0);
        const DecodedImage again = BMPCodec::read(out.get());
        if (again.levels[0] != image.levels[0]) {
            __builtin_trap();
        }
    }
    return 0;
}
