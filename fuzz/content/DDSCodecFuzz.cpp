// Feeds arbitrary bytes to the image reader as a file.
#include "content/DDSCodec.h"
#include "ImageReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzing::readImage(data, size, &rezezaz::scene::DDSCodec::read);
    return 0;
}
