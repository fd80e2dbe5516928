// Sizes shared by every reader and writer of block data.
#ifndef STOWKEEPER_ARCHIVE_BLOCK_H_
#define STOWKEEPER_ARCHIVE_BLOCK_H_

#include <cstdint>

namespace sk {

// File content is cut into blocks of this many raw bytes; the last block of a file holds
// the remainder.
inline constexpr int32_t kBlockSize = 6000;

// Every block buffer holds a block plus 128 bytes of slack. A packed block is never longer
// than this, so every reader can hold any block of any volume.
inline constexpr int32_t kBlockBufferSize = kBlockSize + 128;

// Engine ids as stored in the volume header and in the settings; kEngineCount is the first
// number that names no engine.
enum EngineId : int32_t { kEngineDensepress = 0, kEngineJcalg = 1, kEngineZlib = 2, kEngineCount };

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_BLOCK_H_
