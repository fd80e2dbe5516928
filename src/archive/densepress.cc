#include "archive/densepress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "archive/crc32.h"

namespace sk {
namespace {

// Stream layout, all numbers little-endian:
//   offset 0   uint32  CRC-32 of bytes 4 to the end of the stream
//   offset 4   uint32  pass count n (1 to kMaxPasses)
//   offset 8   uint32  body length B; the stream is 12 + B bytes
//   offset 12  B bytes: the output of the last pass
constexpr int32_t kStreamHeaderSize = 12;
constexpr int32_t kCrcOffset = 0;
constexpr int32_t kPassCountOffset = 4;
constexpr int32_t kBodyLengthOffset = 8;

// Output of one pass over an input of L bytes:
//   offset 0   uint16  L, which is also what undoing the pass produces
//   offset 2   uint8   marker: a byte value that does not occur in the input
//   offset 3   uint16  the replaced pair, its first byte in the low half
//   offset 5   the input, every replaced pair written as the marker
// The input of every pass after the first is the whole output of the one before.
constexpr int32_t kPassHeaderSize = 5;

constexpr int32_t kMaxShortInput = 16;    // no pass runs on this little data
constexpr int32_t kMaxPassInput = 65535;  // L must fit its uint16 field
// Every pass takes a byte value that no earlier pass used, so no stream has more passes.
constexpr uint32_t kMaxPasses = 256;
// A pass that gains less than this (per cent of its input) lowers the level of the next.
constexpr float kMinGain = 0.3f;
constexpr int32_t kMinLevel = 1;
constexpr int32_t kMaxLevel = 9;
// The first pass must also pay for the stream header.
constexpr int32_t kFirstPassAllowance = kStreamHeaderSize;

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Store32(uint8_t* p, uint32_t v) {
  Store16(p, v);
  Store16(p + 2, v >> 16);
}

// Eight bytes as a little-endian word, so that byte k of memory is bits 8k to 8k + 7.
uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

void Store64(uint8_t* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

// Pair counters, one per pair value, tagged in their high 16 bits with the pass that last
// counted them: a pass starts from zero by taking a new tag instead of clearing all 65536.
// A count never reaches 65536, since no pass input is that long.
struct DensepressScratch {
  std::array<uint32_t, 65536> pairs{};
  uint32_t tag = 0;

  uint32_t NewPassTag() {
    tag += 0x10000;
    if (tag == 0) {  // the tags have gone round: forget every old count
      pairs.fill(0);
      tag = 0x10000;
    }
    return tag;
  }
};

std::unique_ptr<DensepressScratch, void (*)(DensepressScratch*)> NewDensepressScratch() {
  return {new DensepressScratch, [](DensepressScratch* s) { delete s; }};
}

namespace {

struct PairChoice {
  int32_t count = 0;  // sampled count of the pair when counting stopped
  uint16_t pair = 0;
};

// Samples the pairs of d[0, length) and returns the first one whose count reaches threshold,
// or the most counted one if none does. At level 9 every position is sampled, except that in
// a run of equal bytes the overlapping pairs count only every second position; lower levels
// sample every (10 - level)th position.
template <bool kEveryPosition>
PairChoice CountPairs(const uint8_t* d, int32_t length, int32_t step, int32_t threshold,
                      DensepressScratch& scratch) {
  const uint32_t tag = scratch.NewPassTag();
  uint32_t* pairs = scratch.pairs.data();
  PairChoice best;
  for (int32_t i = 0; i <= length - 2;) {
    const uint32_t pair = Load16(d + i);
    const uint32_t entry = std::max(pairs[pair], tag) + 1;
    pairs[pair] = entry;
    const int32_t count = static_cast<int32_t>(entry - tag);
    if (count > best.count) {
      best = {count, static_cast<uint16_t>(pair)};
      if (count >= threshold) break;
    }
    if constexpr (kEveryPosition) {
      // A branch rather than a select: runs are rare, and a predicted branch lets the next
      // positions start before this one's bytes are compared.
      if (i + 2 < length && Load16(d + i + 1) == pair) [[unlikely]] {
        ++i;
      }
      ++i;
    } else {
      i += step;
    }
  }
  return best;
}

#if defined(__SSE2__)
// The bulk of a pass, a round of kWidth positions at a time: a mask of the positions where
// the pair starts, and the round's bytes moved with one load and one store when it has none
// (a pass replaces only a few pairs per hundred bytes, so most rounds have none). Each
// function writes from dst + o on and returns how far it got, always leaving the last
// 2 * kWidth bytes to its caller, so that no load passes length and no store passes
// length + 5.

// Writes the round at src, whose pair starts are the bits of hits, from left to right;
// a hit overlapping the pair just replaced (a run of one byte value) is dropped. The
// literals before each hit go out as one copy. Returns the positions consumed: kWidth, or
// kWidth + 1 when the last pair ends past the round.
template <int kWidth>
[[gnu::always_inline]] inline int32_t WriteRound(const uint8_t* src, uint64_t hits,
                                                 uint8_t marker, uint8_t* dst, int32_t& o) {
  int32_t done = 0;
  while (hits != 0) {
    const int32_t at = std::countr_zero(hits);
    std::memcpy(dst + o, src + done, kWidth);
    o += at - done;
    dst[o++] = marker;
    done = at + 2;
    hits &= ~uint64_t{0} << done;
  }
  if (done < kWidth) {
    std::memcpy(dst + o, src + done, kWidth);
    o += kWidth - done;
    done = kWidth;
  }
  return done;
}

int32_t EncodeSse2(const uint8_t* src, int32_t length, uint8_t marker, uint8_t first,
                   uint8_t second, uint8_t* dst, int32_t& out_length) {
  const __m128i firsts = _mm_set1_epi8(static_cast<char>(first));
  const __m128i seconds = _mm_set1_epi8(static_cast<char>(second));
  const auto load = [](const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  int32_t i = 0;
  int32_t o = out_length;  // a local: stores through dst could otherwise be taken to change it
  while (i + 32 <= length) {
    const __m128i here = load(src + i);
    const auto hits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(
        _mm_cmpeq_epi8(here, firsts), _mm_cmpeq_epi8(load(src + i + 1), seconds))));
    if (hits == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o), here);
      i += 16;
      o += 16;
    } else {
      i += WriteRound<16>(src + i, hits, marker, dst, o);
    }
  }
  out_length = o;
  return i;
}

#if defined(__x86_64__) || defined(__i386__)
// The same with 32 positions a round, for processors with AVX2 (asked once, at start-up).
[[gnu::target("avx2")]] int32_t EncodeAvx2(const uint8_t* src, int32_t length, uint8_t marker,
                                           uint8_t first, uint8_t second, uint8_t* dst,
                                           int32_t& out_length) {
  const __m256i firsts = _mm256_set1_epi8(static_cast<char>(first));
  const __m256i seconds = _mm256_set1_epi8(static_cast<char>(second));
  int32_t i = 0;
  int32_t o = out_length;
  while (i + 64 <= length) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 1));
    const auto hits = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(here, firsts), _mm256_cmpeq_epi8(next, seconds))));
    if (hits == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + o), here);
      i += 32;
      o += 32;
    } else {
      i += WriteRound<32>(src + i, hits, marker, dst, o);
    }
  }
  out_length = o;
  return i;
}

