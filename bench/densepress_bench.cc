// Packing and unpacking speed of 6000-byte blocks for the Densepress engine, its plain
// step-by-step yardstick and the ZLIB engine, on text, binaries, zeros and random data at
// levels 1, 6 and 9, with the packed size. After the runs a table compares them, so the
// ratios come from one run on one machine.
//
// Binaries are blocks of the executables in /usr/bin (generated machine-code-like data where
// there are none); text is generated from a fixed seed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/densepress.h"
#include "archive/engines.h"
#include "support/densepress_reference.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kBlocksPerKind = 16;
const int kLevels[] = {1, 6, 9};

// Words of made-up syllables with Zipf-like frequencies, sentences, punctuation and line
// breaks: close enough to prose for a byte-pair coder.
Bytes MakeText(size_t size) {
  static const char* const kSyllables[] = {"the", "an", "re", "in", "er", "on", "at", "en",
                                           "ing", "st", "ed", "or", "es", "ti", "al", "ar",
                                           "to",  "it", "is", "de", "co", "ve", "ly", "ou"};
  std::mt19937 rng(20110101);
  std::vector<std::string> words;
  for (int w = 0; w < 600; ++w) {
    std::string word;
    const int syllables = 1 + static_cast<int>(rng() % 3);
    for (int s = 0; s < syllables; ++s) word += kSyllables[rng() % std::size(kSyllables)];
    words.push_back(word);
  }
  std::string text;
  bool sentence_start = true;
  while (text.size() < size) {
    // Zipf: the rank is inversely likely to its size.
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    const size_t rank = std::min(words.size() - 1, static_cast<size_t>(std::pow(600.0, u)) - 1);
    std::string word = words[rank];
    if (sentence_start) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    text += word;
    const uint32_t r = rng() % 100;
    sentence_start = r < 7;
    text += r < 7 ? (rng() % 6 == 0 ? ".\r\n" : ". ") : r < 12 ? ", " : " ";
  }
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes MakeBinaries(size_t size) {
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
                             {"binary", MakeBinaries(size)},
                             {"zeros", Bytes(size, 0)},
                             {"random", MakeRandom(size)}};
  }();
  return kinds;
}

enum class Coder { kDensepress, kPlain, kZlib };
const char* CoderName(Coder coder) {
  switch (coder) {
    case Coder::kDensepress:
      return "densepress";
    case Coder::kPlain:
      return "plain";
    case Coder::kZlib:
      return "zlib";
  }
  return "";
}

// One coder packing and unpacking with the buffers a volume writer and reader keep.
class Blocks {
 public:
  Blocks(Coder coder, int level)
      : coder_(coder),
        level_(level),
        input_(sk::kBlockBufferSize),
        work_(sk::kBlockBufferSize),
        scratch_(sk::NewDensepressScratch()) {}

  int32_t Pack(const uint8_t* raw, uint8_t* out) {
    std::memcpy(input_.data(), raw, sk::kBlockSize);  // the coders use the input as scratch
    switch (coder_) {
      case Coder::kDensepress:
        return sk::DensepressPack(input_.data(), sk::kBlockSize, out, level_, scratch_.get());
      case Coder::kPlain:
        return sk::reference::DensepressPack(input_.data(), sk::kBlockSize, out, level_);
      case Coder::kZlib:
        return codec_.Pack(input_.data(), out, work_.data(), sk::kBlockSize, level_,
                           sk::kEngineZlib);
    }
    return 0;
  }

  // A stored block (packed length 0) is copied, as a reader does.
  int32_t Unpack(const Bytes& stream, const uint8_t* raw, uint8_t* out) {
    if (stream.empty()) {
      std::memcpy(out, raw, sk::kBlockSize);
      return sk::kBlockSize;
    }
    std::memcpy(input_.data(), stream.data(), stream.size());  // the decoders use it as scratch
    const int32_t length = static_cast<int32_t>(stream.size());
    switch (coder_) {
      case Coder::kDensepress:
        return sk::DensepressUnpack(input_.data(), length, out, sk::kBlockBufferSize);
      case Coder::kPlain:
        return sk::reference::DensepressUnpack(input_.data(), length, out, sk::kBlockBufferSize);
      case Coder::kZlib:
        return codec_.Unpack(input_.data(), out, length, sk::kEngineZlib);
    }
    return 0;
  }

