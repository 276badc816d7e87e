#pragma once

#include "core/String.h"

namespace rezezaz::core {

// Run-time record of a class derived from Base: its full name, an optional parent record, and a way
// to create instances. The full name, not the record's address, identifies the class. Each class
// builds its record once, in a function-local static of its static type(), and returns it from its
// virtual getType():
//
//     static const Type<Component>& type()
//     {
//         static const NonInstantiableType<LightComponent, Component> record("LightComponent");
//         return record;
//     }
//     const Type<Component>& getType() const override { return type(); }
template <class Base> class Type
{
public:
    Type(const Type&) = delete;
    Type& operator=(const Type&) = delete;
    virtual ~Type() = default;

    virtual const String& getFullName() const { return fullName_; }

    // True for the record's own full name, else the parent's answer, else false.
    virtual bool instanceOf(const String& name) const
    {
        if (name.equals(fullName_)) {
            return true;
        }
        return parent_ != nullptr && parent_->instanceOf(name);
    }

    // A new object of the class, owned by the caller, or null when the class cannot be created.
    virtual Base* newInstance() const = 0;

    const Type* getParent() const { return parent_; }

protected:
    // The parent is not owned.
    explicit Type(const String& fullName, const Type* parent = nullptr) : fullName_(fullName), parent_(parent)
    {}

private:
    String fullName_;
    const Type* parent_;
};

} // namespace rezezaz::core
