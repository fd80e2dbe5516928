#include "support/tree_generator.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace sk::bench {
namespace {

// splitmix64: fast, and the same sequence on every platform (the standard distributions
// are not).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>((Next() >> 32) * n >> 32); }

 private:
  uint64_t state_;
};

constexpr size_t kChunk = 1 << 20;

// Words of a made-up language, used with a skewed frequency as in real text.
class Vocabulary {
 public:
  explicit Vocabulary(Random& random) {
    static const char kLetters[] = "etaoinshrdlucmfwypvbgkqjxz_";
    for (std::string& word : words_) {
      const uint32_t length = 2 + random.Below(9);
      for (uint32_t i = 0; i < length; ++i) {
        // Common letters more often than rare ones.
        word += kLetters[random.Below(1 + random.Below(sizeof kLetters - 1))];
      }
    }
  }
  const std::string& Pick(Random& random) const {
    return words_[(random.Below(256) * random.Below(256)) >> 8];
  }

 private:
  std::string words_[256];
};

void FillText(Random& random, const Vocabulary& words, std::string& out, size_t size) {
  while (out.size() < size) {
    out.append(random.Below(5) * 2, ' ');
    const uint32_t count = 3 + random.Below(10);
    for (uint32_t i = 0; i < count; ++i) {
      if (random.Below(12) == 0) {
        out += std::to_string(random.Below(100000));
      } else {
        out += words.Pick(random);
      }
      out += i + 1 < count ? (random.Below(10) == 0 ? ", " : " ") : (random.Below(3) ? ";" : "");
    }
    out += '\n';
  }
  out.resize(size);
}

void FillBinary(Random& random, std::string& out, size_t size) {
  static const uint8_t kOpcodes[] = {0x48, 0x89, 0x8B, 0xE8, 0x0F, 0x85, 0x74, 0xC3,
                                     0x83, 0xFF, 0x00, 0x24, 0x44, 0x4C, 0x8D, 0x31};
  while (out.size() < size) {
    const uint32_t length = 64 + random.Below(4096);
    switch (random.Below(4)) {
      case 0:  // padding
        out.append(random.Below(512), '\0');
        break;
      case 1: {  // a table of ascending 32-bit values
        uint32_t value = random.Below(1 << 20);
        for (uint32_t i = 0; i < length / 4; ++i) {
          value += random.Below(64);
          for (int b = 0; b < 4; ++b) out += static_cast<char>(value >> (8 * b));
        }
        break;
      }
      default:  // code: frequent opcodes among arbitrary operands
        for (uint32_t i = 0; i < length; ++i) {
          out += static_cast<char>(random.Below(10) < 6 ? kOpcodes[random.Below(16)]
                                                        : random.Below(256));
        }
    }
  }
  out.resize(size);
}

void FillCompressed(Random& random, std::string& out, size_t size) {
  while (out.size() < size) {
    const uint64_t word = random.Next();
    for (int b = 0; b < 8; ++b) out += static_cast<char>(word >> (8 * b));
  }
  out.resize(size);
}

bool WriteContent(const std::string& path, TreeFileKind kind, int64_t size, uint64_t seed) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) return false;
  Random random(seed);
  const Vocabulary words(random);
  std::string chunk;
  for (int64_t left = size; left > 0;) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(left, kChunk));
    chunk.clear();
    switch (kind) {
      case TreeFileKind::kText:
        FillText(random, words, chunk, piece);
        break;
      case TreeFileKind::kBinary:
        FillBinary(random, chunk, piece);
        break;
      case TreeFileKind::kCompressed:
        FillCompressed(random, chunk, piece);
        break;
    }
    if (std::fwrite(chunk.data(), 1, chunk.size(), file.get()) != chunk.size()) return false;
    left -= static_cast<int64_t>(piece);
  }
  return std::fclose(file.release()) == 0;
}

// Relative weights of the file sizes: many small files, a few large ones.
int64_t SizeWeight(Random& random) {
  const uint32_t size_class = random.Below(100);
  if (size_class < 3) return 0;                                  // empty
  if (size_class < 6) return 6000 * (1 + random.Below(20));      // whole blocks
  if (size_class < 35) return 1 + random.Below(4096);            // tiny
  if (size_class < 65) return 4096 + random.Below(60 * 1024);    // small
  if (size_class < 88) return 65536 + random.Below(960 * 1024);  // medium
  return (1 << 20) + random.Below(7 << 20);                      // large
}

const char* Extension(TreeFileKind kind, uint32_t pick) {
  static const char* const kText[] = {".txt", ".cc", ".log", ".csv"};
  static const char* const kBinary[] = {".bin", ".exe", ".db", ".o"};
  static const char* const kCompressed[] = {".zip", ".jpg", ".gz", ".mp3"};
  switch (kind) {
    case TreeFileKind::kText:
      return kText[pick % 4];
    case TreeFileKind::kBinary:
      return kBinary[pick % 4];
    default:
      return kCompressed[pick % 4];
  }
}

}  // namespace

std::vector<GeneratedFile> GenerateTree(const std::string& native_root, int file_count,
                                        int64_t total_bytes, uint32_t seed) {
  std::vector<GeneratedFile> files(static_cast<size_t>(std::max(file_count, 0)));
  if (files.empty()) return files;
  Random random(seed);
  std::vector<int64_t> weights;
  int64_t weight_sum = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    weights.push_back(SizeWeight(random));
    weight_sum += weights.back();
  }
  if (weight_sum == 0) weights[0] = weight_sum = 1;
  // Scale the weights onto the total; the rounding rest goes to the largest file.
  int64_t assigned = 0;
  size_t largest = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    files[i].size = static_cast<int64_t>(static_cast<double>(weights[i]) / weight_sum *
                                         static_cast<double>(total_bytes));
    assigned += files[i].size;
    if (files[i].size > files[largest].size) largest = i;
  }
  files[largest].size += total_bytes - assigned;

  // Kinds by their share of the bytes: each file goes to the kind furthest below its share.
  const double shares[] = {0.40, 0.35, 0.25};
  int64_t kind_bytes[3] = {};
  std::string root = native_root;
  if (root.empty() || root.back() != '/') root += '/';
  ::mkdir(root.c_str(), 0777);
  for (size_t i = 0; i < files.size(); ++i) {
    int kind = 0;
    for (int k = 1; k < 3; ++k) {
      if (kind_bytes[k] / shares[k] < kind_bytes[kind] / shares[kind]) kind = k;
    }
    kind_bytes[kind] += files[i].size;
    files[i].kind = static_cast<TreeFileKind>(kind);
    // Forty folders two levels deep, and some files at the top.
    std::string folder;
    if (i % 17 != 0) {
      folder = "dir" + std::to_string(i % 8) + "/";
      ::mkdir((root + folder).c_str(), 0777);
      folder += "sub" + std::to_string(i / 8 % 5) + "/";
      ::mkdir((root + folder).c_str(), 0777);
    }
    files[i].path = folder + "file" + std::to_string(i) +
                    Extension(files[i].kind, static_cast<uint32_t>(i / 3));
    if (!WriteContent(root + files[i].path, files[i].kind, files[i].size,
                      (static_cast<uint64_t>(seed) << 32) + i)) {
      return {};
    }
  }
  return files;
}

bool RewriteFile(const std::string& native_root, const GeneratedFile& file, uint32_t seed) {
  std::string root = native_root;
  if (root.empty() || root.back() != '/') root += '/';
  return WriteContent(root + file.path, file.kind, file.size,
                      (static_cast<uint64_t>(seed) << 32) ^ 0x5EEDull);
}

}  // namespace sk::bench
