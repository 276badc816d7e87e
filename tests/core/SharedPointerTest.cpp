#include "core/SharedPointer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::SharedPointer;

namespace {

// A plain class without a count that records its deletion.
struct Record
{
    Record(std::vector<std::string>* deleted, std::string label) : deleted(deleted), label(std::move(label))
    {}
    ~Record() { deleted->push_back(label); }

    std::vector<std::string>* deleted;
    std::string label;
    SharedPointer<Record> next;
};

} // namespace

TEST(SharedPointerTest, ThreeCopiesFreeTheObjectWhenTheLastGoes)
{
    std::vector<std::string> deleted;
    SharedPointer<Record> first(new Record(&deleted, "r"));
    SharedPointer<Record> second(first);
    SharedPointer<Record> third;
    third = second;
    EXPECT_EQ(third.get(), first.get());

    first.cleanup();
    EXPECT_FALSE(first);
    second.cleanup();
    EXPECT_TRUE(deleted.empty());
    EXPECT_EQ(third->label, "r");
    third.cleanup();
    // The counter goes with it; the leak checker of the sanitizer build would report it otherwise.
    EXPECT_EQ(deleted, std::vector<std::string>{"r"});
    EXPECT_FALSE(third);
}

TEST(SharedPointerTest, AssigningTheSameShareChangesNothing)
{
    std::vector<std::string> deleted;
    SharedPointer<Record> handle(new Record(&deleted, "r"));
    SharedPointer<Record> copy(handle);
    handle = *&handle;
    handle = copy;
    copy.cleanup();
    EXPECT_TRUE(deleted.empty());
    EXPECT_EQ(handle->label, "r");
    handle.cleanup();
    EXPECT_EQ(deleted, std::vector<std::string>{"r"});
}

TEST(SharedPointerTest, AssignmentLetsGoOfTheOldObjectAfterTakingTheNew)
{
    std::vector<std::string> deleted;
    SharedPointer<Record> p(new Record(&deleted, "0"));
    p->next = SharedPointer<Record>(new Record(&deleted, "1"));
    p->next->next = SharedPointer<Record>(new Record(&deleted, "2"));

    // The old object alone owns the new target each time.
    p = p->next;
    EXPECT_EQ(deleted, std::vector<std::string>{"0"});
    EXPECT_EQ(p->label, "1");
    p = p->next;
    EXPECT_EQ(p->label, "2");
    p = SharedPointer<Record>();
    EXPECT_EQ(deleted, (std::vector<std::string>{"0", "1", "2"}));
}

TEST(SharedPointerTest, MovingAHandleHandsOverItsShare)
{
    std::vector<std::string> deleted;
    SharedPointer<Record> first(new Record(&deleted, "r"));
    SharedPointer<Record> moved(std::move(first));
    EXPECT_FALSE(first);
    SharedPointer<Record> assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved);
    assigned = std::move(*&assigned);
    EXPECT_EQ(assigned->label, "r");
    // The one share left: had a move copied it, the object would outlive this.
    assigned.cleanup();
    EXPECT_EQ(deleted, std::vector<std::string>{"r"});
}

TEST(SharedPointerTest, MoveAssignmentLetsGoOfTheOldObjectAfterTakingTheNew)
{
    std::vector<std::string> deleted;
    SharedPointer<Record> p(new Record(&deleted, "0"));
    p->next = SharedPointer<Record>(new Record(&deleted, "1"));
    // The old object alone owns the new target.
    p = std::move(p->next);
    EXPECT_EQ(deleted, std::vector<std::string>{"0"});
    EXPECT_EQ(p->label, "1");
    p = SharedPointer<Record>();
    EXPECT_EQ(deleted, (std::vector<std::string>{"0", "1"}));
}
