#include "core/Collection.h"

#include "core/PointerCollection.h"
#include "core/String.h"
#include "support/CountingObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using rezezaz::core::Collection;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::PointerCollection;
using rezezaz::core::String;
using support::CountingObject;
using support::LifeLog;

namespace {

template <class T> std::vector<T> contents(const Collection<T>& collection)
{
    return std::vector<T>(collection.begin(), collection.end());
}

Collection<int> makeInts(std::initializer_list<int> values)
{
    Collection<int> collection;
    for (int value : values) {
        collection.add(value);
    }
    return collection;
}

// Five objects labelled "0" to "4" in a pointer collection; the collection holds the only references.
struct PointerFixture
{
    LifeLog log;
    PointerCollection<CountingObject> objects;

    PointerFixture()
    {
        for (int i = 0; i < 5; ++i) {
            objects.add(new CountingObject(&log, std::to_string(i)));
        }
    }

    std::vector<std::string> labels() const
    {
        std::vector<std::string> result;
        for (const auto& object : objects) {
            result.push_back(object ? object->label() : "null");
        }
        return result;
    }
};

} // namespace

TEST(CollectionTest, GrowsToTwiceTheSizePlusTwoOnlyWhenFull)
{
    Collection<int> added;
    Collection<int> inserted;
    std::vector<int> capacities;
    for (int i = 0; i < 15; ++i) {
        added.add(i);
        inserted.insert(inserted.begin(), i);
        capacities.push_back(added.capacity());
        EXPECT_EQ(inserted.capacity(), added.capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{2, 2, 6, 6, 6, 6, 14, 14, 14, 14, 14, 14, 14, 14, 30}));
    EXPECT_EQ(added.size(), 15);
    EXPECT_EQ(inserted[0], 14);
    EXPECT_EQ(inserted[14], 0);

    // Explicit sizes are taken exactly, and nothing shrinks below the size.
    Collection<int> exact;
    exact.resize(5);
    EXPECT_EQ(exact.capacity(), 5);
    exact.reserve(9);
    EXPECT_EQ(exact.capacity(), 9);
    exact.reserve(3);
    EXPECT_EQ(exact.capacity(), 9);
    EXPECT_EQ(contents(exact), (std::vector<int>{0, 0, 0, 0, 0}));
}

// A count read from a damaged file may be negative: it is refused and the collection stays as it was.
TEST(CollectionTest, NegativeResizeIsRefusedAndChangesNothing)
{
    for (int32_t count : {-1, -2, INT32_MIN}) {
        SCOPED_TRACE(count);
        Collection<int> c = makeInts({10, 20, 30});
        const int32_t capacity = c.capacity();
        EXPECT_THROW(c.resize(count), std::invalid_argument);
        EXPECT_THROW(c.resize(count, 7), std::invalid_argument);
        EXPECT_EQ(contents(c), (std::vector<int>{10, 20, 30}));
        EXPECT_EQ(c.capacity(), capacity);
        c.add(40);
        EXPECT_EQ(contents(c), (std::vector<int>{10, 20, 30, 40}));
    }
}

TEST(CollectionTest, InsertEraseAndRemoveKeepOrderAndCapacity)
{
    Collection<int> c = makeInts({10, 20, 30});
    auto it = c.insert(c.begin() + 1, 15);
    EXPECT_EQ(it.getIndex(), 1);
    c.insert(c.end(), 40);
    EXPECT_EQ(contents(c), (std::vector<int>{10, 15, 20, 30, 40}));
    const int capacity = c.capacity();

    it = c.erase(c.begin());
    EXPECT_EQ(it, c.begin());
    EXPECT_EQ(*it, 15);
    it = c.erase(c.end() - 1);
    EXPECT_EQ(it, c.end());
    EXPECT_EQ(contents(c), (std::vector<int>{15, 20, 30}));

    c.add(20);
    EXPECT_TRUE(c.remove(20)); // only the first of the two
    EXPECT_EQ(contents(c), (std::vector<int>{15, 30, 20}));
    EXPECT_FALSE(c.remove(99));
    EXPECT_EQ(c.size(), 3);
    EXPECT_EQ(c.findIndex(20), 2);
    EXPECT_EQ(c.findIndex(99), -1);
    EXPECT_EQ(c.capacity(), capacity);
}

TEST(CollectionTest, StringsCompareByTheirText)
{
    Collection<String> names;
    names.add(String("left"));
    names.add(String("right"));
    EXPECT_EQ(names.findIndex(String("right")), 1);
    EXPECT_TRUE(names.remove("left"));
    EXPECT_EQ(names.size(), 1);
    EXPECT_TRUE(names[0].equals("right"));

    names.resize(3);
    EXPECT_EQ(names[1].length(), 0);
    EXPECT_EQ(names[2].length(), 0);
}

