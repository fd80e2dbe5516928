// The JCalG1 writer: a hash-chain match finder feeding a price-driven optimal parse.
//
// Every code has a fixed cost in bits, so the cheapest stream for a block is a shortest path
// over its positions. The parse walks forward, keeping for every position (and every literal
// mode in play) the cheapest known arrival together with the last offset on that path, which
// decides whether a repeat-offset copy is available from there. Each length a match can take
// is weighed with the nearest offset that reaches it, in the short form (offsets below 128,
// 2 to 5 bytes) or the long form; single bytes go as literals, zero-byte codes or one-byte
// copies; a block whose bytes leave the narrow literal range can change the literal mode or
// send 256 raw bytes where that is cheaper.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <utility>

#include "archive/jcalg.h"
#include "archive/jcalg_format.h"

namespace sk {
namespace {

constexpr uint32_t kUnreached = 0xFFFFFFFFu;

// A match this long is taken at once: weighing every split inside it costs time and gains
// next to nothing.
constexpr uint32_t kNiceLength = 128;
// Chain links followed per position. Most chains end sooner; the deep walks are those of
// frequent keys, where a longer or nearer match lets the parse pass over more of the positions
// after it, so that going from 16 to 32 links made text denser at the same speed.
constexpr int kSearchDepth = 32;
// Bits by which each of the next positions may be dearer than this one and still make
// expanding it not worth the time (see Parser::ActiveModes), by distance. Text, in one narrow
// literal mode, loses little when far more positions are passed over; binary data, with its
// 7-bit single-byte codes and short copies, loses more, and is packed quickly anyway.
struct PassOver {
  uint32_t lookahead;
  std::array<uint64_t, 7> slack;
};
constexpr PassOver kNarrowPassOver = {6, {0, 1, 4, 7, 11, 15, 19}};
constexpr PassOver kWidePassOver = {2, {0, 1, 2}};
constexpr uint32_t kMinWindow = 1024;
constexpr int kMaxModes = 3;
constexpr uint32_t kFirstModeSample = 1024;
// Longest step the parse records; a longer match is taken as several.
constexpr uint32_t kMaxStepLength = (1u << 24) - 1;

// Code sizes in bits.
constexpr uint32_t kWideModeBits = 3 + 4 + 1 + 1;        // 001 0000 0 1
constexpr uint32_t kNarrowModeBits = 3 + 4 + 1 + 1 + 8;  // 001 0000 0 0 base
constexpr uint32_t kSingleBits = 3 + 4;                  // zero byte, one-byte copy
constexpr uint32_t kShortBits = 3 + 7 + 2;
constexpr uint32_t kEndBits = 3 + 7 + 2;
constexpr uint32_t kRawRunBits = 3 + 4 + 1 + 8 * 256 + 1;
constexpr uint32_t kShortMaxOffset = 127;
constexpr uint32_t kShortMaxLength = 5;
constexpr uint32_t kSingleMaxOffset = 14;
// Added to the positions the parse remembers per byte value, so that a value not seen yet
// (0) lies further back than a one-byte copy reaches.
constexpr uint32_t kSeenBias = kSingleMaxOffset + 1;

// Bits of the gamma code of value (2 and up).
inline uint32_t GammaBits(uint32_t value) {
  return 2 * static_cast<uint32_t>(std::bit_width(value | 1) - 1);
}

// The writer keeps the first index width: on blocks of a few thousand bytes no other width
// saves enough to pay for the code that sets it.
constexpr int kIndexWidth = jcalg::kFirstIndexWidth;

// Bits of a long match code without its length: prefix, high part and low part of the offset.
uint32_t LongOffsetBits(uint32_t offset) {
  return 2 + GammaBits((offset >> kIndexWidth) + jcalg::kOffsetBias) + kIndexWidth;
}

struct LiteralMode {
  int width = 8;
  uint8_t base = 0;

  bool Fits(uint8_t byte) const { return width == 8 || static_cast<uint8_t>(byte - base) < 128; }
  uint32_t LiteralBits() const { return 1 + static_cast<uint32_t>(width); }
  uint32_t ChangeBits() const { return width == 8 ? kWideModeBits : kNarrowModeBits; }
  bool operator==(const LiteralMode&) const = default;
};

// Base of the 128 byte values (wrapping at 256) that cover most of the histogram; ties go to
// the smaller base.
uint8_t BestBase(const uint32_t* histogram, uint32_t* covered) {
  uint32_t sum = 0;
  for (int v = 0; v < 128; ++v) sum += histogram[v];
  uint32_t best = sum;
  int best_base = 0;
  for (int base = 1; base < 256; ++base) {
    sum += histogram[(base + 127) & 255];
    sum -= histogram[base - 1];
    if (sum > best) {
      best = sum;
      best_base = base;
    }
  }
  *covered = best;
  return static_cast<uint8_t>(best_base);
}

// Whether every byte b of data[0, length) has (b - base) mod 256 below 128. Eight bytes at a
// time: the bytewise subtraction keeps each byte's borrow inside it.
bool AllFit(const uint8_t* data, uint32_t length, uint8_t base) {
  constexpr uint64_t kHigh = 0x8080808080808080u;
  const uint64_t bases = base * 0x0101010101010101u;
  uint64_t outside = 0;
  uint32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, data + i, 8);
    outside |= ((word | kHigh) - (bases & ~kHigh)) ^ ((word ^ ~bases) & kHigh);
  }
  for (; i < length; ++i) outside |= static_cast<uint8_t>(data[i] - base);
  return (outside & kHigh) == 0;
}

// The literal modes a block may use: the first is the stream's opening mode, chosen from the
// first kFirstModeSample bytes; the others are what the parse may switch to where the data
// calls for them. A single mode fits every byte of the block.
int ChooseModes(const uint8_t* source, uint32_t length, LiteralMode* modes) {
  uint32_t head[256] = {};
  const uint32_t sample = std::min(length, kFirstModeSample);
  for (uint32_t i = 0; i < sample; ++i) ++head[source[i]];
  uint32_t head_covered = 0;
  const uint8_t head_base = BestBase(head, &head_covered);
  // The narrow width saves a bit per literal; every byte outside its range costs a mode
  // change there and back, about 26 bits, unless a copy covers it.
  const bool narrow_first = (sample - head_covered) * 32 <= head_covered;
  const LiteralMode narrow{7, head_base};
  const LiteralMode wide{8, 0};
  if (narrow_first) {
    // The common case of text: every byte fits, and the narrow mode is the only one.
    if (AllFit(source, length, head_base)) {
      modes[0] = narrow;
      return 1;
    }
  }
  uint32_t all[256] = {};
  for (uint32_t i = 0; i < length; ++i) ++all[source[i]];
  uint32_t all_covered = 0;
  const LiteralMode other{7, BestBase(all, &all_covered)};
  int count = 0;
  modes[count++] = narrow_first ? narrow : wide;
  if (narrow_first) {
    uint32_t narrow_all = 0;
    for (int v = 0; v < 256; ++v) narrow_all += narrow.Fits(static_cast<uint8_t>(v)) ? all[v] : 0;
    modes[count++] = wide;
    if (!(other == narrow) && all_covered >= narrow_all + 128) modes[count++] = other;
  } else if (all_covered * 10 >= length * 9) {
    // A narrow mode that fits fewer than 9 bytes in 10 saves less than the changes into it
    // and out of it cost (machine code and records show no gain), and would double the
    // parse's work for nothing.
    modes[count++] = other;
  }
  return count;
}

