#include "calibration/view/QtArchive.h"

#include "calibration/view/QtFileStream.h"

using rezezaz::core::Collection;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::Resource;
using rezezaz::core::String;
using rezezaz::core::io::Stream;

QtArchive::QtArchive() = default;

QtArchive::~QtArchive() = default;

IntrusivePointer<Stream> QtArchive::openStream(const String& name)
{
    IntrusivePointer<QtFileStream> stream(new QtFileStream(QString::fromLatin1(name.c_str())));
    if (stream->closed()) {
        return nullptr;
    }
    return IntrusivePointer<Stream>(stream.get());
}

IntrusivePointer<Resource> QtArchive::openResource(const String&)
{
    return nullptr;
}

Collection<String> QtArchive::getEntries()
{
    return entries;
}
