#pragma once

#include "core/IntrusivePointer.h"
#include "core/Interface.h"
#include "core/Resource.h"
#include "core/String.h"

namespace rezezaz::scene {

class ProgressListener;
class ResourceData;

// Makes a resource procedurally (a mesh shape, a built-in material). The engine holds one of each
// built-in creator and calls it from its factory operations; no resource manager calls a creator.
class ResourceCreator : public core::Interface
{
public:
    // Releases what the creator holds; nothing here.
    virtual void destroy() {}
    virtual core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                          ProgressListener* listener) = 0;
};

} // namespace rezezaz::scene
