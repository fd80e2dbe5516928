// Packing and unpacking speed of 6000-byte blocks for the JCalG1 engine at every level, next
// to zlib (compress2 and uncompress, as the ZLIB engine's definition names them) and the
// Densepress and ZLIB engines of the dispatch, on text, structured records, executables,
// zeros and random data, with the packed sizes. After the runs a table compares them, so the
// ratios come from one run on one machine.
//
// Executables are blocks of the programs in /usr/bin (generated code-like bytes where there
// are none); text and records are generated from fixed seeds.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/engines.h"
#include "archive/jcalg.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kBlocksPerKind = 16;

// Prose-like text: common English words drawn with Zipf-like frequencies, some rarer made-up
// words and numbers, capitalised sentences, commas, full stops and paragraphs, lines wrapped
// at 72 columns.
Bytes MakeText(size_t size) {
  static const char* const kWords[] = {
      "the",     "of",      "and",     "to",       "a",         "in",        "is",       "that",
      "for",     "it",      "as",      "was",      "with",      "be",        "by",       "on",
      "not",     "he",      "this",    "are",      "or",        "his",       "from",     "at",
      "which",   "but",     "have",    "an",       "had",       "they",      "you",      "were",
      "their",   "one",     "all",     "we",       "can",       "her",       "has",      "there",
      "been",    "if",      "more",    "when",     "will",      "would",     "who",      "so",
      "no",      "she",     "other",   "its",      "may",       "these",     "about",    "into",
      "them",    "any",     "some",    "time",     "only",      "could",     "new",      "than",
      "then",    "do",      "first",   "my",       "should",    "like",      "such",     "also",
      "our",     "what",    "over",    "most",     "made",      "after",     "even",     "where",
      "many",    "before",  "must",    "through",  "back",      "years",     "much",     "way",
      "well",    "down",    "own",     "work",     "between",   "long",      "being",    "people",
      "because", "under",   "never",   "same",     "another",   "know",      "while",    "last",
      "might",   "great",   "old",     "year",     "off",       "come",      "since",    "against",
      "go",      "came",    "right",   "used",     "take",      "three",     "himself",  "few",
      "house",   "use",     "during",  "without",  "again",     "place",     "around",   "however",
      "home",    "small",   "found",   "thought",  "went",      "say",       "part",     "once",
      "general", "high",    "upon",    "school",   "every",     "does",      "got",      "left",
      "number",  "course",  "always",  "away",     "something", "fact",      "though",   "water",
      "less",    "public",  "put",     "think",    "almost",    "hand",      "enough",   "far",
      "took",    "head",    "yet",     "system",   "better",    "set",       "told",     "nothing",
      "night",   "end",     "why",     "called",   "eyes",      "find",      "going",    "look",
      "asked",   "later",   "knew",    "point",    "program",   "city",      "business", "give",
      "group",   "toward",  "young",   "days",     "let",       "room",      "side",     "social",
      "given",   "present", "several", "order",    "national",  "possible",  "rather",   "second",
      "face",    "per",     "among",   "form",     "important", "often",     "things",   "looked",
      "early",   "white",   "case",    "become",   "large",     "big",       "need",     "four",
      "within",  "felt",    "along",   "children", "saw",       "best",      "church",   "ever",
      "least",   "power",   "light",   "thing",    "seemed",    "family",    "interest", "want",
      "members", "mind",    "country", "area",     "others",    "done",      "turned",   "although",
      "open",    "problem", "certain", "kind",     "began",     "different", "door",     "thus",
      "help",    "means",   "sense",   "whole",    "matter",    "perhaps",   "itself",   "times"};
  static const char* const kSyllables[] = {"ka", "ro",  "mi", "den", "sha", "lor",
                                           "vi", "tes", "an", "bel", "qui", "mar"};
  std::mt19937 rng(20110101);
  const size_t words = std::size(kWords);
  std::vector<double> cumulative(words);
  double total = 0;
  for (size_t i = 0; i < words; ++i) cumulative[i] = total += 1.0 / (static_cast<double>(i) + 1.5);
  std::string text;
  size_t column = 0;
  bool capital = true;
  while (text.size() < size) {
    std::string word;
    const uint32_t pick = rng() % 100;
    if (pick < 3) {
      word = std::to_string(rng() % 2000);
    } else if (pick < 7) {
      for (uint32_t s = 0, n = 2 + rng() % 2; s < n; ++s) word += kSyllables[rng() % 12];
    } else {
      const double u = std::uniform_real_distribution<double>(0.0, total)(rng);
      word = kWords[std::lower_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin()];
    }
    if (capital && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 32);
    capital = false;
    const uint32_t mark = rng() % 100;
    if (mark < 6) {
      word += '.';
      capital = true;
    } else if (mark < 10) {
      word += ',';
    }
    if (column + word.size() + 1 > 72) {
      text += '\n';
      column = 0;
    } else if (column > 0) {
      text += ' ';
      ++column;
    }
    text += word;
    column += word.size();
    if (capital && rng() % 8 == 0) {
      text += "\n\n";
      column = 0;
    }
  }
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

// Fixed-layout records as in tables and databases: a tag, counters, small numbers, prices,
// flags and padded names.
Bytes MakeRecords(size_t size) {
  static const char* const kNames[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta"};
  std::mt19937 rng(1987);
  Bytes out;
  for (uint32_t id = 1000; out.size() < size; ++id) {
    const float price = static_cast<float>(rng() % 10000) / 100.0f;
    uint32_t price_bits = 0;
    std::memcpy(&price_bits, &price, 4);
    const uint32_t fields[] = {0x52454331,
                               id,
                               static_cast<uint32_t>(rng() % 16),
                               static_cast<uint32_t>(rng() % 1000 * 1000),
                               price_bits,
                               0,
                               0xFFFFFFFF,
                               static_cast<uint32_t>(rng())};
    for (uint32_t f : fields) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(f >> (8 * k)));
    }
    std::string name = kNames[rng() % 6];
    name.resize(12, '\0');
    out.insert(out.end(), name.begin(), name.end());
  }
  out.resize(size);
  return out;
}