// Asked during static initialisation, which may come before the compiler's own run of
// __builtin_cpu_init: so it is run here first.
bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const bool kHasAvx2 = HasAvx2();
#endif

// Encodes as much of the pass as the widest rounds the processor has can take.
int32_t EncodeWide(const uint8_t* src, int32_t length, uint8_t marker, uint8_t first,
                   uint8_t second, uint8_t* dst, int32_t& o) {
  int32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (kHasAvx2) i = EncodeAvx2(src, length, marker, first, second, dst, o);
#endif
  return i + EncodeSse2(src + i, length - i, marker, first, second, dst, o);
}
#endif

// Writes the pass output of src[0, length) to dst and returns its length. Every pair is
// replaced from left to right; literals are moved 32 or 16 bytes at a time where the
// processor has AVX2 or SSE2 (every x86-64 one), eight bytes at a time after that. dst must hold
// length + 12 bytes: a word store may write up to 11 bytes past length, never past that,
// since the output is never more than 5 bytes ahead of the input.
int32_t EncodePass(const uint8_t* src, int32_t length, uint8_t marker, uint16_t pair,
                   uint8_t* dst) {
  Store16(dst, static_cast<uint32_t>(length));
  dst[2] = marker;
  Store16(dst + 3, pair);
  const uint8_t first = static_cast<uint8_t>(pair);
  const uint8_t second = static_cast<uint8_t>(pair >> 8);
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;
  const uint64_t firsts = kOnes * first;
  const uint64_t seconds = kOnes * second;
  int32_t o = kPassHeaderSize;  // never more than 5 ahead of i
#if defined(__SSE2__)
  int32_t i = EncodeWide(src, length, marker, first, second, dst, o);
#else
  int32_t i = 0;
#endif
  while (i + 9 <= length) {
    const uint64_t here = Load64(src + i);
    // Byte k of diff is zero where the pair starts at i + k; hits has the top bit of exactly
    // those bytes set (no carry crosses from one byte into the next).
    const uint64_t diff = (here ^ firsts) | (Load64(src + i + 1) ^ seconds);
    uint64_t hits = ~(((diff & kLows) + kLows) | diff | kLows);
    if (hits == 0) {
      Store64(dst + o, here);
      i += 8;
      o += 8;
      continue;
    }
    // Take the hits of this word from left to right; a hit overlapping the pair just
    // replaced is dropped. The literals before each hit go out as a word.
    int32_t done = 0;  // bytes of the word consumed
    while (hits != 0) {
      const int32_t at = std::countr_zero(hits) >> 3;
      Store64(dst + o, here >> (8 * done));
      o += at - done;
      dst[o++] = marker;
      done = at + 2;
      hits = done >= 8 ? 0 : hits & (~uint64_t{0} << (8 * done));
    }
    if (done < 8) {
      Store64(dst + o, here >> (8 * done));
      o += 8 - done;
      done = 8;
    }
    i += done;
  }
  while (i < length) {
    if (i + 1 < length && src[i] == first && src[i + 1] == second) {
      dst[o++] = marker;
      i += 2;
    } else {
      dst[o++] = src[i++];
    }
  }
  return o;
}

