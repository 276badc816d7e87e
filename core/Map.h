#pragma once

#include "core/Collection.h"
#include "core/Pair.h"

#include <functional>

namespace rezezaz::core {

// A sorted associative array: a Collection of Pairs kept in ascending key order with no two equal
// keys. Keys are ordered by their less-than (strings by string order, integers as signed numbers,
// pointers by address); two keys are equal when neither is less. Size, iteration and erase are those
// of the collection; element access by index is pairAt(), since operator[] looks a key up.
template <class K, class V> class Map : public Collection<Pair<K, V>>
{
    using Base = Collection<Pair<K, V>>;

public:
    using typename Base::const_iterator;
    using typename Base::iterator;

    // The value of key, inserting key with a default value in sorted position when it is absent.
    V& operator[](const K& key)
    {
        const int32_t index = lowerBound(key);
        if (index == this->size() || less(key, Base::operator[](index).key)) {
            Base::insert(const_iterator(this, index), Pair<K, V>(key, V()));
        }
        return Base::operator[](index).value;
    }

    // Sets the value of key: an existing key keeps its place and takes the new value.
    void add(const K& key, const V& value)
    {
        // The value may live in this map's own storage, which the insertion may move.
        V copy(value);
        (*this)[key] = copy;
    }

    // The position of key, or the end when it is absent.
    iterator lookup(const K& key) { return iterator(this, find(key)); }
    const_iterator lookup(const K& key) const { return const_iterator(this, find(key)); }

    Pair<K, V>& pairAt(int32_t index) { return Base::operator[](index); }
    const Pair<K, V>& pairAt(int32_t index) const { return Base::operator[](index); }

private:
    static bool less(const K& a, const K& b) { return std::less<K>()(a, b); }

    // The first index whose key is not less than key, or the size.
    int32_t lowerBound(const K& key) const
    {
        int32_t low = 0;
        int32_t high = this->size();
        while (low != high) {
            const int32_t middle = low + (high - low) / 2;
            if (less(Base::operator[](middle).key, key)) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }

    int32_t find(const K& key) const
    {
        const int32_t index = lowerBound(key);
        if (index != this->size() && !less(key, Base::operator[](index).key)) {
            return index;
        }
        return this->size();
    }

    // Appending or inserting anywhere would break the order.
    using Base::add;
    using Base::insert;
    using Base::remove;
    using Base::resize;
};

} // namespace rezezaz::core
