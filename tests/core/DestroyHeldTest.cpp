#include "core/DestroyHeld.h"

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "support/CountingObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using rezezaz::core::Collection;
using rezezaz::core::destroyHeld;
using rezezaz::core::IntrusivePointer;
using support::CountingObject;
using support::LifeLog;
using Events = std::vector<std::string>;

// Writes, after each destroy, what its owner shows at that moment.
class Probe : public CountingObject
{
public:
    Probe(LifeLog* log, const std::string& label, std::function<std::string()> look)
        : CountingObject(log, label), log_(log), look_(std::move(look))
    {}

    void destroy() override
    {
        CountingObject::destroy();
        log_->events.push_back(label() + " saw " + look_());
    }

private:
    LifeLog* log_;
    std::function<std::string()> look_;
};

TEST(DestroyHeldTest, ThePointerIsEmptyBeforeTheDestroyAndTheObjectGoesAfterIt)
{
    LifeLog log;
    IntrusivePointer<Probe> owner;
    owner = new Probe(&log, "a", [&] { return owner ? "held" : "empty"; });
    destroyHeld(owner);
    // The owner's pointer was the last holder: the release when the call returns destroys once more
    // (as every last release does) and deletes.
    EXPECT_EQ(log.events, (Events{"destroy a", "a saw empty", "destroy a", "a saw empty", "delete a"}));
    EXPECT_EQ(owner, nullptr);

    destroyHeld(owner);
    EXPECT_EQ(log.events.size(), 5u);
}

TEST(DestroyHeldTest, ASpareObjectIsLetGoOfButNotDestroyed)
{
    LifeLog log;
    IntrusivePointer<CountingObject> spare = new CountingObject(&log, "spare");
    IntrusivePointer<CountingObject> owner = spare;
    destroyHeld(owner, spare.get());
    EXPECT_EQ(owner, nullptr);
    EXPECT_TRUE(log.events.empty());

    owner = new CountingObject(&log, "own");
    destroyHeld(owner, spare.get());
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(log.events, (Events{"destroy own", "destroy own", "delete own"}));
}

TEST(DestroyHeldTest, AListIsEmptiedThenEachObjectIsDestroyedInOrderWhileHeld)
{
    LifeLog log;
    Collection<Probe*> list;
    auto look = [&] { return std::to_string(list.size()) + " listed"; };
    IntrusivePointer<Probe> holder = new Probe(&log, "first", look);
    list.add(holder.get());
    // Listed, but held by nobody: it must live through the destroys of the others.
    list.add(new Probe(&log, "second", look));
    list.add(new Probe(&log, "third", look));

    destroyHeld(list);
    EXPECT_EQ(list.size(), 0);
    ASSERT_GE(log.events.size(), 6u);
    EXPECT_EQ(Events(log.events.begin(), log.events.begin() + 6),
              (Events{"destroy first", "first saw 0 listed", "destroy second", "second saw 0 listed",
                      "destroy third", "third saw 0 listed"}));
    // Then the ones held by nobody else go; the other stays with its holder.
    EXPECT_EQ(log.deleted, 2);
    EXPECT_EQ(holder->label(), "first");
}

} // namespace
