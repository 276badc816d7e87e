#include "core/Map.h"

#include "core/String.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::Map;
using rezezaz::core::String;

namespace {

template <class K, class V> std::vector<K> keys(const Map<K, V>& map)
{
    std::vector<K> result;
    for (const auto& pair : map) {
        result.push_back(pair.key);
    }
    return result;
}

Map<int, int> makeMap(std::initializer_list<int> keysInOrderOfInsertion)
{
    Map<int, int> map;
    for (int key : keysInOrderOfInsertion) {
        map.add(key, key * 10);
    }
    return map;
}

} // namespace

TEST(MapTest, KeepsKeysInAscendingOrderWithoutDuplicates)
{
    Map<int, int> map = makeMap({5, -3, 12, 0, 5, -40, 7, 12});
    EXPECT_EQ(keys(map), (std::vector<int>{-40, -3, 0, 5, 7, 12}));
    for (const auto& pair : map) {
        EXPECT_EQ(pair.value, pair.key * 10);
    }

    Map<String, int> names;
    for (const char* name : {"b", "ab", "a", "B", ""}) {
        names[String(name)] = 1;
    }
    std::vector<std::string> sorted;
    for (const auto& pair : names) {
        sorted.push_back(pair.key.c_str());
    }
    EXPECT_EQ(sorted, (std::vector<std::string>{"", "B", "a", "ab", "b"}));
}

TEST(MapTest, IndexingInsertsADefaultOnceAndAddReplaces)
{
    Map<int, int> map = makeMap({1, 9});
    int& value = map[4];
    EXPECT_EQ(value, 0);
    value = 44;
    EXPECT_EQ(map[4], 44);
    EXPECT_EQ(map.size(), 3);
    EXPECT_EQ(keys(map), (std::vector<int>{1, 4, 9}));

    map.add(9, 99);
    EXPECT_EQ(map.size(), 3);
    EXPECT_EQ(map.pairAt(2).value, 99);

    Map<String, const char*> pointers;
    EXPECT_EQ(pointers[String("absent")], nullptr);
}

TEST(MapTest, LookupFindsPresentKeysAndAnswersTheEndForAbsentOnes)
{
    const Map<int, int> map = makeMap({10, 20, 30});
    struct Case
    {
        int key;
        int expectedIndex; // 3 is the end
    };
    const Case cases[] = {{10, 0}, {20, 1}, {30, 2}, {5, 3}, {15, 3}, {35, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        auto it = map.lookup(c.key);
        EXPECT_EQ(it.getIndex(), c.expectedIndex);
        if (it != map.end()) {
            EXPECT_EQ(it->key, c.key);
        }
    }
}

TEST(MapTest, RemovalIsLookupThenErase)
{
    Map<int, int> map = makeMap({1, 2, 3});
    map.erase(map.lookup(2));
    EXPECT_EQ(keys(map), (std::vector<int>{1, 3}));
    EXPECT_EQ(map.lookup(2), map.end());
    map.clear();
    EXPECT_EQ(map.size(), 0);
}

TEST(MapTest, AddingAValueFromItsOwnStorageWhileGrowingIsSafe)
{
    Map<int, std::string> map;
    map.add(1, "one");
    map.add(2, "two");
    // Full: the insertion moves the pairs to new storage before the value is copied in.
    map.add(0, map.pairAt(1).value);
    EXPECT_EQ(map.pairAt(0).value, "two");
    EXPECT_EQ(map.pairAt(2).value, "two");
}
