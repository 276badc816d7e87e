#include "core/Object.h"

#include "core/IntrusivePointer.h"
#include "support/CountingObject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <thread>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Object;
using support::CountingObject;
using support::LifeLog;

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PELOTUNE_SANITIZED_ALLOCATOR 1
#endif
#endif

// A chain link: each link alone owns the next one.
class Link : public CountingObject
{
public:
    using CountingObject::CountingObject;
    IntrusivePointer<Link> next;

    void destroy() override
    {
        next.reset();
        CountingObject::destroy();
    }
};

// Builds a chain of count links labelled "0", "1", ... and returns its head, owned by nobody else.
IntrusivePointer<Link> makeChain(LifeLog* log, int count)
{
    IntrusivePointer<Link> head;
    for (int i = count - 1; i >= 0; --i) {
        IntrusivePointer<Link> link = new Link(log, std::to_string(i));
        link->next = head;
        head = link;
    }
    return head;
}

// Counts the retains and releases it is sent.
class CountedCalls : public CountingObject
{
public:
    using CountingObject::CountingObject;
    int32_t retain() override
    {
        ++retains;
        return CountingObject::retain();
    }
    int32_t release() override
    {
        ++releases;
        return CountingObject::release();
    }

    int retains = 0;
    int releases = 0;
};

} // namespace

TEST(ObjectTest, CountStartsAtZeroAndTheReleaseToZeroOrBelowDestroysTheObject)
{
    LifeLog log;
    auto* retained = new CountingObject(&log, "retained");
    EXPECT_EQ(retained->retain(), 1);
    EXPECT_EQ(retained->retain(), 2);
    EXPECT_EQ(retained->release(), 1);
    EXPECT_EQ(log.deleted, 0);
    EXPECT_EQ(retained->release(), 0);
    EXPECT_EQ(log.deleted, 1);

    // Nobody ever retained it: a single release still destroys it.
    auto* unowned = new CountingObject(&log, "unowned");
    EXPECT_EQ(unowned->release(), -1);
    EXPECT_EQ(log.destroyed, 2);
    EXPECT_EQ(log.deleted, 2);
}

TEST(ObjectTest, DestroyRunsBeforeAnyDestructor)
{
    LifeLog log;
    // The head's destroy lets go of the second link, whose release runs its own destroy and
    // destructor; the head's destructor comes only after its destroy has finished.
    IntrusivePointer<Link> head = makeChain(&log, 2);
    head.reset();
    EXPECT_EQ(log.events, (std::vector<std::string>{"destroy 1", "delete 1", "destroy 0", "delete 0"}));
}

TEST(ObjectTest, ObjectsAreSixteenByteAligned)
{
    struct Small : Object
    {
        char c = 0;
    };
    struct Odd : Object
    {
        char bytes[37] = {};
    };
    std::vector<IntrusivePointer<Object>> keep;
    for (int i = 0; i < 64; ++i) {
        keep.push_back(new Small);
        keep.push_back(new Odd);
        keep.push_back(new CountingObject);
    }
    for (const auto& object : keep) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(object.get()) % 16, 0u);
    }
}

TEST(ObjectTest, FailedAllocationThrowsBadAlloc)
{
#ifdef PELOTUNE_SANITIZED_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator stops the program on impossible sizes";
#else
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
    EXPECT_THROW(Object::operator new(huge), std::bad_alloc);
#endif
}

TEST(ObjectTest, RetainAndReleaseFromTwoThreadsStayExact)
{
    constexpr int iterations = 100000;
    LifeLog log;
    auto* object = new CountingObject(&log, "shared");
    object->retain(); // one reference for each thread
    object->retain();

    auto work = [object] {
        for (int i = 0; i < iterations; ++i) {
            object->retain();
            object->release();
        }
        for (int i = 0; i < iterations; ++i) {
            object->retain();
        }
        for (int i = 0; i < iterations; ++i) {
            object->release();
        }
        // Whichever thread is last destroys the object.
        object->release();
    };
    std::thread first(work);
    std::thread second(work);
    first.join();
    second.join();

    EXPECT_EQ(log.destroyed, 1);
    EXPECT_EQ(log.deleted, 1);
}

