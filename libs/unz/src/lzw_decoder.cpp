// The LZW decoder of compress(1) streams.
//
// Layout of a stream: three header bytes, then codes. Codes start 9 bits wide
// and are packed least significant bit first. The writer emits them in groups
// of eight (n_bits bytes per group); whenever the width changes (the table
// outgrew the width, or a clear code in block mode reset it) the rest of the
// current group is padding, and the next code starts at the next group
// boundary counted from where the previous width began.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "unz.h"

namespace {

constexpr uint8_t kMagic0 = 0x1f;
constexpr uint8_t kMagic1 = 0x9d;
constexpr uint8_t kMaxBitsMask = 0x1f;
constexpr uint8_t kBlockModeFlag = 0x80;
constexpr int kInitialBits = 9;
constexpr int kLargestBits = 16;
constexpr uint32_t kClearCode = 256;
constexpr uint32_t kTableSize = 1u << kLargestBits;

constexpr size_t kInputChunk = 1u << 16;
// Room kept zeroed after the data so a 3-byte code fetch never leaves the buffer.
constexpr size_t kInputSlack = 4;
constexpr size_t kOutputSize = 1u << 18;

// The string table. Entry e (e >= 256) is the string of prefix[e] followed by
// suffix[e]; length[e] is its length. Every entry's prefix is a smaller code,
// so a walk down the prefixes always ends at a literal.
struct Table {
  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint16_t length[kTableSize];
};

class Decoder {
 public:
  Decoder(std::FILE* input, std::FILE* output, uint64_t limit)
      : input_(input), output_(output), limit_(limit) {}
  int Run();

 private:
  // Makes at least 3 bytes from the byte holding bit position_ available in
  // the buffer unless the input has ended. False on a read error.
  bool Fill();
  // Writes the buffered output; 0, UNZ_WRITE_FAILED or UNZ_TOO_LARGE.
  int Flush();
  // Bits of input not yet consumed (valid once the input has ended).
  uint64_t BitsLeft() const { return total_bits_ > position_ ? total_bits_ - position_ : 0; }
  // Moves position_ to the next group boundary of the current width.
  void SkipToGroupEnd() {
    const uint64_t group = static_cast<uint64_t>(bits_) * 8;
    const uint64_t used = position_ - width_start_;
    position_ = width_start_ + (used + group - 1) / group * group;
    width_start_ = position_;
  }