// Whether a block looks like compressed or encrypted data, which no parse packs below its own
// size: its bytes spread evenly over the values (so it opens in the wide literal mode and no
// narrow one pays), and hardly any 3 bytes of it occur again within the window. Every byte
// then costs 8 bits or more unless a copy covers it, and the copies are too few to pay for
// the header. A census of the repeated triples is cheap beside the parse it spares; table
// holds 1 << table_bits 16-bit slots.
bool LooksIncompressible(const uint8_t* source, uint32_t length, uint32_t max_offset,
                         const LiteralMode* modes, int mode_count, uint16_t* table,
                         uint32_t table_bits) {
  if (mode_count != 1 || modes[0].width != 8 || length < kFirstModeSample || length >= 0xFFFF) {
    return false;
  }
  // Evenly spread: no value is more than four times as frequent as the mean in the first
  // kFirstModeSample bytes (random bytes reach about three times).
  uint32_t head[256] = {};
  for (uint32_t i = 0; i < kFirstModeSample; ++i) ++head[source[i]];
  if (*std::max_element(std::begin(head), std::end(head)) > 4 * kFirstModeSample / 256) {
    return false;
  }
  std::fill(table, table + (size_t{1} << table_bits), uint16_t{0xFFFF});
  uint32_t repeats = 0;
  for (uint32_t pos = 0; pos + 3 <= length; ++pos) {
    const uint32_t key = source[pos] | source[pos + 1] << 8 | source[pos + 2] << 16;
    uint16_t& slot = table[(key * 2654435761u) >> (32 - table_bits)];
    const uint32_t last = slot;
    slot = static_cast<uint16_t>(pos);
    // The empty mark lies above every position, so its difference wraps past any window.
    repeats += pos - last <= max_offset && source[last] == source[pos] &&
               source[last + 1] == source[pos + 1] && source[last + 2] == source[pos + 2];
  }
  // Random bytes repeat about one triple in 6000 bytes, data that packs hundreds. Raw runs
  // cost a little over 8 bits a byte, so a block needs copies that save some 30 bytes per 6000
  // to fit into its own length, more than one repeated position in 256 can give.
  return repeats * 256 < length;
}