Bytes MakeExecutables(size_t size) {
  Bytes out;
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/bin", error)) {
    if (entry.is_regular_file(error) && entry.file_size(error) >= 256 * 1024) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (size_t i = 0; i < files.size() && out.size() < size; i += 1 + files.size() / 16) {
    std::ifstream in(files[i], std::ios::binary);
    in.seekg(64 * 1024);
    Bytes block(sk::kBlockSize);
    in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
    if (in.gcount() == static_cast<std::streamsize>(block.size())) {
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  std::mt19937 rng(7);
  static const uint8_t kOps[] = {0x48, 0x89, 0x8B, 0xE8, 0xC3, 0x0F, 0x85, 0xFF, 0x00, 0x24};
  while (out.size() < size) {
    if (rng() % 2) {
      out.push_back(kOps[rng() % std::size(kOps)]);
    } else {
      const uint32_t v = rng() % 2048;
      out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0, 0});
    }
  }
  out.resize(size);
  return out;
}

Bytes MakeRandom(size_t size) {
  std::mt19937 rng(99);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

struct Kind {
  const char* name;
  Bytes data;  // kBlocksPerKind blocks of kBlockSize bytes
};

std::vector<Kind>& Kinds() {
  static std::vector<Kind> kinds = [] {
    const size_t size = static_cast<size_t>(kBlocksPerKind) * sk::kBlockSize;
    return std::vector<Kind>{{"text", MakeText(size)},
                             {"records", MakeRecords(size)},
                             {"exe", MakeExecutables(size)},
                             {"zeros", Bytes(size, 0)},
                             {"random", MakeRandom(size)}};
  }();
  return kinds;
}

// jcalg: the stream functions alone (the window of the level, scratch memory kept from block
// to block as the engine keeps it, no trial unpack);
// engine1/engine0/engine2: the dispatch as the volume writer and reader call it;
// zlib: compress2 and uncompress, as the ZLIB engine is defined.
enum class Coder { kJcalg, kEngine1, kZlib, kEngine2, kEngine0 };
const char* CoderName(Coder coder) {
  switch (coder) {
    case Coder::kJcalg:
      return "jcalg";
    case Coder::kEngine1:
      return "engine1";
    case Coder::kZlib:
      return "zlib";
    case Coder::kEngine2:
      return "engine2";
    case Coder::kEngine0:
      return "engine0";
  }
  return "";
}

// One coder with the buffers a volume writer and reader keep. A packed length of 0 means the
// block is stored.
class Blocks {
 public:
  Blocks(Coder coder, int level)
      : coder_(coder), level_(level), input_(sk::kBlockBufferSize), work_(sk::kBlockBufferSize) {}

  int32_t Pack(const uint8_t* raw, uint8_t* out) {
    switch (coder_) {
      case Coder::kJcalg:
        return std::max(0, sk::JcalgPack(raw, sk::kBlockSize, out, sk::kBlockSize - 1,
                                         sk::JcalgWindowForLevel(level_), &area_));
      case Coder::kZlib: {
        uLongf length = sk::kBlockSize;
        return compress2(out, &length, raw, sk::kBlockSize, level_) == Z_OK
                   ? static_cast<int32_t>(length)
                   : 0;
      }
      default:
        std::memcpy(input_.data(), raw, sk::kBlockSize);  // engine 0 uses it as scratch
        return codec_.Pack(input_.data(), out, work_.data(), sk::kBlockSize, level_, Engine());
    }
  }

  // A stored block is copied, as a reader does.
  int32_t Unpack(const Bytes& stream, const uint8_t* raw, uint8_t* out) {
    if (stream.empty()) {
      std::memcpy(out, raw, sk::kBlockSize);
      return sk::kBlockSize;
    }
    const int32_t length = static_cast<int32_t>(stream.size());
    switch (coder_) {
      case Coder::kJcalg:
        return sk::JcalgUnpack(stream.data(), length, out, sk::kBlockBufferSize);
      case Coder::kZlib: {
        uLongf size = sk::kBlockBufferSize;
        return uncompress(out, &size, stream.data(), static_cast<uLong>(length)) == Z_OK
                   ? static_cast<int32_t>(size)
                   : 0;
      }
      default:
        std::memcpy(input_.data(), stream.data(), stream.size());  // engine 0's scratch
        return codec_.Unpack(input_.data(), out, length, Engine());
    }
  }

 private:
  int32_t Engine() const {
    return coder_ == Coder::kEngine0   ? sk::kEngineDensepress
           : coder_ == Coder::kEngine1 ? sk::kEngineJcalg
                                       : sk::kEngineZlib;
  }

  Coder coder_;
  int level_;
  Bytes input_;
  Bytes work_;
  sk::BlockCodec codec_;
  sk::JcalgWorkArea area_;  // the packer's scratch memory, kept as the engine keeps it
};

std::string Key(const char* direction, Coder coder, const Kind& kind, int level) {
  return std::string(direction) + "/" + CoderName(coder) + "/" + kind.name + "/" +
         std::to_string(level);
}

void BenchPack(benchmark::State& state, Coder coder, const Kind* kind, int level) {
  Blocks blocks(coder, level);
  Bytes out(sk::kBlockBufferSize);
  int64_t packed_total = 0;
  for (int b = 0; b < kBlocksPerKind; ++b) {
    const int32_t packed = blocks.Pack(kind->data.data() + b * sk::kBlockSize, out.data());
    packed_total += packed > 0 ? packed : sk::kBlockSize;
  }
  for (auto _ : state) {
    for (int b = 0; b < kBlocksPerKind; ++b) {
      benchmark::DoNotOptimize(blocks.Pack(kind->data.data() + b * sk::kBlockSize, out.data()));
    }
  }
  state.SetBytesProcessed(state.iterations() * kBlocksPerKind * sk::kBlockSize);
  state.counters["size%"] =
      100.0 * static_cast<double>(packed_total) / static_cast<double>(kind->data.size());
}

void BenchUnpack(benchmark::State& state, Coder coder, const Kind* kind, int level) {
  Blocks blocks(coder, level);
  std::vector<Bytes> streams;
  Bytes out(sk::kBlockBufferSize);
  for (int b = 0; b < kBlocksPerKind; ++b) {
    const uint8_t* raw = kind->data.data() + b * sk::kBlockSize;
    const int32_t packed = blocks.Pack(raw, out.data());
    streams.emplace_back(out.begin(), out.begin() + packed);
    if (blocks.Unpack(streams.back(), raw, out.data()) != sk::kBlockSize ||
        std::memcmp(out.data(), raw, sk::kBlockSize) != 0) {
      state.SkipWithError("round trip failed");
      return;
    }
  }
  for (auto _ : state) {
    for (int b = 0; b < kBlocksPerKind; ++b) {
      benchmark::DoNotOptimize(
          blocks.Unpack(streams[b], kind->data.data() + b * sk::kBlockSize, out.data()));
    }
  }
  state.SetBytesProcessed(state.iterations() * kBlocksPerKind * sk::kBlockSize);
}

// Keeps every run's MB/s and size for the comparison table; with repetitions the median of a
// benchmark's runs stands for it (--benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true evens out a machine whose load changes).
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && medians_.count(name) != 0) continue;
      if (median) medians_.insert(name);
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) mbps_[name] = rate->second.value / 1e6;
      const auto size = run.counters.find("size%");
      if (size != run.counters.end()) size_[name] = size->second.value;
    }
  }

  double Mbps(const std::string& key) const {
    const auto it = mbps_.find(key);
    return it == mbps_.end() ? 0.0 : it->second;
  }
  double Size(const std::string& key) const {
    const auto it = size_.find(key);
    return it == size_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> mbps_;
  std::map<std::string, double> size_;
  std::set<std::string> medians_;
};

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

