#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/String.h"
#include "core/io/Stream.h"

namespace rezezaz::core::io {

// A named collection of streams and resources, such as the compiled-in resources of the
// calibration view. The core library only declares it; each archive implements it.
class Archive : public Resource
{
public:
    ~Archive() override = default;

    // The entry's bytes as a stream; null when the entry can't be opened.
    virtual IntrusivePointer<Stream> openStream(const String& name) = 0;
    // A resource of that name; null when the archive serves none.
    virtual IntrusivePointer<Resource> openResource(const String& name) = 0;
    // The names of the archive's entries.
    virtual Collection<String> getEntries() = 0;
};

} // namespace rezezaz::core::io
