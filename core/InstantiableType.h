#pragma once

#include "core/Type.h"

#include <type_traits>

namespace rezezaz::core {

// Type record of a class that newInstance() creates with its default constructor, through the
// class's own allocation. A counted object comes back with count 0: the caller puts it into an owner.
template <class Class, class Base> class InstantiableType : public Type<Base>
{
    static_assert(std::is_base_of_v<Base, Class>, "the class must derive from the record's base");

public:
    explicit InstantiableType(const String& fullName, const Type<Base>* parent = nullptr)
        : Type<Base>(fullName, parent)
    {}

    Base* newInstance() const override { return new Class(); }
};

} // namespace rezezaz::core
