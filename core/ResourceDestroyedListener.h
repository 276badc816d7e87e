#pragma once

namespace rezezaz::core {

class Resource;

// Told when a resource is destroyed; implemented by the managers that file resources. Listeners are
// never owned or retained by the resources that call them.
class ResourceDestroyedListener
{
public:
    virtual ~ResourceDestroyedListener() = default;

    virtual void resourceDestroyed(Resource* resource) = 0;
};

} // namespace rezezaz::core
