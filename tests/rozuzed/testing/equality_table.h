// Checks a type's operator== and its hash together, from a table of values:
// a record's base value with each field changed in turn, or one value per
// case of a sum type. A hash that is constant, or that leaves out a field the
// table changes, fails the check.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace rozuzed::testing {

template <class T>
struct Labelled {
  std::string label;
  T value;
};

// A copy of `value` with `change` applied to it.
template <class T, class Change>
T changed(T value, Change change) {
  change(value);
  return value;
}

// Every value equals a copy of itself and hashes like it, and differs from
// every other value of the table, in equality and in hash.
template <class T, class Hash = std::hash<T>>
void expectDistinctValuesAndHashes(const std::vector<Labelled<T>>& table, Hash hash = {}) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Labelled<T>& a = table[i];
    const T copy = a.value;
    EXPECT_TRUE(copy == a.value) << a.label;
    EXPECT_EQ(hash(copy), hash(a.value)) << a.label;
    for (std::size_t j = i + 1; j < table.size(); ++j) {
      const Labelled<T>& b = table[j];
      EXPECT_FALSE(a.value == b.value) << a.label << " and " << b.label;
      EXPECT_FALSE(b.value == a.value) << b.label << " and " << a.label;
      EXPECT_NE(hash(a.value), hash(b.value)) << a.label << " and " << b.label;
    }
  }
}

// Values built differently that are equal (0.0 and -0.0, composed and
// decomposed text) also hash alike.
template <class T, class Hash = std::hash<T>>
void expectEqualWithEqualHashes(const T& a, const T& b, Hash hash = {}) {
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(b == a);
  EXPECT_EQ(hash(a), hash(b));
}

}  // namespace rozuzed::testing
