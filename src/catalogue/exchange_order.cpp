#include "catalogue/exchange_order.h"

#include <algorithm>

namespace stanvex {

namespace {

// Counts of items seen per rank, with prefix sums in O(log n).
class RankCounter {
 public:
  explicit RankCounter(size_t size) : tree_(size + 1, 0) {}
  void Add(int32_t rank) {
    for (size_t i = static_cast<size_t>(rank) + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
  }
  // Items seen with a rank below rank.
  int64_t Below(int32_t rank) const {
    int64_t total = 0;
    for (size_t i = static_cast<size_t>(rank); i > 0; i -= i & (~i + 1)) total += tree_[i];
    return total;
  }

 private:
  std::vector<int64_t> tree_;
};

// The items of one key, as a ring: the logical order starts at head.
struct Run {
  std::vector<int32_t> items;
  size_t head = 0;
  int64_t smaller_seen = 0;  // items of lower rank seen at the last update

  // Every item of lower rank that arrived since the last update moved this
  // run's first item to its end.
  void CatchUp(int64_t smaller_now) {
    if (!items.empty()) {
      int64_t moves = smaller_now - smaller_seen;
      head = static_cast<size_t>((static_cast<int64_t>(head) + moves) %
                                 static_cast<int64_t>(items.size()));
    }
    smaller_seen = smaller_now;
  }
  void Append(int32_t item) {
    if (head != 0) {
      std::rotate(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(head), items.end());
      head = 0;
    }
    items.push_back(item);
  }
};

}  // namespace

// An arriving item passes over every item of lower or equal key, takes the
// place of the first item of a higher key, and that item in turn takes the
// place of the first item of the next higher key, and so on: the arrival is
// appended to its own run, and every run of a higher key rotates by one.
std::vector<int32_t> ExchangeOrder(const std::vector<int32_t>& rank) {
  size_t n = rank.size();
  size_t ranks = 0;
  for (int32_t r : rank) ranks = std::max(ranks, static_cast<size_t>(r) + 1);
  std::vector<Run> runs(ranks);
  RankCounter counter(ranks);
  for (size_t i = 0; i < n; ++i) {
    int32_t r = rank[i];
    Run& run = runs[static_cast<size_t>(r)];
    run.CatchUp(counter.Below(r));
    run.Append(static_cast<int32_t>(i));
    counter.Add(r);
  }
  std::vector<int32_t> order;
  order.reserve(n);
  for (size_t r = 0; r < ranks; ++r) {
    Run& run = runs[r];
    if (run.items.empty()) continue;
    run.CatchUp(counter.Below(static_cast<int32_t>(r)));
    for (size_t k = 0; k < run.items.size(); ++k)
      order.push_back(run.items[(run.head + k) % run.items.size()]);
  }
  return order;
}

}  // namespace stanvex
