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

// Engine ids as stored in the volume header and in the settings.
inline constexpr int32_t kEngineDensepress = 0;
inline constexpr int32_t kEngineJcalg = 1;
inline constexpr int32_t kEngineZlib = 2;
inline constexpr int32_t kEngineCount = 3;

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_BLOCK_H_