// The gain of a pass in per cent: 100 - (100 / L) * L', with 100 / L, the product and the
// result each rounded to single precision. The product of a float and a 16-bit number is
// exact in double, as is 100 minus it, so each cast below is the one rounding it stands for
// whatever the compiler does with float expressions.
float PassGain(int32_t length, int32_t packed) {
  const float per_byte = 100.0f / static_cast<float>(length);
  const float kept = static_cast<float>(static_cast<double>(per_byte) * packed);
  return static_cast<float>(100.0 - static_cast<double>(kept));
}

struct PassResult {
  bool made = false;
  int32_t length = 0;
};

class Packer {
 public:
  Packer(int32_t level, DensepressScratch& scratch) : level_(level), scratch_(scratch) {}

  // Runs every pass that pays over data[0, length); the last pass output ends up in out
  // behind the stream header. Returns the stream length or 0.
  int32_t Run(uint8_t* data, int32_t length, uint8_t* out) {
    for (int32_t i = 0; i < length; ++i) used_[data[i]] = true;
    uint8_t* current = data;
    uint8_t* next = out;
    int32_t current_length = length;
    while (true) {
      const PassResult pass = MakePass(current, current_length, next);
      if (!pass.made) break;
      std::swap(current, next);
      current_length = pass.length;
    }
    if (passes_ == 0) return 0;
    std::memmove(out + kStreamHeaderSize, current, static_cast<size_t>(current_length));
    Store32(out + kPassCountOffset, static_cast<uint32_t>(passes_));
    Store32(out + kBodyLengthOffset, static_cast<uint32_t>(current_length));
    const uint32_t crc =
        Crc32(0, out + kPassCountOffset,
              static_cast<size_t>(current_length + kStreamHeaderSize - kPassCountOffset));
    Store32(out + kCrcOffset, crc);
    return kStreamHeaderSize + current_length;
  }

 private:
  // The smallest unused byte value from the search start on, now taken; -1 when none is left.
  int32_t TakeMarker() {
    int32_t marker = marker_search_;
    while (marker < 256 && used_[marker]) ++marker;
    if (marker == 256) return -1;
    used_[marker] = true;
    marker_search_ = marker;
    return marker;
  }

