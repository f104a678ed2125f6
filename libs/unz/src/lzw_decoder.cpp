// The LZW decoder of compress(1) streams.
//
// Layout of a stream: three header bytes, then codes. Codes start 9 bits wide
// and are packed least significant bit first. The writer emits them in groups
// of eight (nBits bytes per group); whenever the width changes (the table
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
  uint64_t BitsLeft() const { return totalBits_ > position_ ? totalBits_ - position_ : 0; }
  // Moves position_ to the next group boundary of the current width.
  void SkipToGroupEnd() {
    const uint64_t group = static_cast<uint64_t>(bits_) * 8;
    const uint64_t used = position_ - widthStart_;
    position_ = widthStart_ + (used + group - 1) / group * group;
    widthStart_ = position_;
  }

  std::FILE* input_;
  std::FILE* output_;
  uint64_t limit_;          // most bytes written
  uint64_t written_ = 0;    // bytes written so far
  std::unique_ptr<uint8_t[]> in_{new uint8_t[kInputChunk * 2 + 16 + kInputSlack]};
  size_t inSize_ = 0;        // bytes held in in_
  uint64_t inFirst_ = 0;     // stream offset (bytes) of in_[0]
  bool ended_ = false;        // the input has no more bytes
  uint64_t totalBits_ = 0;   // the stream's length in bits, once ended_
  uint64_t position_ = 0;     // stream bit position of the next code
  uint64_t widthStart_ = 0;  // stream bit position where the current width began
  int bits_ = kInitialBits;
  std::unique_ptr<uint8_t[]> out_{new uint8_t[kOutputSize]};
  size_t outSize_ = 0;
};

bool Decoder::Fill() {
  if (ended_) return true;
  const uint64_t byte = position_ >> 3;
  const uint64_t heldEnd = inFirst_ + inSize_;
  if (byte + 3 <= heldEnd) return true;
  const size_t keep = byte < heldEnd ? static_cast<size_t>(heldEnd - byte) : 0;
  std::memmove(in_.get(), in_.get() + (inSize_ - keep), keep);
  inSize_ = keep;
  inFirst_ = heldEnd - keep;
  while (!ended_ && inFirst_ + inSize_ < byte + 3) {
    const size_t got = std::fread(in_.get() + inSize_, 1, kInputChunk, input_);
    if (got < kInputChunk) {
      if (std::ferror(input_)) return false;
      ended_ = true;
    }
    inSize_ += got;
    if (inFirst_ < byte) {
      // A group skip went past the buffered bytes: drop the padding read now.
      const size_t drop = static_cast<size_t>(std::min<uint64_t>(byte - inFirst_, inSize_));
      std::memmove(in_.get(), in_.get() + drop, inSize_ - drop);
      inSize_ -= drop;
      inFirst_ += drop;
    }
  }
  if (ended_) {
    totalBits_ = (inFirst_ + inSize_) * 8;
    std::memset(in_.get() + inSize_, 0, kInputSlack);
  }
  return true;
}

int Decoder::Flush() {
  if (outSize_ > limit_ - written_) return UNZ_TOO_LARGE;
  if (outSize_ > 0 && std::fwrite(out_.get(), 1, outSize_, output_) != outSize_)
    return UNZ_WRITE_FAILED;
  written_ += outSize_;
  outSize_ = 0;
  return 0;
}

