#include "archive/pack_cache.h"

#include <algorithm>
#include <cstring>

namespace sk {

// Engines and levels are small numbers and a block is at most a few thousand bytes: all
// four fit beside each other in one key. Blocks with the same key and other bytes (the CRC
// is 32 bits) share one entry, the latest.
uint64_t PackCache::Key(int32_t engine, int32_t level, int32_t length, uint32_t crc) {
  return uint64_t{crc} | uint64_t{static_cast<uint32_t>(length) & 0xFFFFu} << 32 |
         uint64_t{static_cast<uint32_t>(level) & 0xFFu} << 48 |
         uint64_t{static_cast<uint32_t>(engine) & 0xFFu} << 56;
}

bool PackCache::Find(int32_t engine, int32_t level, const uint8_t* raw, int32_t length,
                     uint32_t crc, uint8_t* packed, int32_t* result) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = index_.find(Key(engine, level, length, crc));
  if (found == index_.end()) return false;
  const Entry& entry = entries_[found->second];
  if (std::memcmp(entry.bytes.data(), raw, static_cast<size_t>(length)) != 0) return false;
  std::copy(entry.bytes.begin() + length, entry.bytes.end(), packed);
  *result = static_cast<int32_t>(entry.bytes.size()) - length;
  return true;
}

void PackCache::Add(int32_t engine, int32_t level, const uint8_t* raw, int32_t length,
                    uint32_t crc, const uint8_t* packed, int32_t result) {
  if (length < 0 || result < 0) return;
  const uint64_t key = Key(engine, level, length, crc);
  std::lock_guard<std::mutex> lock(mutex_);
  size_t slot = 0;
  const auto known = index_.find(key);
  if (known != index_.end()) {
    slot = known->second;  // another block with the same key, or two threads packing one
  } else if (entries_.size() < kEntries) {
    slot = entries_.size();
    entries_.emplace_back();
  } else {
    slot = next_;
    next_ = (next_ + 1) % kEntries;
    index_.erase(entries_[slot].key);
  }
  Entry& entry = entries_[slot];
  entry.key = key;
  entry.bytes.assign(raw, raw + length);
  entry.bytes.insert(entry.bytes.end(), packed, packed + result);
  index_[key] = slot;
}

size_t PackCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index_.size();
}

}  // namespace sk