  PassResult MakePass(const uint8_t* src, int32_t length, uint8_t* dst) {
    const int32_t marker = TakeMarker();
    if (marker < 0 || length <= kMaxShortInput || length > kMaxPassInput) return {};
    if (gain_ < kMinGain && level_ > kMinLevel) --level_;
    const int32_t threshold = allowance_ + 6;  // L - best + allowance + 5 < L
    const PairChoice choice =
        level_ == kMaxLevel
            ? CountPairs<true>(src, length, 1, threshold, scratch_)
            : CountPairs<false>(src, length, kMaxLevel + 1 - level_, threshold, scratch_);
    if (choice.count < threshold) return {};
    const int32_t packed = EncodePass(src, length, static_cast<uint8_t>(marker), choice.pair, dst);
    if (packed <= 0 || packed >= length) return {};
    // The bytes of L now occur in the data; the marker is taken and the pair's bytes were
    // already there.
    used_[dst[0]] = true;
    used_[dst[1]] = true;
    gain_ = PassGain(length, packed);
    ++passes_;
    allowance_ = 0;
    return {true, packed};
  }

  int32_t level_;
  DensepressScratch& scratch_;
  std::array<bool, 256> used_{};
  int32_t marker_search_ = 0;
  float gain_ = 100.0f;
  int32_t allowance_ = kFirstPassAllowance;
  int32_t passes_ = 0;
};

}  // namespace

int32_t DensepressPack(uint8_t* data, int32_t length, uint8_t* out, int32_t level,
                       DensepressScratch* scratch) {
  if (data == nullptr || out == nullptr || length <= kMaxShortInput || length > kMaxPassInput) {
    return 0;
  }
  level = std::clamp(level, kMinLevel, kMaxLevel);
  std::unique_ptr<DensepressScratch> own;
  if (scratch == nullptr) {
    own = std::make_unique<DensepressScratch>();
    scratch = own.get();
  }
  Packer packer(level, *scratch);
  return packer.Run(data, length, out);
}

namespace {

struct PassHeader {
  int32_t length = 0;
  uint8_t marker = 0;
  uint8_t pair[2] = {0, 0};
};

PassHeader ReadPassHeader(const uint8_t* p) {
  PassHeader header;
  header.length = Load16(p);
  header.marker = p[2];
  header.pair[0] = p[3];
  header.pair[1] = p[4];
  return header;
}

// Undoes one pass whose output is in[0, in_length) into out; returns the length produced,
// or -1 when the pass is damaged: its header does not fit, it needs bytes past its input,
// a marker arrives when only one byte is missing, or L exceeds the capacity.
int32_t UndoPass(const uint8_t* in, int32_t in_length, uint8_t* out, int32_t capacity) {
  if (in_length < kPassHeaderSize) return -1;
  const PassHeader header = ReadPassHeader(in);
  if (header.length > capacity) return -1;
  int32_t i = kPassHeaderSize;
  int32_t o = 0;
  while (o < header.length) {
    if (i >= in_length) return -1;
    const uint8_t byte = in[i++];
    if (byte != header.marker) {
      out[o++] = byte;
    } else if (header.length - o >= 2) {
      out[o++] = header.pair[0];
      out[o++] = header.pair[1];
    } else {
      return -1;
    }
  }
  return header.length;
}

// Undoes the passes one by one, alternating between out and the stream's own buffer. This
// decides every stream the expander below leaves open; those are never written by the
// packer, so their speed does not matter.
int32_t UnpackPassByPass(uint8_t* stream, int32_t body_length, uint32_t passes, uint8_t* out,
                         int32_t capacity) {
  const uint8_t* in = stream + kStreamHeaderSize;
  int32_t in_length = body_length;
  uint8_t* target = out;
  uint8_t* spare = stream;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    const int32_t produced = UndoPass(in, in_length, target, capacity);
    if (produced < 0) return 0;
    in = target;
    in_length = produced;
    std::swap(target, spare);
  }
  if (in != out) std::memcpy(out, in, static_cast<size_t>(in_length));
  return in_length;
}

// Undoes all passes at once. A byte of the body either stands for itself or is the marker of
// a pass, and then stands for that pass's pair, each of whose bytes may in turn be the marker
// of an earlier pass: a tree whose leaves are raw bytes. The first expansion of a pass is
// written out leaf by leaf; every later one is copied from there.
//
// The pass headers are the catch: the header of pass k is the first five bytes of what
// undoing pass k + 1 produces, so the headers appear one after the other from the start of
// the body, and a byte reaching the level whose header is still incomplete is a header byte
// and goes no further. Until every header is known, bytes travel through an explicit stack
// that carries their level.
//
// The expander assumes what the packer guarantees: every pass has a marker of its own and
// every pass produces exactly its L from its whole input. It checks both (the latter by
// counting each pass's expansions) and gives up otherwise, leaving the stream to the
// pass-by-pass decoder, which decides every stream the same way the format does.
class Expander {
 public:
  Expander(uint8_t* out, int32_t capacity) : out_(out), capacity_(capacity) {}