 private:
  Coder coder_;
  int level_;
  Bytes input_;
  Bytes work_;
  sk::BlockCodec codec_;
  std::unique_ptr<sk::DensepressScratch, void (*)(sk::DensepressScratch*)> scratch_;
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
  int64_t packed_total = 0;
  for (int b = 0; b < kBlocksPerKind; ++b) {
    const uint8_t* raw = kind->data.data() + b * sk::kBlockSize;
    const int32_t packed = blocks.Pack(raw, out.data());
    packed_total += packed > 0 ? packed : sk::kBlockSize;
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
  state.counters["size%"] =
      100.0 * static_cast<double>(packed_total) / static_cast<double>(kind->data.size());
}

// Keeps every run's MB/s and size for the comparison table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) mbps_[run.benchmark_name()] = rate->second.value / 1e6;
      const auto size = run.counters.find("size%");
      if (size != run.counters.end()) size_[run.benchmark_name()] = size->second.value;
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
};

double Ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

void PrintTable(const TableReporter& r) {
  std::printf("\n%-7s %5s | %-34s | %-34s | %-16s\n", "data", "level",
              "pack MB/s: dense  plain  x  zlib", "unpack MB/s: dense  plain  x  zlib",
              "size %: dense zlib");
  for (const Kind& kind : Kinds()) {
    for (int level : kLevels) {
      const double pd = r.Mbps(Key("pack", Coder::kDensepress, kind, level));
      const double pp = r.Mbps(Key("pack", Coder::kPlain, kind, level));
      const double pz = r.Mbps(Key("pack", Coder::kZlib, kind, level));
      const double ud = r.Mbps(Key("unpack", Coder::kDensepress, kind, level));
      const double up = r.Mbps(Key("unpack", Coder::kPlain, kind, level));
      const double uz = r.Mbps(Key("unpack", Coder::kZlib, kind, level));
      std::printf("%-7s %5d | %8.1f %7.1f %5.1fx %7.1f | %8.1f %7.1f %5.1fx %7.1f | %6.1f %6.1f\n",
                  kind.name, level, pd, pp, Ratio(pd, pp), pz, ud, up, Ratio(ud, up), uz,
                  r.Size(Key("pack", Coder::kDensepress, kind, level)),
                  r.Size(Key("pack", Coder::kZlib, kind, level)));
    }
  }
  const Kind& text = Kinds()[0];
  const double pack = Ratio(r.Mbps(Key("pack", Coder::kDensepress, text, 9)),
                            r.Mbps(Key("pack", Coder::kPlain, text, 9)));
  const double unpack = Ratio(r.Mbps(Key("unpack", Coder::kDensepress, text, 9)),
                              r.Mbps(Key("unpack", Coder::kPlain, text, 9)));
  std::printf("\ntext, level 9: packing %.1fx the plain coder (target 2x): %s\n", pack,
              pack >= 2.0 ? "met" : "MISSED");
  std::printf("text, level 9: unpacking %.1fx the plain coder (target 5x): %s\n", unpack,
              unpack >= 5.0 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  for (Kind& kind : Kinds()) {
    for (int level : kLevels) {
      for (Coder coder : {Coder::kDensepress, Coder::kPlain, Coder::kZlib}) {
        benchmark::RegisterBenchmark(Key("pack", coder, kind, level).c_str(), BenchPack, coder,
                                     &kind, level);
        benchmark::RegisterBenchmark(Key("unpack", coder, kind, level).c_str(), BenchUnpack, coder,
                                     &kind, level);
      }
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
