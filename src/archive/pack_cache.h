// Packed blocks remembered by their raw bytes, so that a block met again in the same job (a
// copy of a file, the same library under two names, a file that repeats a block) is packed
// once. A block's packed bytes depend on its raw bytes, the engine and the level alone (no
// engine keeps anything from one block to the next), so a remembered result is exactly what
// packing the block again would give: the volume is the same, only faster to make.
//
// Memory is bounded: at most kEntries blocks, each held with its raw and packed bytes; the
// oldest entry gives way to a new one. Entries are taken as blocks come, so a small job holds
// little. Safe to use from several threads at once.
#ifndef STOWKEEPER_ARCHIVE_PACK_CACHE_H_
#define STOWKEEPER_ARCHIVE_PACK_CACHE_H_

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace sk {

class PackCache {
 public:
  // Copies of files lie a few hundred blocks apart at most in a tree walked folder by folder;
  // 1024 entries keep about 12 MB at the most.
  static constexpr size_t kEntries = 1024;

  // When a block with these raw bytes was packed with this engine and level, writes its
  // packed bytes to packed and returns true with *result set as the packer gave it (0: the
  // block is stored raw). crc is the CRC-32 of raw[0, length), which keys the lookup; the
  // bytes themselves decide.
  bool Find(int32_t engine, int32_t level, const uint8_t* raw, int32_t length, uint32_t crc,
            uint8_t* packed, int32_t* result);

  // Remembers what packing raw[0, length) gave: result packed bytes (0: stored).
  void Add(int32_t engine, int32_t level, const uint8_t* raw, int32_t length, uint32_t crc,
           const uint8_t* packed, int32_t result);

  size_t size() const;

 private:
  struct Entry {
    uint64_t key = 0;            // holds the raw length, which splits bytes
    std::vector<uint8_t> bytes;  // the raw bytes, then the packed ones
  };

  static uint64_t Key(int32_t engine, int32_t level, int32_t length, uint32_t crc);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;                  // up to kEntries, replaced oldest first
  size_t next_ = 0;                             // the entry the next Add replaces once full
  std::unordered_map<uint64_t, size_t> index_;  // key to entry
};

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_PACK_CACHE_H_