[[gnu::always_inline]] inline uint32_t MatchLength(const uint8_t* a, const uint8_t* b,
                                                   uint32_t start, uint32_t limit) {
  uint32_t length = start;
  if constexpr (std::endian::native == std::endian::little) {
    while (length + 8 <= limit) {
      uint64_t x = 0;
      uint64_t y = 0;
      std::memcpy(&x, a + length, 8);
      std::memcpy(&y, b + length, 8);
      if (x != y) return length + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
      length += 8;
    }
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

struct Match {
  uint32_t length;
  uint32_t offset;
};

// Finds, for a position, the nearest earlier match of each length it can reach: the nearest
// two-byte and three-byte matches come from tables that remember the latest position of each
// pair and triple (a byte compare tells whether a slot still held that one), longer matches
// from chains of positions that share a 4-byte hash, newest first. All positions go into the
// tables before the parse starts, in one tight loop that keeps, per position, what the
// slots held before it; so a position that the parse passes over costs nothing at all.
//
// Position is the type the tables store positions in: uint16_t for blocks below 64 KiB keeps
// the tables small enough to stay in the caches nearest the core, which matters more than
// anything else here.
template <typename Position>
class MatchFinder {
 public:
  static constexpr Position kNone = std::numeric_limits<Position>::max();

  // Bits of the chain heads: up to twice as many as the block has positions, so that keys
  // seldom share a chain and a walk spends its links on positions that can match.
  static uint32_t ChainBits(uint32_t length) {
    uint32_t bits = 10;
    while (bits < 16 && (1u << bits) < 2 * length) ++bits;
    return bits;
  }

  // Bits of the pair and triple tables: as many slots as chain heads, up to 16384, so that
  // few pairs and triples of a block share a slot and hide each other.
  static uint32_t KeyBits(uint32_t length) { return std::min(ChainBits(length), 14u); }

  static uint64_t TableBytes(uint32_t length) {
    return sizeof(Position) * (3 * uint64_t{length} + (uint64_t{1} << ChainBits(length)) +
                               (uint64_t{2} << KeyBits(length)));
  }

  // tables holds TableBytes(length) bytes; length is below kNone.
  MatchFinder(const uint8_t* source, uint32_t length, uint32_t max_offset, void* tables)
      : source_(source),
        length_(length),
        max_offset_(max_offset),
        chain_shift_(32 - ChainBits(length)),
        key_shift_(32 - KeyBits(length)),
        previous_(static_cast<Position*>(tables)),
        earlier_pairs_(previous_ + length),
        earlier_triples_(earlier_pairs_ + length),
        heads_(earlier_triples_ + length),
        pairs_(heads_ + (size_t{1} << ChainBits(length))),
        triples_(pairs_ + (size_t{1} << KeyBits(length))) {
    std::fill(heads_, triples_ + (size_t{1} << KeyBits(length)), kNone);
    InsertAll();
  }

  // Calls found(length, offset) for each match at pos that is longer than every nearer one,
  // shortest (and nearest) first, with lengths up to kNiceLength. Returns the last
  // of them, extended to its full length when it reaches kNiceLength, or a length below 2
  // when there is none.
  //
  // Matches shorter than shortest (2 or more) are of no use to the caller and are not
  // reported: from 3 the pair table is not asked, from 4 neither is the triple table, since
  // the chains hold the longer matches.
  template <typename Found>
  [[gnu::always_inline]] Match Find(uint32_t pos, uint32_t shortest, Found&& found) {
    const uint32_t avail = length_ - pos;
    if (avail < 4) return FindNearEnd(pos, found);
    // Member values are copied to locals: the compiler must otherwise assume that the stores
    // found makes change them.
    const uint8_t* const source = source_;
    const uint32_t max_offset = max_offset_;
    const uint8_t* const here = source + pos;
    const uint32_t limit = std::min(avail, kNiceLength);
    Match longest{shortest - 1, 0};
    const uint32_t key = Load32(here);
    Position last = earlier_pairs_[pos];
    if (shortest <= 2 && Reaches(pos, last, max_offset) && Pair(source + last) == (key & 0xFFFF)) {
      longest = {MatchLength(here, source + last, 2, limit), pos - last};
      found(longest.length, longest.offset);
    }
    last = earlier_triples_[pos];
    if (longest.length < 3 && Reaches(pos, last, max_offset) &&
        Triple(source + last) == (key & 0xFFFFFF)) {
      longest = {MatchLength(here, source + last, 3, limit), pos - last};
      found(longest.length, longest.offset);
    }
    Position node = previous_[pos];
    // A match of 4 bytes or more from the pair or triple table is the nearest position with
    // those 4 bytes, so the walk resumes behind it.
    if (longest.offset != 0 && longest.length >= 4) node = previous_[pos - longest.offset];
    if (longest.length < limit) {
      // Only a match longer than the best so far counts, and it must agree at that byte.
      uint8_t next_byte = here[longest.length];
      for (int depth = kSearchDepth; depth > 0; --depth) {
        if (!Reaches(pos, node, max_offset)) break;
        const uint8_t* const there = source + node;
        if (there[longest.length] == next_byte) {
          const uint32_t length = MatchLength(here, there, 0, limit);
          if (length > longest.length) {
            longest = {length, pos - node};
            found(longest.length, longest.offset);
            if (length == limit) break;
            next_byte = here[length];
          }
        }
        node = previous_[node];
      }
    }
    if (longest.offset == 0) return {1, 0};
    if (longest.length == kNiceLength) {
      longest.length =
          MatchLength(here, here - longest.offset, kNiceLength, std::min(avail, kMaxStepLength));
    }
    return longest;
  }

 private:
  // Puts every position into the tables at once, in a loop without branches, and keeps what
  // each slot held before: the earlier position with the same pair, triple and chain key.
  void InsertAll() {
    const uint32_t length = length_;
    const uint8_t* const source = source_;
    uint32_t pos = 0;
    for (; pos + 4 <= length; ++pos) {
      const uint32_t key = Load32(source + pos);
      earlier_pairs_[pos] = Swap(&pairs_[PairSlot(key)], pos);
      earlier_triples_[pos] = Swap(&triples_[TripleSlot(key)], pos);
      previous_[pos] = Swap(&heads_[ChainSlot(key)], pos);
    }
    for (; pos < length; ++pos) {
      const uint32_t avail = length - pos;
      earlier_pairs_[pos] = avail >= 2 ? Swap(&pairs_[PairSlot(Pair(source + pos))], pos) : kNone;
      earlier_triples_[pos] =
          avail >= 3 ? Swap(&triples_[TripleSlot(Triple(source + pos))], pos) : kNone;
      previous_[pos] = kNone;
    }
  }

  // The last three positions: no 4-byte key, and no match longer than 3 bytes.
  template <typename Found>
  [[gnu::noinline]] Match FindNearEnd(uint32_t pos, Found& found) {
    const uint32_t avail = length_ - pos;
    const uint32_t max_offset = max_offset_;
    Match longest{1, 0};
    if (avail < 2) return longest;
    const uint8_t* const here = source_ + pos;
    const uint32_t key = avail == 3 ? Triple(here) : Pair(here);
    Position last = earlier_pairs_[pos];
    if (Reaches(pos, last, max_offset) && Pair(source_ + last) == (key & 0xFFFF)) {
      longest = {MatchLength(here, source_ + last, 2, avail), pos - last};
      found(longest.length, longest.offset);
    }
    if (avail < 3) return longest;
    last = earlier_triples_[pos];
    if (longest.length < 3 && Reaches(pos, last, max_offset) &&
        Triple(source_ + last) == (key & 0xFFFFFF)) {
      longest = {MatchLength(here, source_ + last, 3, avail), pos - last};
      found(longest.length, longest.offset);
    }
    return longest;
  }

  // Whether a table entry is a position within the window before pos. With 16-bit entries
  // the empty mark (0xFFFF) lies above every position, so the difference wraps far past any
  // window and one comparison does.
  static bool Reaches(uint32_t pos, Position entry, uint32_t max_offset) {
    if constexpr (sizeof(Position) < sizeof(uint32_t)) {
      return pos - entry <= max_offset;
    } else {
      return entry != kNone && pos - entry <= max_offset;
    }
  }

  static Position Swap(Position* slot, uint32_t pos) {
    const Position old = *slot;
    *slot = static_cast<Position>(pos);
    return old;
  }
  // Keys hold the bytes little-endian: the low 16 bits are the pair, the low 24 the triple.
  static uint32_t Pair(const uint8_t* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }
  static uint32_t Triple(const uint8_t* p) { return Pair(p) | static_cast<uint32_t>(p[2]) << 16; }
  static uint32_t Load32(const uint8_t* p) { return jcalg::Load32(p); }
  uint32_t PairSlot(uint32_t key) const { return ((key & 0xFFFF) * 2654435761u) >> key_shift_; }
  uint32_t TripleSlot(uint32_t key) const { return ((key & 0xFFFFFF) * 2654435761u) >> key_shift_; }
  uint32_t ChainSlot(uint32_t key) const { return (key * 2654435761u) >> chain_shift_; }

  const uint8_t* source_;
  uint32_t length_;
  uint32_t max_offset_;
  uint32_t chain_shift_;
  uint32_t key_shift_;
  Position* previous_;
  Position* earlier_pairs_;
  Position* earlier_triples_;
  Position* heads_;
  Position* pairs_;
  Position* triples_;
};

enum StepKind : uint8_t {
  kStart,
  kLiteral,
  kZeroByte,
  kCopyOne,
  kShortMatch,
  kLongMatch,
  kRepeatMatch,
  kRawRun,
  kModeChange,
};

// The last step of the cheapest known way to reach a position in one literal mode, packed so
// that the parse stores it in one write:
//   bits 0-31   last offset after the step (a match's own offset)
//   bits 32-55  bytes the step produces
//   bits 56-59  StepKind
//   bits 60-63  the offset of a one-byte copy; for a mode change, the mode it comes from
//               (bits 60-61) and the mode it sets (bits 62-63)
using Step = uint64_t;

constexpr Step MakeStep(uint32_t last_offset, uint32_t length, StepKind kind, uint32_t arg = 0) {
  return Step{last_offset} | Step{length} << 32 | Step{kind} << 56 | Step{arg} << 60;
}
constexpr uint32_t LastOffsetOf(Step step) { return static_cast<uint32_t>(step); }
constexpr uint32_t LengthOf(Step step) {
  return static_cast<uint32_t>(step >> 32) & kMaxStepLength;
}
constexpr StepKind KindOf(Step step) { return static_cast<StepKind>(step >> 56 & 15); }
constexpr uint32_t ArgOf(Step step) { return static_cast<uint32_t>(step >> 60); }

struct Scratch {
  void* memory = nullptr;
  JcalgRelease release = nullptr;
  ~Scratch() {
    if (memory != nullptr) release(memory);
  }
};

bool DefaultRelease(void* memory) {
  std::free(memory);
  return true;
}

void* DefaultAlloc(uint32_t size) { return std::malloc(size); }

struct ParseInput {
  const uint8_t* source;
  uint32_t length;
  uint32_t max_offset;
  const LiteralMode* modes;
  uint32_t* prices;  // (length + 1) * mode count
  Step* steps;       // (length + 1) * mode count
};

// The shortest path over (position, literal mode) nodes; kModes is the number of literal
// modes in play, fixed at compile time so that the one-mode case stays lean.
template <int kModes, typename Finder, const PassOver& kPass>
class Parser {
 public:
  Parser(const ParseInput& in, Finder* finder)
      : in_(in), finder_(finder), prices_(in.prices), steps_(in.steps) {
    for (int m = 0; m < kModes; ++m) {
      literal_bits_[m] = in.modes[m].LiteralBits();
      // A narrow literal costs 8 bits, less than a byte of a raw run.
      raw_pays_ = raw_pays_ || in.modes[m].width == 8;
    }
  }

  // Finds the cheapest path to the end and returns its price in bits, end code included.
  uint32_t Run() {
    const uint32_t length = in_.length;
    std::fill(prices_, prices_ + (size_t{length} + 1) * kModes, kUnreached);
    std::fill(std::begin(last_seen_), std::end(last_seen_), 0);
    prices_[0] = in_.modes[0].ChangeBits();
    steps_[0] = MakeStep(jcalg::kFirstLastOffset, 0, kStart);
    uint32_t pos = 0;
    while (pos < length) {
      if constexpr (kModes > 1) ChangeModes(pos);
      const uint32_t active = ActiveModes(pos);
      if (active == 0) {
        last_seen_[in_.source[pos]] = pos + kSeenBias;
        ++pos;
        continue;
      }
      const uint32_t jump = Expand(pos, active);
      if (jump <= 1) {
        ++pos;
        continue;
      }
      for (uint32_t skipped = pos + 1; skipped < pos + jump; ++skipped) {
        last_seen_[in_.source[skipped]] = skipped + kSeenBias;
      }
      pos += jump;
    }
    final_mode_ = 0;
    for (int m = 1; m < kModes; ++m) {
      if (prices_[Index(length, m)] < prices_[Index(length, final_mode_)]) final_mode_ = m;
    }
    return prices_[Index(length, final_mode_)] + kEndBits;
  }

  // Writes the path's node indexes (position * kModes + mode), first step first, into path
  // (room for 2 * length + 2) and returns their count.
  uint32_t Path(uint32_t* path) const {
    uint32_t count = 0;
    uint32_t pos = in_.length;
    int mode = final_mode_;
    for (;;) {
      const size_t index = Index(pos, mode);
      path[count++] = static_cast<uint32_t>(index);
      const Step step = steps_[index];
      if (KindOf(step) == kStart) break;
      if (KindOf(step) == kModeChange) {
        mode = static_cast<int>(ArgOf(step) & 3);
      } else {
        pos -= LengthOf(step);
      }
    }
    std::reverse(path, path + count);
    return count;
  }

 private:
  using Prices = std::array<uint32_t, kModes>;

  static size_t Index(uint32_t pos, int mode) { return size_t{pos} * kModes + mode; }

  // Without a branch: whether a step is the cheaper way to its end is as good as random, and
  // a mispredicted branch costs more than the two stores. Masks rather than conditions, which
  // the compiler would turn back into branches.
  void Relax(uint32_t to, int mode, uint32_t price, Step step) {
    const size_t index = Index(to, mode);
    const uint32_t known = prices_[index];
    const Step known_step = steps_[index];
    const uint64_t better = uint64_t{0} - (price < known);
    prices_[index] = known ^ ((known ^ price) & static_cast<uint32_t>(better));
    steps_[index] = known_step ^ ((known_step ^ step) & better);
  }

  // A literal-mode code costs the same wherever it stands, so a change is weighed at every
  // position from the cheapest arrival in another mode.
  void ChangeModes(uint32_t pos) {
    uint32_t prices[kModes];
    for (int m = 0; m < kModes; ++m) prices[m] = prices_[Index(pos, m)];
    for (int target = 0; target < kModes; ++target) {
      int from = -1;
      uint32_t best = kUnreached;
      for (int m = 0; m < kModes; ++m) {
        if (m == target || prices[m] == kUnreached) continue;
        const uint32_t price = prices[m] + in_.modes[target].ChangeBits();
        if (price < best) {
          best = price;
          from = m;
        }
      }
      if (from >= 0 && best < prices[target]) {
        prices_[Index(pos, target)] = best;
        steps_[Index(pos, target)] =
            MakeStep(LastOffsetOf(steps_[Index(pos, from)]), 0, kModeChange, from | target << 2);
      }
    }
  }

  // The modes whose arrival at pos is worth expanding, as a bit set. An arrival is passed
  // over when one of the next positions is reached for little more: k bytes on, for at most
  // kPass.slack[k] bits more. A copy from pos longer than k bytes also runs from there, k
  // bytes shorter at the same offset and for no more bits, so expanding pos could win at most
  // those bits on it; shorter steps from pos cost about that much themselves. On text this
  // passes over 52% of the positions (the nearest test alone 30%), and the text packs 0.9%
  // larger than with every position expanded.
  uint32_t ActiveModes(uint32_t pos) const {
    uint32_t active = 0;
    const bool far_from_end = in_.length - pos >= kPass.lookahead;
    for (int m = 0; m < kModes; ++m) {
      const uint64_t price = prices_[Index(pos, m)];
      if (price == kUnreached) continue;
      const uint32_t* const here = prices_ + Index(pos, m);
      const bool passed = far_from_end
                              ? PassedOver(here, price, std::make_index_sequence<kPass.lookahead>())
                              : PassedOverNearEnd(here, price, in_.length - pos);
      if (!passed) active |= 1u << m;
    }
    return active;
  }

  // Whether one of the next positions is reached within its slack, tested nearest first and
  // written out, since most positions are decided by the first one or two.
  template <size_t... kDistance>
  static bool PassedOver(const uint32_t* here, uint64_t price,
                         std::index_sequence<kDistance...> /*distances less one*/) {
    return ((here[(kDistance + 1) * kModes] <= price + kPass.slack[kDistance + 1]) || ...);
  }

  static bool PassedOverNearEnd(const uint32_t* here, uint64_t price, uint32_t ahead) {
    for (uint32_t k = 1; k <= std::min(ahead, kPass.lookahead); ++k) {
      if (here[k * kModes] <= price + kPass.slack[k]) return true;
    }
    return false;
  }

  // Relaxes every step that starts at pos; returns the length of a match long enough to be
  // taken without looking inside it, else 0. The input's fields are read into locals first:
  // the price stores are uint32_t writes, which the compiler must otherwise assume to change
  // them.
  [[gnu::always_inline]] uint32_t Expand(uint32_t pos, uint32_t active) {
    const uint8_t* const here = in_.source + pos;
    const uint32_t avail = in_.length - pos;
    const uint32_t max_offset = in_.max_offset;
    const uint8_t byte = here[0];
    // The zero-byte code and the one-byte copy undercut any literal. Which of the three a byte
    // takes changes from byte to byte, so the step is put together from masks, not branches.
    const uint32_t distance = pos + kSeenBias - last_seen_[byte];
    last_seen_[byte] = pos + kSeenBias;
    const uint32_t near_mask = uint32_t{0} - (distance <= std::min(kSingleMaxOffset, max_offset));
    const uint32_t zero_mask = uint32_t{0} - (byte == 0);
    const uint32_t single_mask = near_mask | zero_mask;
    const uint32_t copy_mask = near_mask & ~zero_mask;
    static_assert(kZeroByte == kLiteral + 1 && kCopyOne == kLiteral + 2);
    const uint32_t single_kind = kLiteral + ((copy_mask & 2) | (zero_mask & 1));
    const Step single_step =
        MakeStep(0, 1, static_cast<StepKind>(single_kind), distance & copy_mask);
    const bool raw_fits = raw_pays_ && avail >= jcalg::kRawRunBytes;
    uint32_t jump = 0;
    Prices prices;
    for (int m = 0; m < kModes; ++m) {
      prices[m] = prices_[Index(pos, m)];
      if (!Active(active, m)) continue;
      const uint32_t price = prices[m];
      const uint32_t last = LastOffsetOf(steps_[Index(pos, m)]);
      // A single mode takes every byte of the block as a literal (see ChooseModes).
      if (kModes == 1 || single_mask != 0 || in_.modes[m].Fits(byte)) {
        const uint32_t bits = literal_bits_[m] ^ ((literal_bits_[m] ^ kSingleBits) & single_mask);
        Relax(pos + 1, m, price + bits, single_step | last);
      }
      if (raw_fits) {
        Relax(pos + jcalg::kRawRunBytes, m, price + kRawRunBits,
              MakeStep(last, jcalg::kRawRunBytes, kRawRun));
      }
      if (last <= pos && last <= max_offset && avail >= 2) {
        const uint8_t* const there = here - last;
        if (here[0] == there[0] && here[1] == there[1]) {
          jump = std::max(jump, ExpandRepeat(pos, m, price, last, here, avail));
        }
      }
    }
    const uint32_t next = ShortestUseful(pos, active, prices);
    MatchWeigher weigh{this, pos, active, prices, next};
    const Match longest = finder_->Find(pos, next, weigh);
    if (longest.length < kNiceLength) return jump;
    const uint32_t adjust = static_cast<uint32_t>(jcalg::LongMatchAdjust(longest.offset));
    const uint32_t bits = LongOffsetBits(longest.offset) + GammaBits(longest.length - adjust);
    for (int m = 0; m < kModes; ++m) {
      if (!Active(active, m)) continue;
      Relax(pos + longest.length, m, prices[m] + bits,
            MakeStep(longest.offset, longest.length, kLongMatch));
    }
    return std::max(jump, longest.length);
  }

  // The shortest match from pos that could make any later position cheaper: a copy costs at
  // least kShortBits up to kShortMaxLength bytes and kShortBits + 2 beyond, so a position
  // already reached for no more than that from here gains nothing from a copy of that length.
  // Ends at the first position not reached yet.
  uint32_t ShortestUseful(uint32_t pos, uint32_t active, const Prices& prices) const {
    const uint32_t end = std::min(in_.length - pos, kNiceLength);
    uint32_t length = 2;
    if (kModes == 1 && end >= kShortMaxLength) {
      // The short lengths at once, without a branch per length: most positions stop there.
      const uint32_t* const ahead = prices_ + pos;
      const uint32_t bound = prices[0] + kShortBits;
      const uint32_t open = (ahead[2] > bound) | (ahead[3] > bound) << 1 | (ahead[4] > bound) << 2 |
                            (ahead[5] > bound) << 3;
      if (open != 0) return 2 + static_cast<uint32_t>(std::countr_zero(open));
      length = kShortMaxLength + 1;
    }
    for (; length <= end; ++length) {
      const uint32_t bits = length <= kShortMaxLength ? kShortBits : kShortBits + 2;
      for (int m = 0; m < kModes; ++m) {
        if (Active(active, m) && prices_[Index(pos + length, m)] > prices[m] + bits) return length;
      }
    }
    return length;
  }

  // With one mode, a position is expanded only when that mode is active.
  static bool Active(uint32_t active, int mode) { return kModes == 1 || (active >> mode & 1) != 0; }

  uint32_t ExpandRepeat(uint32_t pos, int mode, uint32_t price, uint32_t last, const uint8_t* here,
                        uint32_t avail) {
    const uint8_t* const there = here - last;
    avail = std::min(avail, kMaxStepLength);
    uint32_t length = MatchLength(here, there, 2, std::min(avail, kNiceLength));
    if (length == kNiceLength) length = MatchLength(here, there, kNiceLength, avail);
    const uint32_t top = std::min(length, kNiceLength);
    for (uint32_t l = 2; l <= top; ++l) {
      Relax(pos + l, mode, price + 4 + GammaBits(l), MakeStep(last, l, kRepeatMatch));
    }
    if (length < kNiceLength) return 0;
    Relax(pos + length, mode, price + 4 + GammaBits(length), MakeStep(last, length, kRepeatMatch));
    return length;
  }

  // Weighs each match as the search finds it, while the search still holds it in registers.
  struct MatchWeigher {
    Parser* parser;
    uint32_t pos;
    uint32_t active;
    Prices prices;
    uint32_t next;  // shortest length not yet relaxed

    [[gnu::always_inline]] void operator()(uint32_t length, uint32_t offset) {
      parser->ExpandMatch(pos, active, prices, length, offset, &next);
    }
  };

  // Each length goes with the nearest match that reaches it: for an offset below 128 the
  // short form up to 5 bytes, the long form beyond; for larger offsets the long form from the
  // shortest length that pays at that offset (later, larger offsets need no shorter one).
  // *next is the shortest length not yet relaxed.
  [[gnu::always_inline]] void ExpandMatch(uint32_t pos, uint32_t active, const Prices& prices,
                                          uint32_t length, uint32_t offset, uint32_t* next) {
    const uint32_t top = std::min(length, kNiceLength);
    const uint32_t from = *next;
    *next = std::max(from, top + 1);
    const uint32_t adjust = static_cast<uint32_t>(jcalg::LongMatchAdjust(offset));
    const uint32_t offset_bits = LongOffsetBits(offset);
    for (int m = 0; m < kModes; ++m) {
      if (!Active(active, m)) continue;
      const uint32_t price = prices[m];
      if (offset <= kShortMaxOffset) {
        const uint32_t short_top = std::min(top, kShortMaxLength);
        for (uint32_t l = from; l <= short_top; ++l) {
          Relax(pos + l, m, price + kShortBits, MakeStep(offset, l, kShortMatch));
        }
      }
      const uint32_t base = price + offset_bits;
      for (uint32_t l = std::max(from, adjust + 2); l <= top; ++l) {
        Relax(pos + l, m, base + GammaBits(l - adjust), MakeStep(offset, l, kLongMatch));
      }
    }
  }

  ParseInput in_;
  Finder* finder_;
  uint32_t* prices_;
  Step* steps_;
  uint32_t last_seen_[256];  // latest position of each byte value plus kSeenBias, else 0
  uint32_t literal_bits_[kModes];
  int final_mode_ = 0;
  bool raw_pays_ = false;
};

// The code of a gamma number below 2^17: each bit below the leading 1 followed by a
// continuation bit, 1 except after the last.
constexpr uint32_t GammaCode(uint32_t value) {
  uint32_t code = 0;
  for (int bit = 30 - std::countl_zero(value); bit >= 0; --bit) {
    code = code << 2 | (value >> bit & 1) << 1 | (bit > 0 ? 1 : 0);
  }
  return code;
}

constexpr std::array<uint32_t, 512> kGammaTable = [] {
  std::array<uint32_t, 512> table{};
  for (uint32_t v = 2; v < table.size(); ++v) table[v] = GammaCode(v);
  return table;
}();

// Packs bit fields most significant bit first into 32-bit little-endian words.
class BitWriter {
 public:
  BitWriter(uint8_t* begin, uint8_t* end) : next_(begin), end_(end) {}

  // Appends the n low bits of value, n from 0 to 32; value must be below 2^n. Bits above the
  // pending count are left over from earlier words and never written.
  //
  // Whether a code completes a word follows the codes before it and is as good as random, so
  // the word is stored either way, whole or not, and the pointer moves on only when it is
  // whole: an unfinished word is stored again until it is. Only the last word before the end
  // of the buffer takes the careful way.
  [[gnu::always_inline]] void Put(uint32_t value, int n) {
    bits_ = bits_ << n | value;
    count_ += n;
    if (end_ - next_ < 4) [[unlikely]] {
      PutAtEnd();
      return;
    }
    jcalg::Store32(next_, static_cast<uint32_t>(bits_ >> (count_ & 31)));
    next_ += 4 * (count_ >> 5);
    count_ &= 31;
  }

  [[gnu::always_inline]] void PutGamma(uint32_t value) {
    if (value < kGammaTable.size()) {
      Put(kGammaTable[value], static_cast<int>(GammaBits(value)));
      return;
    }
    int bit = 30 - std::countl_zero(value);  // the highest bit below the leading 1
    for (; bit >= 16; --bit) Put((value >> bit & 1) << 1 | 1, 2);
    const uint32_t rest = (value & ((2u << bit) - 1)) | 2u << bit;
    Put(GammaCode(rest), 2 * (bit + 1));
  }

  // Pads the last word; false when any word did not fit.
  bool Finish() {
    if (count_ > 0) {
      Emit(static_cast<uint32_t>(bits_ << (32 - count_)));
      count_ = 0;
    }
    return !overflow_;
  }

  uint8_t* next() const { return next_; }

 private:
  void PutAtEnd() {
    if (count_ >= 32) {
      count_ -= 32;
      Emit(static_cast<uint32_t>(bits_ >> count_));
    }
  }

  void Emit(uint32_t word) {
    if (end_ - next_ < 4) {
      overflow_ = true;
      return;
    }
    jcalg::Store32(next_, word);
    next_ += 4;
  }

  uint8_t* next_;
  uint8_t* end_;
  uint64_t bits_ = 0;
  int count_ = 0;
  bool overflow_ = false;
};

void PutModeChange(BitWriter* out, const LiteralMode& mode) {
  // 001 0000 0, then 1 for the wide width or 0 and the base.
  if (mode.width == 8) {
    out->Put(0b001000001, 9);
  } else {
    out->Put(0b001000000, 9);
    out->Put(mode.base, 8);
  }
}

// The codes that make up nearly every path, the same bits as Emitter writes for them:
// literals, single bytes, and copies whose length and offset part fit the gamma table. Which
// of them comes next is as good as random, so rather than branch on the kind, every candidate
// is put together (one or two bit fields each) and the kind picks one; text packs 2-3% faster.
class CommonCodes {
 public:
  explicit CommonCodes(const LiteralMode& mode)
      : literal_flag_(1u << mode.width), literal_base_(mode.base), literal_bits_(mode.width + 1) {}

  // Writes the code of step, which starts at here, and returns true; or returns false for a
  // step of another kind.
  [[gnu::always_inline]] bool Put(Step step, StepKind kind, const uint8_t* here,
                                  BitWriter* out) const {
    static_assert(kLiteral == 1 && kZeroByte == 2 && kCopyOne == 3 && kShortMatch == 4 &&
                  kLongMatch == 5 && kRepeatMatch == 6);
    const uint32_t length = LengthOf(step);
    const uint32_t offset = LastOffsetOf(step);
    const uint32_t high = (offset >> kIndexWidth) + jcalg::kOffsetBias;
    if (kind < kLiteral || kind > kRepeatMatch || (length | high) >= kGammaTable.size()) {
      return false;
    }
    // Other kinds' fields are computed from this step too; any index stays inside the table.
    const uint32_t long_length = (length - static_cast<uint32_t>(jcalg::LongMatchAdjust(offset))) &
                                 static_cast<uint32_t>(kGammaTable.size() - 1);
    const int high_bits = static_cast<int>(GammaBits(high));
    uint32_t first[8] = {};
    int first_bits[8] = {};
    uint32_t second[8] = {};
    int second_bits[8] = {};
    first[kLiteral] = literal_flag_ | static_cast<uint8_t>(*here - literal_base_);
    first_bits[kLiteral] = literal_bits_;
    first[kZeroByte] = 0b0010000 | jcalg::kZeroByteCode;
    first_bits[kZeroByte] = 7;
    first[kCopyOne] = 0b0010000 | (ArgOf(step) + 1);
    first_bits[kCopyOne] = 7;
    first[kShortMatch] = (offset << 2 | (length - jcalg::kShortMinLength)) & 0xFFF;
    first_bits[kShortMatch] = 12;
    first[kLongMatch] = (0b01u << high_bits | kGammaTable[high]) << kIndexWidth |
                        (offset & ((1u << kIndexWidth) - 1));
    first_bits[kLongMatch] = 2 + high_bits + kIndexWidth;
    second[kLongMatch] = kGammaTable[long_length];
    second_bits[kLongMatch] = static_cast<int>(GammaBits(long_length));
    first[kRepeatMatch] = 0b01 << 2 | kGammaTable[jcalg::kRepeatMarker];
    first_bits[kRepeatMatch] = 4;
    second[kRepeatMatch] = kGammaTable[length];
    second_bits[kRepeatMatch] = static_cast<int>(GammaBits(length));
    out->Put(first[kind], first_bits[kind]);
    out->Put(second[kind], second_bits[kind]);
    return true;
  }

 private:
  uint32_t literal_flag_;
  uint8_t literal_base_;
  int literal_bits_;
};

// Writes the codes of path[0, count) to out.
class Emitter {
 public:
  Emitter(const uint8_t* source, const LiteralMode* modes, const Step* steps)
      : source_(source), modes_(modes), steps_(steps) {}

  // The writer is copied to a local for the run: the output stores are byte writes, which
  // the compiler must otherwise assume to change its fields.
  void Run(const uint32_t* path, uint32_t count, BitWriter* writer) {
    BitWriter out = *writer;
    uint32_t pos = 0;
    bool in_raw = false;
    int mode = 0;
    CommonCodes common(modes_[0]);
    for (uint32_t i = 0; i < count; ++i) {
      const Step step = steps_[path[i]];
      const StepKind kind = KindOf(step);
      if (!in_raw && common.Put(step, kind, source_ + pos, &out)) {
        pos += LengthOf(step);
        continue;
      }
      if (in_raw && kind != kRawRun) {
        out.Put(0, 1);  // no further run
        in_raw = false;
      }
      if (kind == kLiteral) {
        const LiteralMode& literal = modes_[mode];
        out.Put(1u << literal.width | static_cast<uint8_t>(source_[pos] - literal.base),
                literal.width + 1);
        ++pos;
        continue;
      }
      if (kind == kModeChange) {
        mode = static_cast<int>(ArgOf(step) >> 2);
        common = CommonCodes(modes_[mode]);
      }
      if (kind == kStart || kind == kModeChange) {
        PutModeChange(&out, modes_[mode]);
      } else if (kind == kRawRun) {
        // Back-to-back runs share one code: a 1 bit between them says another follows.
        out.Put(in_raw ? 0b1 : 0b00100001, in_raw ? 1 : 8);
        for (uint32_t k = 0; k < jcalg::kRawRunBytes; ++k) out.Put(source_[pos + k], 8);
        in_raw = true;
      } else {
        PutCopy(step, &out);
      }
      pos += LengthOf(step);
    }
    if (in_raw) out.Put(0, 1);
    out.Put(0, kEndBits);
    *writer = out;
  }

 private:
  [[gnu::always_inline]] static void PutCopy(Step step, BitWriter* out) {
    const uint32_t offset = LastOffsetOf(step);
    const uint32_t length = LengthOf(step);
    switch (KindOf(step)) {
      case kZeroByte:
        out->Put(0b0010000 | jcalg::kZeroByteCode, 7);
        break;
      case kCopyOne:
        out->Put(0b0010000 | (ArgOf(step) + 1), 7);
        break;
      case kShortMatch:
        out->Put(offset << 2 | (length - jcalg::kShortMinLength), 12);
        break;
      case kRepeatMatch:
        out->Put(0b01 << 2 | kGammaTable[jcalg::kRepeatMarker], 4);
        out->PutGamma(length);
        break;
      case kLongMatch: {
        const uint32_t high = (offset >> kIndexWidth) + jcalg::kOffsetBias;
        const uint32_t low = offset & ((1u << kIndexWidth) - 1);
        if (high < kGammaTable.size()) {
          const int high_bits = static_cast<int>(GammaBits(high));
          out->Put((0b01u << high_bits | kGammaTable[high]) << kIndexWidth | low,
                   2 + high_bits + kIndexWidth);
        } else {
          out->Put(0b01, 2);
          out->PutGamma(high);
          out->Put(low, kIndexWidth);
        }
        out->PutGamma(length - static_cast<uint32_t>(jcalg::LongMatchAdjust(offset)));
        break;
      }
      default:
        break;
    }
  }

  const uint8_t* source_;
  const LiteralMode* modes_;
  const Step* steps_;
};

// Carves the encoder's tables out of one allocation: the parse's nodes, the path, then the
// match finder's tables.
struct Tables {
  Step* steps;
  uint32_t* prices;
  uint32_t* path;
  void* finder;

  static uint64_t Bytes(uint32_t length, int mode_count, uint64_t finder_bytes) {
    const uint64_t nodes = (uint64_t{length} + 1) * mode_count;
    return (sizeof(Step) + sizeof(uint32_t)) * nodes +
           sizeof(uint32_t) * (2 * uint64_t{length} + 2) + finder_bytes;
  }

  Tables(void* memory, uint32_t length, int mode_count) {
    const size_t nodes = (size_t{length} + 1) * mode_count;
    steps = static_cast<Step*>(memory);
    prices = reinterpret_cast<uint32_t*>(steps + nodes);
    path = prices + nodes;
    finder = path + 2 * size_t{length} + 2;
  }
};

template <int kModes, const PassOver& kPass, typename Finder>
[[gnu::noinline]] uint32_t ParseWith(const ParseInput& input, Finder* finder, uint32_t* path,
                                     uint32_t* count) {
  Parser<kModes, Finder, kPass> parser(input, finder);
  const uint32_t bits = parser.Run();
  *count = parser.Path(path);
  return bits;
}

// Returns the path's price in bits and writes its node indexes to path.
template <typename Position>
uint32_t Parse(const ParseInput& input, int mode_count, const Tables& tables, uint32_t* count) {
  MatchFinder<Position> finder(input.source, input.length, input.max_offset, tables.finder);
  switch (mode_count) {
    case 1:
      return input.modes[0].width == 8
                 ? ParseWith<1, kWidePassOver>(input, &finder, tables.path, count)
                 : ParseWith<1, kNarrowPassOver>(input, &finder, tables.path, count);
    case 2:
      return ParseWith<2, kWidePassOver>(input, &finder, tables.path, count);
    default:
      return ParseWith<kMaxModes, kWidePassOver>(input, &finder, tables.path, count);
  }
}

// The path of a block that is not worth parsing: 256-byte raw runs, then literals in the wide
// mode. Returns its price in bits; writes its node indexes to path.
uint32_t StoredPath(uint32_t length, const Tables& tables, uint32_t* count) {
  uint32_t n = 0;
  tables.steps[0] = MakeStep(jcalg::kFirstLastOffset, 0, kStart);
  tables.path[n++] = 0;
  uint64_t bits = LiteralMode{}.ChangeBits() + kEndBits;
  const uint32_t runs = length / jcalg::kRawRunBytes;
  uint32_t pos = 0;
  for (uint32_t r = 0; r < runs; ++r) {
    pos += jcalg::kRawRunBytes;
    tables.steps[pos] = MakeStep(jcalg::kFirstLastOffset, jcalg::kRawRunBytes, kRawRun);
    tables.path[n++] = pos;
  }
  // Back-to-back runs share one code (see Emitter): its 8 bits, one bit before each further
  // run and one after the last.
  if (runs > 0) bits += 8 + runs * (8 * jcalg::kRawRunBytes + 1);
  for (; pos < length; ++pos) {
    tables.steps[pos + 1] = MakeStep(jcalg::kFirstLastOffset, 1, kLiteral);
    tables.path[n++] = pos + 1;
    bits += LiteralMode{}.LiteralBits();
  }
  *count = n;
  return static_cast<uint32_t>(bits);
}

void WriteHeader(uint8_t* dest, uint32_t length, uint32_t check) {
  dest[0] = jcalg::kMagic0;
  dest[1] = jcalg::kMagic1;
  jcalg::Store32(dest + jcalg::kSizeOffset, length);
  jcalg::Store32(dest + jcalg::kCheckOffset, check);
}

}  // namespace

namespace {

// Packs with the scratch memory that memory(size) gives (null when it cannot).
template <typename Memory>
int32_t Pack(const uint8_t* source, int32_t length, uint8_t* dest, int32_t dest_capacity,
             int32_t window_size, Memory&& memory, bool no_check_value) {
  if (length < 0 || (source == nullptr && length > 0) || dest == nullptr ||
      dest_capacity < jcalg::kHeaderSize) {
    return 0;
  }
  const uint32_t size = static_cast<uint32_t>(length);
  const uint32_t window =
      std::min(std::max(static_cast<uint32_t>(std::max(window_size, 0)), kMinWindow), size);
  const uint32_t max_offset = window > 0 ? window - 1 : 0;

  LiteralMode modes[kMaxModes];
  const int mode_count = size > 0 ? ChooseModes(source, size, modes) : 1;
  const bool small = size < MatchFinder<uint16_t>::kNone;
  const uint64_t bytes = Tables::Bytes(
      size, mode_count,
      small ? MatchFinder<uint16_t>::TableBytes(size) : MatchFinder<uint32_t>::TableBytes(size));
  if (bytes > 0xFFFFFFFFu) return 0;
  void* const scratch = memory(bytes);
  if (scratch == nullptr) return 0;
  const Tables tables(scratch, size, mode_count);

  const ParseInput input{source, size, max_offset, modes, tables.prices, tables.steps};
  uint32_t count = 0;
  // The census borrows the match finder's memory, which the finder sets up afresh.
  const bool stored = small && LooksIncompressible(source, size, max_offset, modes, mode_count,
                                                   static_cast<uint16_t*>(tables.finder),
                                                   MatchFinder<uint16_t>::KeyBits(size));
  const uint64_t bits = stored  ? StoredPath(size, tables, &count)
                        : small ? Parse<uint16_t>(input, mode_count, tables, &count)
                                : Parse<uint32_t>(input, mode_count, tables, &count);
  const uint64_t stream_bytes = jcalg::kHeaderSize + (bits + 31) / 32 * 4;
  if (stream_bytes > static_cast<uint64_t>(dest_capacity)) return 0;

  WriteHeader(dest, size, no_check_value ? 0 : JcalgCheckValue(source, size));
  BitWriter out(dest + jcalg::kHeaderSize, dest + dest_capacity);
  Emitter(source, modes, tables.steps).Run(tables.path, count, &out);
  if (!out.Finish()) return 0;
  return static_cast<int32_t>(out.next() - dest);
}

}  // namespace

int32_t JcalgPack(const uint8_t* source, int32_t length, uint8_t* dest, int32_t dest_capacity,
                  int32_t window_size, JcalgAlloc alloc, JcalgRelease release,
                  JcalgProgress /*progress*/, bool no_check_value) {
  if (alloc == nullptr || release == nullptr) {
    alloc = DefaultAlloc;
    release = DefaultRelease;
  }
  Scratch scratch{nullptr, release};
  const auto memory = [&](uint64_t bytes) {
    scratch.memory = alloc(static_cast<uint32_t>(bytes));
    return scratch.memory;
  };
  return Pack(source, length, dest, dest_capacity, window_size, memory, no_check_value);
}

int32_t JcalgPack(const uint8_t* source, int32_t length, uint8_t* dest, int32_t dest_capacity,
                  int32_t window_size, JcalgWorkArea* area) {
  if (area == nullptr) return 0;
  const auto memory = [area](uint64_t bytes) { return area->Reserve(bytes); };
  return Pack(source, length, dest, dest_capacity, window_size, memory, false);
}

void* JcalgWorkArea::Reserve(uint64_t size) {
  const uint64_t words = (size + sizeof(uint64_t) - 1) / sizeof(uint64_t);
  if (words > words_) {
    memory_.reset(new (std::nothrow) uint64_t[words]);
    words_ = memory_ ? words : 0;
  }
  return memory_.get();
}

}  // namespace sk
