// The order that the catalogue's exchange sort leaves, computed fast.
//
// The exchange sort is: for each i from 0, for each k < i, exchange items k
// and i when key(k) > key(i). It sorts ascending, but it is not stable: each
// item inserted before a run of equal keys moves the first item of that run
// to the run's end. Hosts see the resulting order of duplicate entries (the
// same station in the maker's and the user's file), so it is reproduced
// exactly, in O(n log n) plus the cost of those rotations.
#ifndef STANVEX_CATALOGUE_EXCHANGE_ORDER_H
#define STANVEX_CATALOGUE_EXCHANGE_ORDER_H

#include <cstdint>
#include <vector>

namespace stanvex {

// rank[i]: the key of item i as a rank (equal keys, equal ranks; not
// negative; the work grows with the largest rank). Returns the item numbers in the order the
// exchange sort leaves them.
std::vector<int32_t> ExchangeOrder(const std::vector<int32_t>& rank);

// Ranks for items compared by less (a strict weak order over item numbers
// 0..count-1): equal items get equal ranks, ranks start at 0.
template <typename Less>
std::vector<int32_t> RanksOf(int32_t count, Less less);

}  // namespace stanvex

#include <algorithm>
#include <numeric>

namespace stanvex {

template <typename Less>
std::vector<int32_t> RanksOf(int32_t count, Less less) {
  std::vector<int32_t> items(static_cast<size_t>(count));
  std::iota(items.begin(), items.end(), 0);
  std::sort(items.begin(), items.end(), less);
  std::vector<int32_t> rank(static_cast<size_t>(count));
  int32_t current = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && less(items[i - 1], items[i])) ++current;
    rank[static_cast<size_t>(items[i])] = current;
  }
  return rank;
}

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_EXCHANGE_ORDER_H
