#include "core/BaseResource.h"

#include "core/IntrusivePointer.h"
#include "core/ResourceDestroyedListener.h"
#include "core/String.h"
#include "support/CountingObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::BaseResource;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::Resource;
using rezezaz::core::ResourceDestroyedListener;
using rezezaz::core::String;
using support::CountingObject;
using support::LifeLog;

namespace {

// Records every notice it gets, and the order of events in the shared log.
class RecordingListener : public ResourceDestroyedListener
{
public:
    explicit RecordingListener(LifeLog* log) : log_(log) {}

    void resourceDestroyed(Resource* resource) override
    {
        notices.push_back(resource);
        log_->events.push_back("listener told");
    }

    std::vector<Resource*> notices;

private:
    LifeLog* log_;
};

// A resource that holds another object and lets go of it in destroy, before the base tells the
// listener.
class HoldingResource : public BaseResource
{
public:
    explicit HoldingResource(LifeLog* log) : held_(new CountingObject(log, "held")) {}

    void destroy() override
    {
        held_.reset();
        BaseResource::destroy();
    }

private:
    IntrusivePointer<CountingObject> held_;
};

} // namespace

TEST(BaseResourceTest, LastReleaseTellsTheListenerOnceAfterTheResourceLetGo)
{
    LifeLog log;
    RecordingListener listener(&log);
    auto* resource = new HoldingResource(&log);
    Resource* identity = resource->resourceThis();
    resource->setDestroyedListener(&listener);

    // Both views share the one count.
    IntrusivePointer<Resource> asResource = identity;
    IntrusivePointer<BaseResource> asBase = resource;
    asResource.reset();
    EXPECT_TRUE(listener.notices.empty());

    // An owner may destroy it early; the last release must not tell the listener again.
    resource->destroy();
    asBase.reset();
    EXPECT_EQ(listener.notices, std::vector<Resource*>{identity});
    EXPECT_EQ(log.events, (std::vector<std::string>{"destroy held", "delete held", "listener told"}));
}

TEST(BaseResourceTest, WithoutListenerNothingIsCalled)
{
    LifeLog log;
    RecordingListener listener(&log);
    IntrusivePointer<HoldingResource> resource = new HoldingResource(&log);
    resource->setDestroyedListener(&listener);
    resource->setDestroyedListener(nullptr);
    resource.reset();
    EXPECT_TRUE(listener.notices.empty());
    EXPECT_EQ(log.deleted, 1);
}

TEST(BaseResourceTest, NameAndHandleReadEmptyAndZeroUntilSet)
{
    IntrusivePointer<BaseResource> resource = new HoldingResource(nullptr);
    EXPECT_EQ(resource->getName().length(), 0);
    EXPECT_EQ(resource->getUniqueHandle(), 0);

    String name("texture");
    resource->setName(name);
    name = String("changed");
    resource->internal_setUniqueHandle(42);
    EXPECT_TRUE(resource->getName().equals(String("texture")));
    EXPECT_EQ(resource->getUniqueHandle(), 42);
}