  std::FILE* input_;
  std::FILE* output_;
  uint64_t limit_;          // most bytes written
  uint64_t written_ = 0;    // bytes written so far
  std::unique_ptr<uint8_t[]> in_{new uint8_t[kInputChunk * 2 + 16 + kInputSlack]};
  size_t in_size_ = 0;        // bytes held in in_
  uint64_t in_first_ = 0;     // stream offset (bytes) of in_[0]
  bool ended_ = false;        // the input has no more bytes
  uint64_t total_bits_ = 0;   // the stream's length in bits, once ended_
  uint64_t position_ = 0;     // stream bit position of the next code
  uint64_t width_start_ = 0;  // stream bit position where the current width began
  int bits_ = kInitialBits;
  std::unique_ptr<uint8_t[]> out_{new uint8_t[kOutputSize]};
  size_t out_size_ = 0;
};

bool Decoder::Fill() {
  if (ended_) return true;
  const uint64_t byte = position_ >> 3;
  const uint64_t held_end = in_first_ + in_size_;
  if (byte + 3 <= held_end) return true;
  const size_t keep = byte < held_end ? static_cast<size_t>(held_end - byte) : 0;
  std::memmove(in_.get(), in_.get() + (in_size_ - keep), keep);
  in_size_ = keep;
  in_first_ = held_end - keep;
  while (!ended_ && in_first_ + in_size_ < byte + 3) {
    const size_t got = std::fread(in_.get() + in_size_, 1, kInputChunk, input_);
    if (got < kInputChunk) {
      if (std::ferror(input_)) return false;
      ended_ = true;
    }
    in_size_ += got;
    if (in_first_ < byte) {
      // A group skip went past the buffered bytes: drop the padding read now.
      const size_t drop = static_cast<size_t>(std::min<uint64_t>(byte - in_first_, in_size_));
      std::memmove(in_.get(), in_.get() + drop, in_size_ - drop);
      in_size_ -= drop;
      in_first_ += drop;
    }
  }
  if (ended_) {
    total_bits_ = (in_first_ + in_size_) * 8;
    std::memset(in_.get() + in_size_, 0, kInputSlack);
  }
  return true;
}

int Decoder::Flush() {
  if (out_size_ > limit_ - written_) return UNZ_TOO_LARGE;
  if (out_size_ > 0 && std::fwrite(out_.get(), 1, out_size_, output_) != out_size_)
    return UNZ_WRITE_FAILED;
  written_ += out_size_;
  out_size_ = 0;
  return 0;
}

int Decoder::Run() {
  uint8_t header[3];
  const size_t got = std::fread(header, 1, sizeof header, input_);
  if (got < sizeof header && std::ferror(input_)) return UNZ_INPUT_NOT_OPENED;
  if (got < 2 || header[0] != kMagic0 || header[1] != kMagic1) return UNZ_NOT_Z_FILE;
  if (got < 3) return UNZ_CORRUPT;
  const int max_bits = header[2] & kMaxBitsMask;
  const bool block_mode = (header[2] & kBlockModeFlag) != 0;
  if (max_bits < kInitialBits || max_bits > kLargestBits) return UNZ_CORRUPT;
  const uint32_t table_limit = 1u << max_bits;  // entries are < table_limit
  const uint32_t first_entry = block_mode ? kClearCode + 1 : kClearCode;

  std::unique_ptr<Table> table(new Table());
  for (uint32_t c = 0; c < 256; ++c) {
    table->suffix[c] = static_cast<uint8_t>(c);
    table->length[c] = 1;
  }

  in_first_ = 3;
  position_ = width_start_ = 3 * 8;
  uint32_t next_entry = first_entry;
  uint32_t mask = (1u << bits_) - 1;
  // The width grows when the next entry passes max_code. Before the largest
  // width, max_code is the largest code of the width; at the largest width it
  // is the table size, which no entry reaches. The start is 511 whatever the
  // largest width, so a stream limited to 9 bits goes on in 10-bit codes once
  // its table is full (the rule of the classic reader).
  uint32_t max_code = mask;
  int32_t previous = -1;   // the previous code; -1 at the start and after a clear
  uint8_t first_byte = 0;  // the first byte of the previous code's string

  for (;;) {
    if (next_entry > max_code) {
      SkipToGroupEnd();
      ++bits_;
      mask = (1u << bits_) - 1;
      max_code = bits_ >= max_bits ? table_limit : mask;
    }
    if (!Fill()) return UNZ_INPUT_NOT_OPENED;
    if (ended_ && BitsLeft() < static_cast<uint64_t>(bits_)) {
      // The writer pads the last code to a whole byte; a whole byte or more
      // that is not a code means the stream was cut inside a code.
      if (position_ < total_bits_ && BitsLeft() >= 8) return UNZ_CORRUPT;
      break;
    }
    const uint8_t* p = in_.get() + ((position_ >> 3) - in_first_);
    const uint32_t word =
        p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    uint32_t code = (word >> (position_ & 7)) & mask;
    position_ += static_cast<uint64_t>(bits_);

    if (previous < 0) {
      if (code >= 256) return UNZ_CORRUPT;
      if (out_size_ == kOutputSize) {
        if (const int flushed = Flush()) return flushed;
      }
      out_[out_size_++] = static_cast<uint8_t>(code);
      previous = static_cast<int32_t>(code);
      first_byte = static_cast<uint8_t>(code);
      continue;
    }
    if (block_mode && code == kClearCode) {
      SkipToGroupEnd();
      bits_ = kInitialBits;
      mask = (1u << bits_) - 1;
      max_code = mask;
      next_entry = first_entry;
      previous = -1;
      continue;
    }

    const uint32_t this_code = code;
    uint32_t length;
    bool repeat_first = false;  // the code is the entry being defined right now
    if (code >= next_entry) {
      if (code > next_entry || next_entry >= table_limit) return UNZ_CORRUPT;
      code = static_cast<uint32_t>(previous);
      length = table->length[code] + 1u;
      repeat_first = true;
    } else {
      length = table->length[code];
    }
    if (kOutputSize - out_size_ < length) {
      if (const int flushed = Flush()) return flushed;
    }
    uint8_t* start = out_.get() + out_size_;
    uint8_t* q = start + length - 1;
    if (repeat_first) *q-- = first_byte;
    while (code >= 256) {
      *q-- = table->suffix[code];
      code = table->prefix[code];
    }
    *q = static_cast<uint8_t>(code);
    out_size_ += length;
    first_byte = *start;

    if (next_entry < table_limit) {
      table->prefix[next_entry] = static_cast<uint16_t>(previous);
      table->suffix[next_entry] = first_byte;
      table->length[next_entry] = static_cast<uint16_t>(table->length[previous] + 1u);
      ++next_entry;
    }
    previous = static_cast<int32_t>(this_code);
  }
  return Flush();
}

}  // namespace

extern "C" UNZ_API int UnzDecompressStreamLimited(std::FILE* input, std::FILE* output,
                                                  unsigned long long limit) {
  if (input == nullptr) return UNZ_INPUT_NOT_OPENED;
  if (output == nullptr) return UNZ_OUTPUT_NOT_OPENED;
  Decoder decoder(input, output, limit);
  return decoder.Run();
}

extern "C" UNZ_API int UnzDecompressStream(std::FILE* input, std::FILE* output) {
  return UnzDecompressStreamLimited(input, output, UNZ_MAX_OUTPUT);
}
