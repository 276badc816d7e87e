#include "core/InstantiableType.h"
#include "core/IntrusivePointer.h"
#include "core/NonInstantiableType.h"
#include "core/Object.h"
#include "core/String.h"

#include <gtest/gtest.h>

#include <cstdint>

using rezezaz::core::InstantiableType;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::NonInstantiableType;
using rezezaz::core::Object;
using rezezaz::core::String;
using rezezaz::core::Type;

namespace {

// A small class tree in the way the scene engine names its classes.
class Part : public Object
{
public:
    virtual const Type<Part>& getType() const = 0;
};

class AbstractPart : public Part
{
public:
    static const Type<Part>& type()
    {
        static const NonInstantiableType<AbstractPart, Part> record("");
        return record;
    }
    const Type<Part>& getType() const override { return type(); }
};

class Wheel : public Part
{
public:
    static const Type<Part>& type()
    {
        static const InstantiableType<Wheel, Part> record("Wheel");
        return record;
    }
    const Type<Part>& getType() const override { return type(); }
};

class Crank : public Part
{
public:
    static const Type<Part>& type()
    {
        static const NonInstantiableType<Crank, Part> record("Crank");
        return record;
    }
    const Type<Part>& getType() const override { return type(); }
};

} // namespace

TEST(TypeTest, InstanceOfMatchesTheFullNameOnly)
{
    const InstantiableType<Wheel, Part> child("FrontWheel", &Wheel::type());
    struct Case
    {
        const Type<Part>* record;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {&Wheel::type(), "Wheel", true},   {&Wheel::type(), "Crank", false},
        {&Wheel::type(), "wheel", false},  {&Wheel::type(), "", false},
        {&AbstractPart::type(), "", true}, {&AbstractPart::type(), "Wheel", false},
        {&Crank::type(), "Crank", true},   {&child, "FrontWheel", true},
        {&child, "Wheel", true},           {&child, "Crank", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.record->getFullName().c_str()) + " / " + c.name);
        EXPECT_EQ(c.record->instanceOf(String(c.name)), c.expected);
    }
    EXPECT_EQ(&Wheel::type(), &Wheel::type());
}

TEST(TypeTest, NewInstanceCreatesOnlyInstantiableClasses)
{
    Part* created = Wheel::type().newInstance();
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(&created->getType(), &Wheel::type());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(created) % 16, 0u);
    // Born unowned, like every object.
    EXPECT_EQ(created->retain(), 1);
    created->release();

    EXPECT_EQ(Crank::type().newInstance(), nullptr);
    EXPECT_EQ(AbstractPart::type().newInstance(), nullptr);
}
