#pragma once

namespace rezezaz::core {

// A key and its value, as a Map keeps them. Both start as default values (0 for numbers, null for
// pointers).
template <class K, class V> struct Pair
{
    K key{};
    V value{};

    Pair() = default;
    Pair(const K& k, const V& v) : key(k), value(v) {}
};

} // namespace rezezaz::core