  // Returns the raw length, or -1 when the stream is not one it can vouch for.
  int32_t Run(const uint8_t* body, int32_t body_length, int32_t passes) {
    passes_ = passes;
    if (body_length < kPassHeaderSize || !AcceptHeader(passes, body)) return -1;
    reading_ = passes - 1;
    if (reading_ == 0) StartOutput();
    int32_t i = kPassHeaderSize;
    for (; i < body_length && reading_ > 0; ++i) {
      stack_[0] = {body[i], passes};
      depth_ = 1;
      if (!Drain()) return -1;
    }
    if (reading_ > 0) return -1;
    for (; i < body_length; ++i) {
      const uint8_t byte = body[i];
      const int32_t pass = pass_of_marker_[byte];
      if (pass != 0) {
        if (!ExpandRoot(pass)) return -1;
      } else {
        if (produced_ >= raw_length_) return -1;
        out_[produced_++] = byte;
      }
    }
    if (produced_ != raw_length_ || !CountsMatch(body_length)) return -1;
    return raw_length_;
  }

 private:
  // Filled in when the pass's header is read; the tables are not cleared up front, since a
  // stream uses only as many entries as it has passes.
  struct Pass {
    int32_t length;  // L: what undoing this pass produces
    uint8_t pair[2];
    int32_t child[2];    // earlier pass whose marker each pair byte is, else 0
    int32_t expanded;    // raw length of a full expansion, at most capacity + 1
    int32_t first_copy;  // out offset of its first full expansion, -1 before
    uint64_t counted;    // expansions made one by one while headers were read
    uint64_t implied;    // full expansions made or implied by an enclosing one
  };

  struct Pending {
    uint8_t byte;
    int32_t level;  // the byte is in the input of this pass (0: in the raw block)
  };

  bool AcceptHeader(int32_t level, const uint8_t* bytes) {
    const PassHeader header = ReadPassHeader(bytes);
    if (header.length > capacity_ || pass_of_marker_[header.marker] != 0) return false;
    pass_of_marker_[header.marker] = static_cast<uint16_t>(level);
    passes_info_[level] =
        Pass{header.length, {header.pair[0], header.pair[1]}, {0, 0}, 0, -1, 0, 0};
    return true;
  }

  // Every header is known: fix each pass's children and expansion length.
  void StartOutput() {
    raw_length_ = passes_info_[1].length;
    for (int32_t k = 1; k <= passes_; ++k) {
      Pass& pass = passes_info_[k];
      int64_t expanded = 0;
      for (int side = 0; side < 2; ++side) {
        const int32_t child = pass_of_marker_[pass.pair[side]];
        pass.child[side] = child < k ? child : 0;
        expanded += pass.child[side] != 0 ? passes_info_[pass.child[side]].expanded : 1;
      }
      pass.expanded = static_cast<int32_t>(std::min<int64_t>(expanded, capacity_ + 1));
    }
  }

  // Moves the stacked bytes down to where they end: a header, the output, or an expansion.
  bool Drain() {
    while (depth_ > 0) {
      const Pending top = stack_[--depth_];
      const int32_t pass = pass_of_marker_[top.byte];
      if (pass != 0 && pass <= top.level) {
        if (reading_ == 0) {
          if (!ExpandRoot(pass)) return false;
          continue;
        }
        Pass& info = passes_info_[pass];
        ++info.counted;
        stack_[depth_++] = {info.pair[1], pass - 1};
        stack_[depth_++] = {info.pair[0], pass - 1};
      } else if (reading_ > 0) {
        if (!AddHeaderByte(top.byte)) return false;
      } else {
        if (produced_ >= raw_length_) return false;
        out_[produced_++] = top.byte;
      }
    }
    return true;
  }

