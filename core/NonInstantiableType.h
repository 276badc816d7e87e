#pragma once

#include "core/Type.h"

#include <type_traits>

namespace rezezaz::core {

// Type record of a class that cannot be created by type: newInstance() returns null.
template <class Class, class Base> class NonInstantiableType : public Type<Base>
{
    static_assert(std::is_base_of_v<Base, Class>, "the class must derive from the record's base");

public:
    explicit NonInstantiableType(const String& fullName, const Type<Base>* parent = nullptr)
        : Type<Base>(fullName, parent)
    {}

    Base* newInstance() const override { return nullptr; }
};

} // namespace rezezaz::core
