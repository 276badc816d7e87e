#pragma once

#include "core/PointerCounter.h"

#include <cstddef>
#include <new>

namespace rezezaz::core {

// Deletes the target with its own class's destructor and deallocation.
struct DefaultSharedSemantics
{
    template <class T> static void destroy(T* target) { delete target; }
};

// Owning handle to a plain class that carries no count: the count lives in a PointerCounter shared by
// every copy. Object and counter go together when the last copy lets go. Counted objects go into
// IntrusivePointers instead. Assignment takes the new target before it lets go of the old one.
template <class T, class Semantics = DefaultSharedSemantics> class SharedPointer
{
public:
    SharedPointer() = default;

    // Takes ownership of target with a new counter.
    explicit SharedPointer(T* target) : target_(target)
    {
        if (target_ == nullptr) {
            return;
        }
        try {
            counter_ = new PointerCounter();
        } catch (...) {
            // Without a counter nobody would own the target.
            Semantics::destroy(target_);
            throw;
        }
    }

    SharedPointer(const SharedPointer& other) : target_(other.target_), counter_(other.counter_) { share(); }

    // Takes over the other handle's share without touching the counts; the other holds null.
    SharedPointer(SharedPointer&& other) noexcept : target_(other.target_), counter_(other.counter_)
    {
        other.target_ = nullptr;
        other.counter_ = nullptr;
    }

    ~SharedPointer() { cleanup(); }

    SharedPointer& operator=(const SharedPointer& other)
    {
        if (other.counter_ == counter_ && other.target_ == target_) {
            return *this;
        }
        // Take the new share first: the old target may be what keeps `other` alive.
        T* target = other.target_;
        PointerCounter* counter = other.counter_;
        if (counter != nullptr) {
            ++counter->sharedCount_;
            ++counter->totalCount_;
        }
        cleanup();
        target_ = target;
        counter_ = counter;
        return *this;
    }

    // Takes over the other handle's share, then lets go of the old one (the old target may be what
    // kept `other` alive). Moving a handle onto itself changes nothing.
    SharedPointer& operator=(SharedPointer&& other) noexcept
    {
        if (&other == this) {
            return *this;
        }
        T* target = other.target_;
        PointerCounter* counter = other.counter_;
        other.target_ = nullptr;
        other.counter_ = nullptr;
        cleanup();
        target_ = target;
        counter_ = counter;
        return *this;
    }

    // Drops this handle's share; the object and the counter are deleted when it was the last one.
    void cleanup()
    {
        T* target = target_;
        PointerCounter* counter = counter_;
        // Both pointers are null before anything is deleted, in case the target holds this handle.
        target_ = nullptr;
        counter_ = nullptr;
        if (counter == nullptr) {
            return;
        }
        int32_t shared = --counter->sharedCount_;
        if (counter->totalCount_-- <= 1) {
            counter->destroy();
            shared = 0;
        }
        if (shared <= 0 && target != nullptr) {
            Semantics::destroy(target);
        }
    }

    T* get() const { return target_; }
    T* operator->() const { return target_; }
    T& operator*() const { return *target_; }
    explicit operator bool() const { return target_ != nullptr; }

    friend bool operator==(const SharedPointer& a, const SharedPointer& b) { return a.target_ == b.target_; }
    friend bool operator!=(const SharedPointer& a, const SharedPointer& b) { return a.target_ != b.target_; }
    friend bool operator==(const SharedPointer& a, const T* b) { return a.target_ == b; }
    friend bool operator!=(const SharedPointer& a, const T* b) { return a.target_ != b; }

private:
    void share()
    {
        if (counter_ != nullptr) {
            ++counter_->sharedCount_;
            ++counter_->totalCount_;
        }
    }

    T* target_ = nullptr;
    PointerCounter* counter_ = nullptr;
};

} // namespace rezezaz::core
