// Calls f(k) for k = 0 .. Count - 1 in order, each k a
// std::integral_constant: a loop the compiler writes out, whose k can
// choose constants (a divisor, an array slot).
#ifndef EACH_INDEX_H
#define EACH_INDEX_H

#include <cstddef>
#include <type_traits>
#include <utility>

template <size_t... K, typename F>
inline void eachIndexOf(std::index_sequence<K...>, F f)
{
    (f(std::integral_constant<size_t, K>()), ...);
}

template <size_t Count, typename F>
inline void forEachIndex(F f)
{
    eachIndexOf(std::make_index_sequence<Count>(), f);
}

#endif
