// SPDX-License-Identifier: MIT
#pragma once

// Debian 12's emscripten ships the libc++ of LLVM 13, which has the ranges
// concepts and views but not yet the ranges algorithms. The web build
// includes this header ahead of every source file, so the forms runtime and
// the game compile unchanged; a newer libc++ brings its own and this adds
// nothing.

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000

namespace std::ranges {

// std::ranges::find over a whole range, with an optional projection.
template <class Range, class T, class Projection = std::identity>
constexpr auto find(Range&& range, const T& value, Projection projection = {})
{
    return std::find_if(std::begin(range), std::end(range),
                        [&](auto&& element) { return std::invoke(projection, element) == value; });
}

}  // namespace std::ranges

#endif
