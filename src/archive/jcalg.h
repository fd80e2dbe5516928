// The JCalG1 stream: engine 1, an LZ77-family bit stream.
#ifndef STOWKEEPER_ARCHIVE_JCALG_H_
#define STOWKEEPER_ARCHIVE_JCALG_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sk {

using JcalgAlloc = void* (*)(uint32_t size);
using JcalgRelease = bool (*)(void* memory);
using JcalgProgress = bool (*)(uint32_t done, uint32_t total);

// Packs source[0, length) into dest and returns the stream length, header included, or 0 when
// it fails or would not fit into dest_capacity bytes; the bytes of dest after the stream, up to
// dest_capacity, may be overwritten. No match reaches further back than
// window_size - 1 (the window limited to at least 1024 and at most length). Scratch memory
// comes from alloc and goes back through release (std::malloc and std::free when null).
// progress is not called: a block is packed in well under a millisecond.
int32_t JcalgPack(const uint8_t* source, int32_t length, uint8_t* dest, int32_t dest_capacity,
                  int32_t window_size, JcalgAlloc alloc, JcalgRelease release,
                  JcalgProgress progress, bool no_check_value);

// Scratch memory for packing that a caller keeps from block to block: once it has grown to the
// largest block, packing allocates nothing. An area serves one packer at a time (one per
// thread); no data is carried from one block to the next.
class JcalgWorkArea {
 public:
  JcalgWorkArea() = default;
  JcalgWorkArea(const JcalgWorkArea&) = delete;
  JcalgWorkArea& operator=(const JcalgWorkArea&) = delete;

  // At least size bytes, aligned for any scalar type; null when the memory cannot be had.
  void* Reserve(uint64_t size);

 private:
  std::unique_ptr<uint64_t[]> memory_;
  uint64_t words_ = 0;
};

// JcalgPack with its scratch memory taken from area, and the check value on.
int32_t JcalgPack(const uint8_t* source, int32_t length, uint8_t* dest, int32_t dest_capacity,
                  int32_t window_size, JcalgWorkArea* area);

// Unpacks a stream of stream_length bytes into dest and returns the number of bytes produced,
// or 0 when the stream is refused. Never reads or writes outside either buffer.
int32_t JcalgUnpack(const uint8_t* stream, int32_t stream_length, uint8_t* dest,
                    int32_t dest_capacity);

// The check value a stream header carries for data[0, length).
uint32_t JcalgCheckValue(const uint8_t* data, size_t length);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_JCALG_H_
