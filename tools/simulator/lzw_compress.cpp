#include "lzw_compress.h"

#include <cstdint>
#include <vector>

namespace stanvex::sim {
namespace {

constexpr int kInitBits = 9;
constexpr int kMaxBits = 16;
constexpr int32_t kMaxMaxCode = 1 << kMaxBits;  // codes stop being added here
constexpr int32_t kClearCode = 256;
constexpr int32_t kFirstFree = 257;
constexpr int64_t kCheckGap = 10000;  // input bytes between ratio checks
constexpr size_t kHashSize = 1 << 18;

class CodeWriter {
 public:
  explicit CodeWriter(std::string* out) : out_(out) {}

  int bits() const { return bits_; }
  int32_t maxCode() const { return maxCode_; }

  // Appends code at the current width. Afterwards, when the next free code
  // no longer fits (or a clear was sent), the group is filled out and the
  // width changes, because the reader only notices the change at a group
  // boundary.
  void Put(int32_t code, int32_t nextFree, bool clearing) {
    for (int i = 0; i < bits_; ++i) {
      if (code & (1 << i)) group_[(offset_ + i) >> 3] |= static_cast<uint8_t>(1u << ((offset_ + i) & 7));
    }
    offset_ += bits_;
    if (offset_ == bits_ * 8) EmitGroup(bits_);
    if (nextFree > maxCode_ || clearing) {
      if (offset_ > 0) EmitGroup(bits_);
      if (clearing) {
        bits_ = kInitBits;
      } else {
        ++bits_;
      }
      maxCode_ = bits_ == kMaxBits ? kMaxMaxCode : (1 << bits_) - 1;
    }
  }

  void Flush() {
    if (offset_ > 0) EmitGroup((offset_ + 7) / 8);
  }
  int64_t bytesOut() const { return static_cast<int64_t>(out_->size()); }

 private:
  void EmitGroup(int bytes) {
    out_->append(reinterpret_cast<const char*>(group_), static_cast<size_t>(bytes));
    for (uint8_t& b : group_) b = 0;
    offset_ = 0;
  }

  std::string* out_;
  uint8_t group_[kMaxBits] = {};
  int offset_ = 0;  // bits used in the group
  int bits_ = kInitBits;
  int32_t maxCode_ = (1 << kInitBits) - 1;
};

// (prefix code, next byte) -> code, open addressing.
class StringTable {
 public:
  StringTable() : keys_(kHashSize, -1), codes_(kHashSize, 0) {}
  void Clear() { std::fill(keys_.begin(), keys_.end(), -1); }
  // Slot of key: either holding it or empty.
  size_t Slot(int32_t key) const {
    size_t i = (static_cast<uint32_t>(key) * 2654435761u) & (kHashSize - 1);
    while (keys_[i] != -1 && keys_[i] != key) i = (i + 1) & (kHashSize - 1);
    return i;
  }
  bool Holds(size_t slot) const { return keys_[slot] != -1; }
  int32_t Code(size_t slot) const { return codes_[slot]; }
  void Set(size_t slot, int32_t key, int32_t code) {
    keys_[slot] = key;
    codes_[slot] = code;
  }

 private:
  std::vector<int32_t> keys_;
  std::vector<int32_t> codes_;
};

}  // namespace

std::string CompressZ(const std::string& data) {
  std::string out;
  out.push_back(static_cast<char>(0x1f));
  out.push_back(static_cast<char>(0x9d));
  out.push_back(static_cast<char>(0x80 | kMaxBits));  // block mode, 16-bit codes
  if (data.empty()) return out;

  CodeWriter writer(&out);
  StringTable table;
  int32_t nextFree = kFirstFree;
  int64_t inCount = 1;
  int64_t checkpoint = kCheckGap;
  double bestRatio = 0;
  int32_t prefix = static_cast<uint8_t>(data[0]);

  for (size_t i = 1; i < data.size(); ++i) {
    const int32_t c = static_cast<uint8_t>(data[i]);
    ++inCount;
    const int32_t key = (prefix << 8) | c;
    const size_t slot = table.Slot(key);
    if (table.Holds(slot)) {
      prefix = table.Code(slot);
      continue;
    }
    writer.Put(prefix, nextFree, false);
    prefix = c;
    if (nextFree < kMaxMaxCode) {
      table.Set(slot, key, nextFree++);
    } else if (inCount >= checkpoint) {
      // The table is full: start afresh when the ratio stops improving.
      checkpoint = inCount + kCheckGap;
      const double ratio = static_cast<double>(inCount) /
                           static_cast<double>(writer.bytesOut() > 0 ? writer.bytesOut() : 1);
      if (ratio > bestRatio) {
        bestRatio = ratio;
      } else {
        bestRatio = 0;
        table.Clear();
        nextFree = kFirstFree;
        writer.Put(kClearCode, nextFree, true);
      }
    }
  }
  writer.Put(prefix, nextFree, false);
  writer.Flush();
  return out;
}

}  // namespace stanvex::sim