TEST(CollectionTest, OwningPointersAreReleasedWhereverTheyAreDropped)
{
    struct Case
    {
        const char* name;
        std::function<void(PointerCollection<CountingObject>&)> drop;
        std::vector<std::string> released;
        std::vector<std::string> remaining;
    };
    const std::vector<Case> cases = {
        {"erase", [](auto& c) { c.erase(c.begin() + 1); }, {"1"}, {"0", "2", "3", "4"}},
        {"remove by raw pointer", [](auto& c) { c.remove(c[3].get()); }, {"3"}, {"0", "1", "2", "4"}},
        {"remove by owning pointer",
         [](auto& c) {
             IntrusivePointer<CountingObject> target = c[0];
             c.remove(target);
         },
         {"0"},
         {"1", "2", "3", "4"}},
        {"shrinking resize", [](auto& c) { c.resize(2); }, {"4", "3", "2"}, {"0", "1"}},
        {"shrink and grow back",
         [](auto& c) {
             c.resize(2);
             c.resize(5);
         },
         {"4", "3", "2"},
         {"0", "1", "null", "null", "null"}},
        {"clear", [](auto& c) { c.clear(); }, {"0", "1", "2", "3", "4"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PointerFixture fixture;
        const int capacity = fixture.objects.capacity();
        c.drop(fixture.objects);

        std::vector<std::string> released;
        for (const auto& event : fixture.log.events) {
            if (event.rfind("delete ", 0) == 0) {
                released.push_back(event.substr(7));
            }
        }
        EXPECT_EQ(released, c.released);
        EXPECT_EQ(fixture.labels(), c.remaining);
        EXPECT_EQ(fixture.objects.capacity(), capacity);
        // No stray reference is left in the vacated slots: each remaining object has one owner.
        for (const auto& object : fixture.objects) {
            if (object) {
                EXPECT_EQ(object->retain(), 2) << object->label();
                object->release();
            }
        }
        fixture.objects = PointerCollection<CountingObject>();
        EXPECT_EQ(fixture.log.deleted, 5);
    }
}

TEST(CollectionTest, IteratorsReadThroughGrowth)
{
    Collection<std::string> c;
    c.add("a");
    c.add("b");
    auto first = c.begin();
    auto second = first + 1;
    for (int i = 0; i < 20; ++i) {
        c.add("x");
    }
    EXPECT_EQ(*first, "a");
    EXPECT_EQ(*second, "b");
    EXPECT_EQ(c.end() - c.begin(), 22);
}

TEST(CollectionTest, AddingItsOwnElementWhileGrowingIsSafe)
{
    // The value lies in the collection's own storage, which growth replaces or the insertion shifts.
    struct Case
    {
        const char* name;
        void (*apply)(Collection<std::string>&);
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"add", [](Collection<std::string>& c) { c.add(c[0]); }, {"first", "second", "first"}},
        {"insert",
         [](Collection<std::string>& c) { c.insert(c.begin(), c[1]); },
         {"second", "first", "second"}},
        {"insert shifting the value",
         [](Collection<std::string>& c) {
             c.reserve(3);
             c.insert(c.begin(), c[1]);
         },
         {"second", "first", "second"}},
        {"resize with a fill value",
         [](Collection<std::string>& c) { c.resize(4, c[1]); },
         {"first", "second", "second", "second"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Collection<std::string> collection;
        collection.add("first");
        collection.add("second");
        c.apply(collection);
        EXPECT_EQ(contents(collection), c.expected);
    }
}

TEST(CollectionTest, CopiesAreIndependentAndSelfAssignmentChangesNothing)
{
    LifeLog log;
    auto* object = new CountingObject(&log);
    Collection<PointerCollection<CountingObject>> nested;
    nested.add(PointerCollection<CountingObject>());
    nested[0].add(object);

    Collection<PointerCollection<CountingObject>> copy(nested);
    copy[0].add(object);
    EXPECT_EQ(nested[0].size(), 1);
    EXPECT_EQ(copy[0].size(), 2);
    EXPECT_EQ(copy.begin().getCollection(), &copy);
    EXPECT_EQ(copy.end().getIndex(), 1);
    EXPECT_EQ(object->retain(), 4); // one in the original, two in the copy, one here
    object->release();

    auto& same = copy;
    copy = same;
    EXPECT_EQ(copy.size(), 1);
    EXPECT_EQ(copy[0].size(), 2);
    EXPECT_EQ(copy.capacity(), nested.capacity());

    copy = Collection<PointerCollection<CountingObject>>();
    nested.clear();
    EXPECT_EQ(log.deleted, 1);
}

namespace {

// A record copied as its bytes whose default is not all zero bytes.
struct Tagged
{
    int tag = 7;
    unsigned char bytes[3] = {};

    bool operator==(const Tagged& other) const
    {
        return tag == other.tag && bytes[0] == other.bytes[0] && bytes[1] == other.bytes[1] &&
               bytes[2] == other.bytes[2];
    }
};

// Elements copied as blocks of bytes go through the same operations as any other: what a copy,
// a growth, an insert and an erase keep, and the default value in every slot that clear or a
// shrinking resize vacates (the record's own default, not zero bytes).
template <class T> void checkBlockCopies(const std::vector<T>& values)
{
    Collection<T> c;
    for (const T& value : values) {
        c.add(value);
    }
    c.reserve(100);
    EXPECT_EQ(contents(c), values);

    Collection<T> copy(c);
    copy[0] = values[1];
    EXPECT_EQ(c[0], values[0]) << "a copy has storage of its own";
    EXPECT_EQ(copy.capacity(), 100);

    c.insert(c.begin() + 1, values[2]);
    c.erase(c.begin());
    EXPECT_EQ(contents(c), (std::vector<T>{values[2], values[1], values[2], values[3]}));

    c.resize(2);
    EXPECT_EQ(c[2], T());
    EXPECT_EQ(c[3], T());
    c.resize(5, values[3]);
    EXPECT_EQ(contents(c), (std::vector<T>{values[2], values[1], values[3], values[3], values[3]}));
    c.clear();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(c[i], T()) << "slot " << i;
    }
    EXPECT_EQ(c.capacity(), 100);
}

} // namespace

TEST(CollectionTest, ElementsCopiedAsBytesKeepValuesAndDefaultEveryVacatedSlot)
{
    checkBlockCopies<unsigned char>({1, 2, 3, 4});
    checkBlockCopies<int>({-1, 2, 300000, 4});
    checkBlockCopies<Tagged>(
        {Tagged{1, {1, 2, 3}}, Tagged{2, {4, 5, 6}}, Tagged{3, {7, 8, 9}}, Tagged{4, {0, 0, 1}}});
}