TEST(IntrusivePointerTest, AssigningWhatTheHandleHoldsChangesNothing)
{
    using Pointer = IntrusivePointer<CountingObject>;
    struct Case
    {
        const char* name;
        void (*assign)(Pointer& handle, const Pointer& sameTarget);
    };
    const Case cases[] = {
        {"itself", [](Pointer& handle, const Pointer&) { handle = *&handle; }},
        {"its raw pointer", [](Pointer& handle, const Pointer&) { handle = handle.get(); }},
        {"another handle to the same object", [](Pointer& handle, const Pointer& same) { handle = same; }},
        {"a handle of a base type",
         [](Pointer& handle, const Pointer& same) {
             IntrusivePointer<Object> base = same;
             IntrusivePointer<Object> view = handle;
             view = base;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LifeLog log;
        Pointer handle = new CountingObject(&log);
        Pointer same = handle;
        c.assign(handle, same);
        EXPECT_EQ(handle.get(), same.get());
        EXPECT_EQ(log.destroyed, 0);
        EXPECT_EQ(handle->retain(), 3); // handle, same, and this call
        handle->release();
        same.reset();
        handle.reset();
        EXPECT_EQ(log.deleted, 1);
    }
}

TEST(IntrusivePointerTest, AssignmentRetainsTheNewTargetAndReleasesTheOld)
{
    LifeLog log;
    IntrusivePointer<CountingObject> handle = new CountingObject(&log, "old");
    auto* fresh = new CountingObject(&log, "new");
    handle = fresh;
    EXPECT_EQ(log.events, (std::vector<std::string>{"destroy old", "delete old"}));
    EXPECT_EQ(fresh->retain(), 2);
    fresh->release();

    handle = nullptr;
    EXPECT_EQ(log.deleted, 2);
    EXPECT_FALSE(handle);
}

TEST(IntrusivePointerTest, WalkingAChainThroughTheHandleIsClean)
{
    using Step = void (*)(IntrusivePointer<Link>&);
    const std::pair<const char*, Step> steps[] = {
        {"from the next handle", [](IntrusivePointer<Link>& p) { p = p->next; }},
        {"from the next raw pointer", [](IntrusivePointer<Link>& p) { p = p->next.get(); }},
        {"moved from the next handle", [](IntrusivePointer<Link>& p) { p = std::move(p->next); }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        LifeLog log;
        IntrusivePointer<Link> p = makeChain(&log, 3);
        // Each step drops the only owner of the link that owned the new target.
        for (int expected = 0; p; ++expected) {
            EXPECT_EQ(p->label(), std::to_string(expected));
            step(p);
            EXPECT_EQ(log.deleted, expected + 1);
        }
        EXPECT_EQ(log.destroyed, 3);
    }
}

TEST(IntrusivePointerTest, ComparesByAddress)
{
    IntrusivePointer<CountingObject> a = new CountingObject;
    IntrusivePointer<CountingObject> b = new CountingObject;
    IntrusivePointer<CountingObject> a2 = a;
    IntrusivePointer<CountingObject> none;
    EXPECT_TRUE(a == a2);
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a == a.get());
    EXPECT_TRUE(b.get() != a);
    EXPECT_TRUE(none == nullptr);
    EXPECT_FALSE(a == nullptr);
}

TEST(IntrusivePointerTest, MovingAHandleHandsOverItsReferenceWithoutCounting)
{
    using Pointer = IntrusivePointer<CountedCalls>;
    struct Case
    {
        const char* name;
        // Moves `from` on, through moves only, into `kept`.
        void (*move)(Pointer& from, IntrusivePointer<Object>& kept);
    };
    const Case cases[] = {
        {"construction",
         [](Pointer& from, IntrusivePointer<Object>& kept) {
             Pointer to(std::move(from));
             kept = std::move(to);
             EXPECT_FALSE(to);
         }},
        {"assignment to an empty handle",
         [](Pointer& from, IntrusivePointer<Object>& kept) {
             Pointer to;
             to = std::move(from);
             kept = std::move(to);
         }},
        {"construction of a base handle",
         [](Pointer& from, IntrusivePointer<Object>& kept) { kept = IntrusivePointer<Object>(std::move(from)); }},
        {"into a vector that grows",
         [](Pointer& from, IntrusivePointer<Object>& kept) {
             std::vector<Pointer> list;
             list.push_back(std::move(from));
             for (int i = 0; i < 20; ++i) {
                 list.emplace_back();
             }
             kept = std::move(list[0]);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LifeLog log;
        auto* object = new CountedCalls(&log);
        Pointer from = object;
        IntrusivePointer<Object> kept;
        c.move(from, kept);
        EXPECT_FALSE(from);
        EXPECT_EQ(kept.get(), object);
        EXPECT_EQ(object->retains, 1);
        EXPECT_EQ(object->releases, 0);
        kept.reset();
        EXPECT_EQ(log.deleted, 1);
    }
}

TEST(IntrusivePointerTest, MoveAssignmentReleasesTheOldTargetOnce)
{
    LifeLog log;
    auto* old = new CountedCalls(&log, "old");
    auto* fresh = new CountedCalls(&log, "new");
    IntrusivePointer<CountedCalls> handle = old;
    IntrusivePointer<CountedCalls> other = fresh;
    handle = std::move(other);
    EXPECT_EQ(log.events, (std::vector<std::string>{"destroy old", "delete old"}));
    EXPECT_EQ(handle.get(), fresh);
    EXPECT_FALSE(other);
    EXPECT_EQ(fresh->retains, 1);
    EXPECT_EQ(fresh->releases, 0);

    // Onto itself, and from a second handle to the same target: one reference stays.
    IntrusivePointer<CountedCalls>& self = handle;
    handle = std::move(self);
    EXPECT_EQ(handle.get(), fresh);
    IntrusivePointer<CountedCalls> same = handle;
    handle = std::move(same);
    EXPECT_EQ(handle.get(), fresh);
    EXPECT_EQ(fresh->retains - fresh->releases, 1);
    handle.reset();
    EXPECT_EQ(log.deleted, 2);
}
