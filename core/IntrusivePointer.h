#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>

namespace rezezaz::core {

// Retains and releases through the target's own virtual retain() and release().
struct DefaultIntrusiveSemantics
{
    template <class T> static void retain(T* target) { target->retain(); }
    template <class T> static void release(T* target) { target->release(); }
};

// Owning handle to a counted object (any Interface): holds one reference while it points at the
// target. Assignment retains the new target before it releases the old one, so `p = p->next` is safe
// even when the old target alone owns the new one.
template <class T, class Semantics = DefaultIntrusiveSemantics> class IntrusivePointer
{
public:
    IntrusivePointer() = default;
    IntrusivePointer(std::nullptr_t) {}

    IntrusivePointer(T* target) : target_(target)
    {
        if (target_ != nullptr) {
            Semantics::retain(target_);
        }
    }

    IntrusivePointer(const IntrusivePointer& other) : IntrusivePointer(other.target_) {}

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    IntrusivePointer(const IntrusivePointer<U, Semantics>& other) : IntrusivePointer(other.get())
    {}

    // Takes over the other handle's reference without touching the count; the other holds null.
    IntrusivePointer(IntrusivePointer&& other) noexcept : target_(other.giveUp()) {}

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    IntrusivePointer(IntrusivePointer<U, Semantics>&& other) noexcept : target_(other.giveUp())
    {}

    ~IntrusivePointer() { reset(); }

    IntrusivePointer& operator=(const IntrusivePointer& other)
    {
        assign(other.target_);
        return *this;
    }

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    IntrusivePointer& operator=(const IntrusivePointer<U, Semantics>& other)
    {
        assign(other.get());
        return *this;
    }

    // Takes over the other handle's reference and releases the old target, if any (after this handle
    // already holds the new one). Moving a handle onto itself changes nothing.
    IntrusivePointer& operator=(IntrusivePointer&& other) noexcept
    {
        if (&other != this) {
            take(other.giveUp());
        }
        return *this;
    }

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    IntrusivePointer& operator=(IntrusivePointer<U, Semantics>&& other) noexcept
    {
        take(other.giveUp());
        return *this;
    }

    // Net effect: one retain of the new target, one release of the old. Assigning the target already
    // held changes nothing.
    IntrusivePointer& operator=(T* target)
    {
        assign(target);
        return *this;
    }

    IntrusivePointer& operator=(std::nullptr_t)
    {
        reset();
        return *this;
    }

    // Releases the target, if any, and holds null.
    void reset()
    {
        T* old = target_;
        target_ = nullptr;
        if (old != nullptr) {
            Semantics::release(old);
        }
    }

    T* get() const { return target_; }
    T* operator->() const { return target_; }
    T& operator*() const { return *target_; }
    explicit operator bool() const { return target_ != nullptr; }

private:
    void assign(T* target)
    {
        if (target == target_) {
            return;
        }
        if (target != nullptr) {
            Semantics::retain(target);
        }
        // The handle already holds the new target when the old one goes, in case releasing the old
        // target reaches this handle again.
        T* old = target_;
        target_ = target;
        if (old != nullptr) {
            Semantics::release(old);
        }
    }

    template <class U, class S> friend class IntrusivePointer;

    // Gives up the reference without releasing it: the caller owns it from now on.
    T* giveUp() noexcept
    {
        T* target = target_;
        target_ = nullptr;
        return target;
    }

    // Holds a target whose reference this handle takes over as it stands. When both held the same
    // target, the reference this handle had is the one let go.
    void take(T* target) noexcept
    {
        T* old = target_;
        target_ = target;
        if (old != nullptr) {
            Semantics::release(old);
        }
    }

    T* target_ = nullptr;
};

// Comparisons by address.
template <class T, class S, class U, class R>
bool operator==(const IntrusivePointer<T, S>& a, const IntrusivePointer<U, R>& b)
{
    return a.get() == b.get();
}
template <class T, class S, class U, class R>
bool operator!=(const IntrusivePointer<T, S>& a, const IntrusivePointer<U, R>& b)
{
    return a.get() != b.get();
}
template <class T, class S, class U> bool operator==(const IntrusivePointer<T, S>& a, U* b)
{
    return a.get() == b;
}
template <class T, class S, class U> bool operator!=(const IntrusivePointer<T, S>& a, U* b)
{
    return a.get() != b;
}
template <class T, class S, class U> bool operator==(U* a, const IntrusivePointer<T, S>& b)
{
    return a == b.get();
}
template <class T, class S, class U> bool operator!=(U* a, const IntrusivePointer<T, S>& b)
{
    return a != b.get();
}
template <class T, class S> bool operator==(const IntrusivePointer<T, S>& a, std::nullptr_t)
{
    return a.get() == nullptr;
}
template <class T, class S> bool operator!=(const IntrusivePointer<T, S>& a, std::nullptr_t)
{
    return a.get() != nullptr;
}
template <class T, class S> bool operator==(std::nullptr_t, const IntrusivePointer<T, S>& b)
{
    return b.get() == nullptr;
}
template <class T, class S> bool operator!=(std::nullptr_t, const IntrusivePointer<T, S>& b)
{
    return b.get() != nullptr;
}
// Orders by address, so owning pointers can be map keys.
template <class T, class S> bool operator<(const IntrusivePointer<T, S>& a, const IntrusivePointer<T, S>& b)
{
    return std::less<T*>()(a.get(), b.get());
}

} // namespace rezezaz::core
