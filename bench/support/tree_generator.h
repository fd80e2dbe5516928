// A deterministic source tree for the job benchmarks: text, binaries and already-compressed
// data in files of many sizes, spread over nested folders.
#ifndef STOWKEEPER_BENCH_SUPPORT_TREE_GENERATOR_H_
#define STOWKEEPER_BENCH_SUPPORT_TREE_GENERATOR_H_

#include <cstdint>
#include <string>
#include <vector>

namespace sk::bench {

enum class TreeFileKind {
  kText,        // words, numbers and indented lines: packs to about a third
  kBinary,      // structured records and code-like bytes: packs to about half or more
  kCompressed,  // bytes without redundancy, as in archives and media: stored
};

struct GeneratedFile {
  std::string path;  // native, relative to the root, "/"-separated
  int64_t size = 0;
  TreeFileKind kind = TreeFileKind::kText;
};

// Writes file_count files of total_bytes together below native_root (created when
// missing) and returns them in the order written. The same seed gives the same tree,
// byte for byte. Sizes range from empty files to several megabytes; about 40% of the bytes
// are text, 35% binaries and 25% already compressed. Returns an empty list when a file
// cannot be written.
std::vector<GeneratedFile> GenerateTree(const std::string& native_root, int file_count,
                                        int64_t total_bytes, uint32_t seed);

// Rewrites the content of one file of a generated tree in place with new bytes of the same
// kind and size (for benchmarks that change part of a tree between runs). False when it
// cannot be written.
bool RewriteFile(const std::string& native_root, const GeneratedFile& file, uint32_t seed);

}  // namespace sk::bench

#endif  // STOWKEEPER_BENCH_SUPPORT_TREE_GENERATOR_H_
