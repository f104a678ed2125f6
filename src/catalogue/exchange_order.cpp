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

}  // namespace

// An arriving item passes over every item of lower or equal key, takes the
// place of the first item of a higher key, and that item in turn takes the
// place of the first item of the next higher key, and so on: the arrival is
// appended to the run of its own key, and the run of every higher key moves
// its first item to its end.
//
// Each run is a queue kept in a ring of its own slice of one buffer, sized
// by the number of items of that key. The moves a run owes are settled when
// it next grows and at the end; whole turns change nothing, so settling costs
// at most one step per arrival and never more than the run's length.
std::vector<int32_t> ExchangeOrder(const std::vector<int32_t>& rank) {
  size_t n = rank.size();
  size_t ranks = 0;
  for (int32_t r : rank) ranks = std::max(ranks, static_cast<size_t>(r) + 1);

  std::vector<size_t> start(ranks + 1, 0);
  for (int32_t r : rank) ++start[static_cast<size_t>(r) + 1];
  for (size_t r = 0; r < ranks; ++r) start[r + 1] += start[r];
  std::vector<int32_t> ring(n);
  std::vector<size_t> head(ranks, 0), size(ranks, 0);
  std::vector<int64_t> smaller_seen(ranks, 0);

  auto settle = [&](size_t r, int64_t smaller_now) {
    size_t capacity = start[r + 1] - start[r];
    if (size[r] > 1) {
      int64_t moves = (smaller_now - smaller_seen[r]) % static_cast<int64_t>(size[r]);
      int32_t* slots = ring.data() + start[r];
      for (int64_t m = 0; m < moves; ++m) {
        if (size[r] < capacity) slots[(head[r] + size[r]) % capacity] = slots[head[r]];
        head[r] = (head[r] + 1) % capacity;
      }
    }
    smaller_seen[r] = smaller_now;
  };

  RankCounter counter(ranks);
  for (size_t i = 0; i < n; ++i) {
    size_t r = static_cast<size_t>(rank[i]);
    settle(r, counter.Below(rank[i]));
    size_t capacity = start[r + 1] - start[r];
    ring[start[r] + (head[r] + size[r]) % capacity] = static_cast<int32_t>(i);
    ++size[r];
    counter.Add(rank[i]);
  }

  std::vector<int32_t> order;
  order.reserve(n);
  for (size_t r = 0; r < ranks; ++r) {
    if (size[r] == 0) continue;
    settle(r, counter.Below(static_cast<int32_t>(r)));
    for (size_t k = 0; k < size[r]; ++k) order.push_back(ring[start[r] + (head[r] + k) % size[r]]);
  }
  return order;
}

}  // namespace stanvex