  bool AddHeaderByte(uint8_t byte) {
    header_[header_fill_++] = byte;
    if (header_fill_ < kPassHeaderSize) return true;
    header_fill_ = 0;
    if (!AcceptHeader(reading_, header_)) return false;
    if (--reading_ == 0) StartOutput();
    return true;
  }

  bool ExpandRoot(int32_t pass) {
    Pass& info = passes_info_[pass];
    if (info.expanded > raw_length_ - produced_) return false;
    ++info.implied;
    Expand(pass);
    return true;
  }

  // Writes the full expansion of a pass's marker; the caller has made room for it.
  void Expand(int32_t pass) {
    Pass& info = passes_info_[pass];
    if (info.first_copy >= 0) {
      CopyEarlier(info.first_copy, info.expanded);
      return;
    }
    info.first_copy = produced_;
    for (int side = 0; side < 2; ++side) {
      if (info.child[side] != 0) {
        Expand(info.child[side]);
      } else {
        out_[produced_++] = info.pair[side];
      }
    }
  }

  // Appends out_[from, from + length), which lies wholly before the output end.
  void CopyEarlier(int32_t from, int32_t length) {
    if (length <= 8 && produced_ + 8 <= capacity_ && from + 8 <= produced_) {
      Store64(out_ + produced_, Load64(out_ + from));  // the bytes past length are rewritten
    } else {
      std::memcpy(out_ + produced_, out_ + from, static_cast<size_t>(length));
    }
    produced_ += length;
  }

  // Undoing pass k turns the data of its input (the input less its 5 header bytes) into L_k
  // bytes, each marker giving one byte more, so it must have expanded exactly
  // L_k - (input length - 5) markers. The input of the last pass is the body; that of pass k
  // is what undoing pass k + 1 produced, L_(k+1) bytes. Every implied expansion of a pass
  // implies one of each of its children.
  bool CountsMatch(int32_t body_length) {
    for (int32_t k = passes_; k >= 1; --k) {
      const Pass& pass = passes_info_[k];
      for (int side = 0; side < 2; ++side) {
        if (pass.child[side] != 0) passes_info_[pass.child[side]].implied += pass.implied;
      }
    }
    int64_t input_length = body_length;
    for (int32_t k = passes_; k >= 1; --k) {
      const Pass& pass = passes_info_[k];
      const int64_t expansions = static_cast<int64_t>(pass.counted + pass.implied);
      if (input_length - kPassHeaderSize + expansions != pass.length) return false;
      input_length = pass.length;
    }
    return true;
  }

  uint8_t* out_;
  int32_t capacity_;
  int32_t passes_ = 0;
  std::array<Pass, kMaxPasses + 1> passes_info_;  // by pass number, 1 to passes_
  std::array<uint16_t, 256> pass_of_marker_{};    // 0: not a known marker
  int32_t reading_ = 0;  // pass whose header is being read; 0 once all are known
  uint8_t header_[kPassHeaderSize] = {};
  int32_t header_fill_ = 0;
  // Bytes waiting for their place: at most one per level besides the one being moved.
  std::array<Pending, 2 * kMaxPasses + 4> stack_;
  int32_t depth_ = 0;
  int32_t raw_length_ = 0;
  int32_t produced_ = 0;
};

}  // namespace

int32_t DensepressUnpack(uint8_t* stream, int32_t stream_length, uint8_t* out, int32_t capacity) {
  if (stream == nullptr || out == nullptr || stream_length < kStreamHeaderSize ||
      stream_length > capacity) {
    return 0;
  }
  const uint32_t crc = Load32(stream + kCrcOffset);
  const uint32_t passes = Load32(stream + kPassCountOffset);
  const uint32_t body_length = Load32(stream + kBodyLengthOffset);
  if (body_length == 0 || body_length != static_cast<uint32_t>(stream_length - kStreamHeaderSize)) {
    return 0;
  }
  const size_t checked = static_cast<size_t>(stream_length - kPassCountOffset);
  if (Crc32(0, stream + kPassCountOffset, checked) != crc) return 0;
  if (passes == 0 || passes > kMaxPasses) return 0;
  const int32_t body = static_cast<int32_t>(body_length);
  {
    Expander expander(out, capacity);
    const int32_t raw =
        expander.Run(stream + kStreamHeaderSize, body, static_cast<int32_t>(passes));
    if (raw >= 0) return raw;
  }
  return UnpackPassByPass(stream, body, passes, out, capacity);
}

}  // namespace sk
