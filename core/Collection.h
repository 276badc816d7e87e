#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace rezezaz::core {

template <class T> class Collection;

namespace detail {

template <class A, class B, class = void> struct HasEquals : std::false_type
{
};

template <class A, class B>
struct HasEquals<A, B, std::void_t<decltype(std::declval<const A&>().equals(std::declval<const B&>()))>>
    : std::true_type
{
};

// Element equality as the element type defines it: types with an `equals` member (strings) compare
// through it, everything else (numbers, raw and owning pointers) through operator==.
template <class A, class B> bool elementEquals(const A& element, const B& value)
{
    if constexpr (HasEquals<A, B>::value) {
        return element.equals(value);
    } else {
        return element == value;
    }
}

} // namespace detail

// A position in a Collection: the collection and an index. It reads through the collection's current
// storage, so it stays usable when the collection grows into new storage.
template <class T, bool IsConst> class CollectionIterator
{
public:
    using CollectionType = std::conditional_t<IsConst, const Collection<T>, Collection<T>>;
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<IsConst, const T*, T*>;
    using reference = std::conditional_t<IsConst, const T&, T&>;

    CollectionIterator() = default;
    CollectionIterator(CollectionType* collection, int32_t index) : collection_(collection), index_(index) {}

    // A mutable iterator converts to a constant one.
    template <bool OtherConst, class = std::enable_if_t<IsConst && !OtherConst>>
    CollectionIterator(const CollectionIterator<T, OtherConst>& other)
        : collection_(other.getCollection()), index_(other.getIndex())
    {}

    CollectionType* getCollection() const { return collection_; }
    int32_t getIndex() const { return index_; }

    reference operator*() const { return (*collection_)[index_]; }
    pointer operator->() const { return &(*collection_)[index_]; }
    reference operator[](difference_type offset) const
    {
        return (*collection_)[index_ + static_cast<int32_t>(offset)];
    }

    CollectionIterator& operator++()
    {
        ++index_;
        return *this;
    }
    CollectionIterator operator++(int)
    {
        CollectionIterator old = *this;
        ++index_;
        return old;
    }
    CollectionIterator& operator--()
    {
        --index_;
        return *this;
    }
    CollectionIterator operator--(int)
    {
        CollectionIterator old = *this;
        --index_;
        return old;
    }
    CollectionIterator& operator+=(difference_type offset)
    {
        index_ += static_cast<int32_t>(offset);
        return *this;
    }
    CollectionIterator& operator-=(difference_type offset)
    {
        index_ -= static_cast<int32_t>(offset);
        return *this;
    }
    friend CollectionIterator operator+(CollectionIterator it, difference_type offset)
    {
        return it += offset;
    }
    friend CollectionIterator operator+(difference_type offset, CollectionIterator it)
    {
        return it += offset;
    }
    friend CollectionIterator operator-(CollectionIterator it, difference_type offset)
    {
        return it -= offset;
    }
    friend difference_type operator-(const CollectionIterator& a, const CollectionIterator& b)
    {
        return static_cast<difference_type>(a.index_) - b.index_;
    }

    friend bool operator==(const CollectionIterator& a, const CollectionIterator& b)
    {
        return a.collection_ == b.collection_ && a.index_ == b.index_;
    }
    friend bool operator!=(const CollectionIterator& a, const CollectionIterator& b) { return !(a == b); }
    friend bool operator<(const CollectionIterator& a, const CollectionIterator& b)
    {
        return a.index_ < b.index_;
    }
    friend bool operator>(const CollectionIterator& a, const CollectionIterator& b) { return b < a; }
    friend bool operator<=(const CollectionIterator& a, const CollectionIterator& b) { return !(b < a); }
    friend bool operator>=(const CollectionIterator& a, const CollectionIterator& b) { return !(a < b); }

private:
    CollectionType* collection_ = nullptr;
    int32_t index_ = 0;
};