// Seconds for one pass of packing every block of kind.
double PackSeconds(Blocks& blocks, const Kind& kind, Bytes& out) {
  const auto start = std::chrono::steady_clock::now();
  for (int b = 0; b < kBlocksPerKind; ++b) {
    benchmark::DoNotOptimize(blocks.Pack(kind.data.data() + b * sk::kBlockSize, out.data()));
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The packing speed of JCalG1 over compress2's at level 9, from the two taking turns: each
// round packs the blocks with one and then the other (which goes first alternates) for about
// the same time, and the median of the rounds' ratios stands. The table's figures come from
// runs made minutes apart, and on a machine whose speed drifts under other load that drift
// lands in their ratio; turns of a few milliseconds share it. Load that comes and goes still
// moves single rounds, so the middle half of the rounds is reported beside the median.
struct PairedRatio {
  double median;
  double lower_quartile;
  double upper_quartile;
};

PairedRatio PairedPackRatio(const Kind& kind) {
  constexpr int kRounds = 61;
  constexpr int kPassesPerTurn = 4;
  Blocks jcalg(Coder::kJcalg, 9);
  Blocks zlib(Coder::kZlib, 9);
  Bytes out(sk::kBlockBufferSize);
  PackSeconds(jcalg, kind, out);
  PackSeconds(zlib, kind, out);
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round) {
    double jcalg_seconds = 0.0;
    double zlib_seconds = 0.0;
    for (int turn = 0; turn < 2; ++turn) {
      const bool jcalg_turn = (turn == 0) == (round % 2 == 0);
      for (int pass = 0; pass < kPassesPerTurn; ++pass) {
        (jcalg_turn ? jcalg_seconds : zlib_seconds) +=
            PackSeconds(jcalg_turn ? jcalg : zlib, kind, out);
      }
    }
    ratios.push_back(Ratio(zlib_seconds, jcalg_seconds));
  }
  std::sort(ratios.begin(), ratios.end());
  return {ratios[kRounds / 2], ratios[kRounds / 4], ratios[kRounds - 1 - kRounds / 4]};
}

void PrintTable(const TableReporter& r) {
  std::printf(
      "\nJCalG1 by level (stream functions; sizes in %% of the raw data, stored blocks "
      "counted raw)\n%-8s %5s | %9s %9s | %7s\n",
      "data", "level", "pack MB/s", "unpack", "size %");
  for (const Kind& kind : Kinds()) {
    for (int level = 1; level <= 9; ++level) {
      std::printf("%-8s %5d | %9.2f %9.1f | %7.2f\n", kind.name, level,
                  r.Mbps(Key("pack", Coder::kJcalg, kind, level)),
                  r.Mbps(Key("unpack", Coder::kJcalg, kind, level)),
                  r.Size(Key("pack", Coder::kJcalg, kind, level)));
    }
  }
  std::printf(
      "\nLevel 9 side by side: MB/s pack / unpack, size %%\n%-8s | %-25s | %-25s | "
      "%-25s | %-25s | %-25s\n",
      "data", "jcalg", "engine1 (trial unpack)", "zlib compress2", "engine2 (zlib)",
      "engine0 (densepress)");
  for (const Kind& kind : Kinds()) {
    std::printf("%-8s", kind.name);
    for (Coder coder :
         {Coder::kJcalg, Coder::kEngine1, Coder::kZlib, Coder::kEngine2, Coder::kEngine0}) {
      std::printf(" | %7.2f %7.1f %7.2f%%", r.Mbps(Key("pack", coder, kind, 9)),
                  r.Mbps(Key("unpack", coder, kind, 9)), r.Size(Key("pack", coder, kind, 9)));
    }
    std::printf("\n");
  }
  std::printf(
      "\nJCalG1 (stream functions) against compress2 and uncompress at level 9: speed ratios "
      "and packed sizes side by side\n%-8s | %10s %10s | %8s %8s\n",
      "data", "pack", "unpack", "jcalg", "zlib");
  for (const Kind& kind : Kinds()) {
    std::printf("%-8s | %9.2fx %9.2fx | %7.2f%% %7.2f%%\n", kind.name,
                Ratio(r.Mbps(Key("pack", Coder::kJcalg, kind, 9)),
                      r.Mbps(Key("pack", Coder::kZlib, kind, 9))),
                Ratio(r.Mbps(Key("unpack", Coder::kJcalg, kind, 9)),
                      r.Mbps(Key("unpack", Coder::kZlib, kind, 9))),
                r.Size(Key("pack", Coder::kJcalg, kind, 9)),
                r.Size(Key("pack", Coder::kZlib, kind, 9)));
  }
  const Kind& text = Kinds()[0];
  const double text_size = r.Size(Key("pack", Coder::kJcalg, text, 9));
  const double size = Ratio(text_size, r.Size(Key("pack", Coder::kZlib, text, 9)));
  const double pack = Ratio(r.Mbps(Key("pack", Coder::kJcalg, text, 9)),
                            r.Mbps(Key("pack", Coder::kZlib, text, 9)));
  const double unpack = Ratio(r.Mbps(Key("unpack", Coder::kJcalg, text, 9)),
                              r.Mbps(Key("unpack", Coder::kZlib, text, 9)));
  // The text packed to 48.97% before the parse passed over more positions to gain speed; it
  // may give up at most 1% of that.
  constexpr double kTextSizeLimit = 48.97 * 1.01;
  std::printf("\ntext, level 9: packed size %.2f%% (target at most %.2f%%): %s\n", text_size,
              kTextSizeLimit, text_size > 0 && text_size <= kTextSizeLimit ? "met" : "MISSED");
  std::printf("text, level 9: packed size %.3fx zlib's (target at most 1.10x): %s\n", size,
              size > 0 && size <= 1.10 ? "met" : "MISSED");
  const PairedRatio paired = PairedPackRatio(text);
  std::printf(
      "text, level 9: packing %.2fx as fast as compress2 in turns (middle half of the rounds "
      "%.2fx-%.2fx), %.2fx in the table above (target at least 0.9x): %s\n",
      paired.median, paired.lower_quartile, paired.upper_quartile, pack,
      paired.median >= 0.9 ? "met" : "MISSED");
  std::printf("text, level 9: unpacking %.2fx as fast as uncompress (target at least 1x): %s\n",
              unpack, unpack >= 1.0 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  for (Kind& kind : Kinds()) {
    for (int level = 1; level <= 9; ++level) {
      for (const char* direction : {"pack", "unpack"}) {
        benchmark::RegisterBenchmark(Key(direction, Coder::kJcalg, kind, level).c_str(),
                                     direction[0] == 'p' ? BenchPack : BenchUnpack, Coder::kJcalg,
                                     &kind, level);
      }
    }
    for (Coder coder : {Coder::kEngine1, Coder::kZlib, Coder::kEngine2, Coder::kEngine0}) {
      benchmark::RegisterBenchmark(Key("pack", coder, kind, 9).c_str(), BenchPack, coder, &kind, 9);
      benchmark::RegisterBenchmark(Key("unpack", coder, kind, 9).c_str(), BenchUnpack, coder, &kind,
                                   9);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintTable(reporter);
  benchmark::Shutdown();
  return 0;
}