int Decoder::Run() {
  uint8_t header[3];
  const size_t got = std::fread(header, 1, sizeof header, input_);
  if (got < sizeof header && std::ferror(input_)) return UNZ_INPUT_NOT_OPENED;
  if (got < 2 || header[0] != kMagic0 || header[1] != kMagic1) return UNZ_NOT_Z_FILE;
  if (got < 3) return UNZ_CORRUPT;
  const int maxBits = header[2] & kMaxBitsMask;
  const bool blockMode = (header[2] & kBlockModeFlag) != 0;
  if (maxBits < kInitialBits || maxBits > kLargestBits) return UNZ_CORRUPT;
  const uint32_t tableLimit = 1u << maxBits;  // entries are < tableLimit
  const uint32_t firstEntry = blockMode ? kClearCode + 1 : kClearCode;

  std::unique_ptr<Table> table(new Table());
  for (uint32_t c = 0; c < 256; ++c) {
    table->suffix[c] = static_cast<uint8_t>(c);
    table->length[c] = 1;
  }

  inFirst_ = 3;
  position_ = widthStart_ = 3 * 8;
  uint32_t nextEntry = firstEntry;
  uint32_t mask = (1u << bits_) - 1;
  // The width grows when the next entry passes maxCode. Before the largest
  // width, maxCode is the largest code of the width; at the largest width it
  // is the table size, which no entry reaches. The start is 511 whatever the
  // largest width, so a stream limited to 9 bits goes on in 10-bit codes once
  // its table is full (the rule of the classic reader).
  uint32_t maxCode = mask;
  int32_t previous = -1;   // the previous code; -1 at the start and after a clear
  uint8_t firstByte = 0;  // the first byte of the previous code's string

  for (;;) {
    if (nextEntry > maxCode) {
      SkipToGroupEnd();
      ++bits_;
      mask = (1u << bits_) - 1;
      maxCode = bits_ >= maxBits ? tableLimit : mask;
    }
    if (!Fill()) return UNZ_INPUT_NOT_OPENED;
    if (ended_ && BitsLeft() < static_cast<uint64_t>(bits_)) {
      // The writer pads the last code to a whole byte; a whole byte or more
      // that is not a code means the stream was cut inside a code.
      if (position_ < totalBits_ && BitsLeft() >= 8) return UNZ_CORRUPT;
      break;
    }
    const uint8_t* p = in_.get() + ((position_ >> 3) - inFirst_);
    const uint32_t word =
        p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
    uint32_t code = (word >> (position_ & 7)) & mask;
    position_ += static_cast<uint64_t>(bits_);

    if (previous < 0) {
      if (code >= 256) return UNZ_CORRUPT;
      if (outSize_ == kOutputSize) {
        if (const int flushed = Flush()) return flushed;
      }
      out_[outSize_++] = static_cast<uint8_t>(code);
      previous = static_cast<int32_t>(code);
      firstByte = static_cast<uint8_t>(code);
      continue;
    }
    if (blockMode && code == kClearCode) {
      SkipToGroupEnd();
      bits_ = kInitialBits;
      mask = (1u << bits_) - 1;
      maxCode = mask;
      nextEntry = firstEntry;
      previous = -1;
      continue;
    }

    const uint32_t thisCode = code;
    uint32_t length;
    bool repeatFirst = false;  // the code is the entry being defined right now
    if (code >= nextEntry) {
      if (code > nextEntry || nextEntry >= tableLimit) return UNZ_CORRUPT;
      code = static_cast<uint32_t>(previous);
      length = table->length[code] + 1u;
      repeatFirst = true;
    } else {
      length = table->length[code];
    }
    if (kOutputSize - outSize_ < length) {
      if (const int flushed = Flush()) return flushed;
    }
    uint8_t* start = out_.get() + outSize_;
    uint8_t* q = start + length - 1;
    if (repeatFirst) *q-- = firstByte;
    while (code >= 256) {
      *q-- = table->suffix[code];
      code = table->prefix[code];
    }
    *q = static_cast<uint8_t>(code);
    outSize_ += length;
    firstByte = *start;

    if (nextEntry < tableLimit) {
      table->prefix[nextEntry] = static_cast<uint16_t>(previous);
      table->suffix[nextEntry] = firstByte;
      table->length[nextEntry] = static_cast<uint16_t>(table->length[previous] + 1u);
      ++nextEntry;
    }
    previous = static_cast<int32_t>(thisCode);
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