// The growable array that the engine and the ANT library keep their lists in. It owns its storage and
// its elements (copies of values, owning pointers that hold references, or raw pointers that own
// nothing). Elements are copied in and out by assignment (or moved in, when given as temporaries) and
// moved within the storage as it grows or shifts; elements that are plain bytes (numbers, raw pointers,
// records of them) are copied, moved and cleared as whole blocks of memory, which is the same thing
// done at once. Every storage slot beyond the size holds a default value, so owning pointers
// never keep stray references. Storage is never given back while the collection lives. Not
// thread-safe: a collection belongs to the thread that uses it.
template <class T> class Collection
{
public:
    using iterator = CollectionIterator<T, false>;
    using const_iterator = CollectionIterator<T, true>;
    using value_type = T;

    Collection() : begin_(this, 0), end_(this, 0) {}

    Collection(const Collection& other) : begin_(this, 0), end_(this, 0) { copyFrom(other); }

    Collection& operator=(const Collection& other)
    {
        if (this != &other) {
            copyFrom(other);
        }
        return *this;
    }

    ~Collection() { delete[] data_; }

    int32_t size() const { return size_; }
    int32_t capacity() const { return capacity_; }

    T& operator[](int32_t index)
    {
        assert(index >= 0 && index < capacity_ + 1 && data_ != nullptr);
        return data_[index];
    }
    const T& operator[](int32_t index) const
    {
        assert(index >= 0 && index < capacity_ + 1 && data_ != nullptr);
        return data_[index];
    }

    iterator begin() { return begin_; }
    iterator end() { return end_; }
    const_iterator begin() const { return begin_; }
    const_iterator end() const { return end_; }

    // Appends a copy of value, growing to twice the size plus two when full.
    void add(const T& value)
    {
        if (size_ == capacity_) {
            // The value may be one of our own elements: copy it before the old storage goes.
            T copy(value);
            reserve(grownCapacity());
            data_[size_] = copy;
        } else {
            data_[size_] = value;
        }
        ++size_;
        end_ = iterator(this, size_);
    }

    // Appends value, moved in: an owning pointer's reference is handed over rather than taken anew.
    void add(T&& value)
    {
        if (size_ == capacity_) {
            // The value may be one of our own elements: take it before the old storage goes.
            T taken(std::move(value));
            reserve(grownCapacity());
            data_[size_] = std::move(taken);
        } else {
            data_[size_] = std::move(value);
        }
        ++size_;
        end_ = iterator(this, size_);
    }

    // Inserts a copy of value at position (begin to end), moving the following elements up by one.
    // Returns an iterator at the inserted element.
    iterator insert(const_iterator position, const T& value)
    {
        const int32_t index = position.getIndex();
        assert(position.getCollection() == this && index >= 0 && index <= size_);
        // The value may be one of our own elements, which growth or the move below would change.
        T copy(value);
        if (size_ == capacity_) {
            reserve(grownCapacity());
        }
        moveUp(data_ + index, size_ - index);
        data_[index] = copy;
        ++size_;
        end_ = iterator(this, size_);
        return iterator(this, index);
    }

    // Removes the element at position (begin to end - 1), moving the following ones down by one.
    // Returns an iterator at the same index, which now holds the following element or is the end.
    iterator erase(const_iterator position)
    {
        const int32_t index = position.getIndex();
        assert(position.getCollection() == this && index >= 0 && index < size_);
        moveDown(data_ + index, size_ - 1 - index);
        --size_;
        data_[size_] = T();
        end_ = iterator(this, size_);
        return iterator(this, index);
    }

    // Removes the first element equal to value. Returns false, changing nothing, when there is none.
    template <class U> bool remove(const U& value)
    {
        const int32_t index = findIndex(value);
        if (index < 0) {
            return false;
        }
        erase(const_iterator(this, index));
        return true;
    }

    // Index of the first element equal to value, or -1.
    template <class U> int32_t findIndex(const U& value) const
    {
        for (int32_t i = 0; i < size_; ++i) {
            if (detail::elementEquals(data_[i], value)) {
                return i;
            }
        }
        return -1;
    }

    // Resets every element to a default value; the storage and capacity stay.
    void clear()
    {
        fill(data_, size_, T());
        size_ = 0;
        end_ = iterator(this, 0);
    }

    // Makes room for count elements. Never shrinks.
    void reserve(int32_t count)
    {
        if (count <= capacity_) {
            return;
        }
        std::unique_ptr<T[]> storage = allocate(count);
        move(storage.get(), data_, size_);
        delete[] data_;
        data_ = storage.release();
        capacity_ = count;
        begin_ = iterator(this, 0);
        end_ = iterator(this, size_);
    }

    // Sets the size to count: growing reserves exactly count and yields default elements; shrinking
    // resets the dropped slots (last first) to default values.
    // A negative count is refused with std::invalid_argument and changes nothing.
    void resize(int32_t count)
    {
        refuseNegative(count);
        if (count > capacity_) {
            reserve(count);
        }
        resetFrom(count);
        size_ = count;
        end_ = iterator(this, size_);
    }

    // As resize(count), but the new elements are copies of value.
    void resize(int32_t count, const T& value)
    {
        refuseNegative(count);
        // The value may be one of our own elements.
        T copy(value);
        if (count > capacity_) {
            reserve(count);
        }
        resetFrom(count);
        if (count > size_) {
            fill(data_ + size_, count - size_, copy);
        }
        size_ = count;
        end_ = iterator(this, size_);
    }

private:
    static void refuseNegative(int32_t count)
    {
        if (count < 0) {
            throw std::invalid_argument("Collection size cannot be negative");
        }
    }

    int32_t grownCapacity() const
    {
        const int64_t grown = int64_t(size_) * 2 + 2;
        // One storage slot more than the capacity must still be countable in 32 bits.
        if (grown >= INT32_MAX) {
            throw std::length_error("Collection too large");
        }
        return static_cast<int32_t>(grown);
    }

    // capacity + 1 slots, each a default value (value-initialised, so numbers and raw pointers too).
    static std::unique_ptr<T[]> allocate(int32_t capacity)
    {
        return std::unique_ptr<T[]>(new T[static_cast<std::size_t>(capacity) + 1]());
    }

    // Elements that copy as their bytes (numbers, raw pointers, records of them) are copied and moved
    // by memcpy and memmove. The loops for the others work on locals: stores through an element
    // pointer may alias the collection's own members, so a loop over data_ and size_ would read both
    // again after every store.
    static constexpr bool bytewise = std::is_trivially_copyable_v<T>;

    static void copy(T* to, const T* from, int32_t count)
    {
        if (count <= 0) {
            return;
        }
        if constexpr (bytewise) {
            std::memcpy(static_cast<void*>(to), static_cast<const void*>(from),
                        sizeof(T) * static_cast<std::size_t>(count));
        } else {
            for (int32_t i = 0; i < count; ++i) {
                to[i] = from[i];
            }
        }
    }

    // As copy, but the elements are moved: those left behind hold what a move leaves (owning
    // pointers hold null), so that letting the old storage go releases nothing.
    static void move(T* to, T* from, int32_t count)
    {
        if (count <= 0) {
            return;
        }
        if constexpr (bytewise) {
            std::memcpy(static_cast<void*>(to), static_cast<const void*>(from),
                        sizeof(T) * static_cast<std::size_t>(count));
        } else {
            for (int32_t i = 0; i < count; ++i) {
                to[i] = std::move(from[i]);
            }
        }
    }

    // at[0 .. count - 1] to at[1 .. count], last first.
    static void moveUp(T* at, int32_t count)
    {
        if (count <= 0) {
            return;
        }
        if constexpr (bytewise) {
            std::memmove(static_cast<void*>(at + 1), static_cast<const void*>(at),
                         sizeof(T) * static_cast<std::size_t>(count));
        } else {
            for (int32_t i = count; i > 0; --i) {
                at[i] = std::move(at[i - 1]);
            }
        }
    }

    // at[1 .. count] to at[0 .. count - 1], first first.
    static void moveDown(T* at, int32_t count)
    {
        if (count <= 0) {
            return;
        }
        if constexpr (bytewise) {
            std::memmove(static_cast<void*>(at), static_cast<const void*>(at + 1),
                         sizeof(T) * static_cast<std::size_t>(count));
        } else {
            for (int32_t i = 0; i < count; ++i) {
                at[i] = std::move(at[i + 1]);
            }
        }
    }

    // count copies of value from at, in index order (std::fill_n is a memset for byte elements).
    static void fill(T* at, int32_t count, const T& value)
    {
        if (count > 0) {
            std::fill_n(at, count, value);
        }
    }

    // Resets the slots from count up to the size to default values, last first.
    void resetFrom(int32_t count)
    {
        T* const data = data_;
        const int32_t size = size_;
        if constexpr (bytewise) {
            fill(data + count, size - count, T());
        } else {
            for (int32_t i = size - 1; i >= count; --i) {
                data[i] = T();
            }
        }
    }

    void copyFrom(const Collection& other)
    {
        std::unique_ptr<T[]> storage;
        if (other.data_ != nullptr) {
            storage = allocate(other.capacity_);
            copy(storage.get(), other.data_, other.size_);
        }
        // Only now that the copies exist does the old storage go.
        delete[] data_;
        data_ = storage.release();
        size_ = other.size_;
        capacity_ = other.capacity_;
        begin_ = iterator(this, 0);
        end_ = iterator(this, size_);
    }

    int32_t size_ = 0;
    int32_t capacity_ = 0;
    T* data_ = nullptr;
    iterator begin_;
    iterator end_;
};

} // namespace rezezaz::core
