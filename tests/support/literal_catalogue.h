// The catalogue's station sort and closest-station search exactly as the host
// contract words them: quadratic exchange procedures, kept as references that
// the fast versions are checked and timed against.
#ifndef STANVEX_TESTS_SUPPORT_LITERAL_CATALOGUE_H
#define STANVEX_TESTS_SUPPORT_LITERAL_CATALOGUE_H

#include <cctype>
#include <cstddef>
#include <utility>
#include <vector>

#include "stanvex.h"

namespace stanvex::testing {

inline int LiteralCompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb || ca == 0) return ca - cb;
  }
}

// Two quadratic passes that exchange whole records: by service, then by
// name within a service.
inline void LiteralExchangeSort(std::vector<StationRecord>& s) {
  for (size_t i = 0; i < s.size(); ++i)
    for (size_t k = 0; k < i; ++k)
      if (LiteralCompareNoCase(s[k].serv, s[i].serv) > 0) std::swap(s[k], s[i]);
  for (size_t i = 0; i < s.size(); ++i)
    for (size_t k = 0; k < i; ++k)
      if (LiteralCompareNoCase(s[k].serv, s[i].serv) == 0 &&
          LiteralCompareNoCase(s[k].sName, s[i].sName) > 0)
        std::swap(s[k], s[i]);
}

// The closest-station search over count stations, distanceOf(i) giving the
// distance of station i: append while there is room, then replace the last
// entry of the full list, re-sorting the whole list with the quadratic
// exchange sort after every change. Returns (index, distance), nearest first.
template <typename DistanceOf>
std::vector<std::pair<size_t, double>> LiteralSearch(size_t count, DistanceOf distanceOf,
                                                     double max, size_t wanted) {
  std::vector<std::pair<size_t, double>> list;
  auto sort = [&] {
    for (size_t j = 1; j < list.size(); ++j)
      for (size_t k = 0; k < j; ++k)
        if (list[k].second > list[j].second) std::swap(list[k], list[j]);
  };
  bool sorted = false;
  for (size_t i = 0; i < count; ++i) {
    double d = distanceOf(i);
    if (list.size() < wanted) {
      if (d <= max) list.push_back({i, d}), sorted = false;
      continue;
    }
    if (!sorted) sort(), sorted = true;
    if (d < list.back().second) list.back() = {i, d}, sort();
  }
  if (!sorted) sort();
  return list;
}

}  // namespace stanvex::testing

#endif  // STANVEX_TESTS_SUPPORT_LITERAL_CATALOGUE_H
