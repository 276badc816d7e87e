// Feeds arbitrary bytes to the image reader as a file.
#include "content/PlatformImage.h"
#include "ImageReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::readImage(data, size, &rezezaz::scene::PlatformImage::decode);
    return 0;
}
