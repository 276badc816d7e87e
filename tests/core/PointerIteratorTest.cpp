#include "core/PointerIteratorRange.h"

#include "support/CountingObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Iterator;
using rezezaz::core::PointerCollection;
using rezezaz::core::PointerIteratorRange;
using support::CountingObject;

namespace {

// An iterator of another kind over the same element type.
class OtherIterator : public Iterator<IntrusivePointer<CountingObject>>
{
public:
    void increment() override {}
    void decrement() override {}
    std::unique_ptr<Iterator> clone() const override { return std::make_unique<OtherIterator>(); }
    IntrusivePointer<CountingObject> dereference() const override { return nullptr; }
    bool equals(const Iterator&) const override { return false; }
};

} // namespace

TEST(PointerIteratorTest, RangeWalksTheCollectionAndHandsOutOwningPointers)
{
    PointerCollection<CountingObject> children;
    for (const char* label : {"a", "b", "c"}) {
        children.add(new CountingObject(nullptr, label));
    }
    PointerIteratorRange<CountingObject> range(children);

    std::vector<std::string> seen;
    for (auto& it = range.getCurrent(); !it.equals(range.getEnd()); it.increment()) {
        seen.push_back(it.dereference()->label());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));

    // Stepping back from the end; a clone moves on its own.
    auto& current = range.getCurrent();
    current.decrement();
    auto clone = current.clone();
    clone->decrement();
    EXPECT_EQ(current.dereference()->label(), "c");
    EXPECT_EQ(clone->dereference()->label(), "b");

    // The pointer handed out holds its own reference.
    IntrusivePointer<CountingObject> held = clone->dereference();
    EXPECT_EQ(held->retain(), 3); // the collection, held, and this call
    held->release();

    EXPECT_FALSE(range.getBegin().equals(OtherIterator()));
    EXPECT_TRUE(range.getBegin().equals(*range.getBegin().clone()));
}
