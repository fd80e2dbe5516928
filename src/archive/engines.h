// The engine dispatch: every data block of a volume is packed and unpacked through here.
//
// Buffers are kBlockBufferSize bytes each. A packed result is 1 or more bytes of the engine's
// stream in the output buffer; 0 means the block is written raw (no gain, failure, or an
// unknown engine id), which the volume format always allows.
#ifndef STOWKEEPER_ARCHIVE_ENGINES_H_
#define STOWKEEPER_ARCHIVE_ENGINES_H_

#include <cstdint>
#include <memory>

namespace sk {

// The window size the JCalG1 engine uses at a level (the level is an index; anything
// outside 0 to 8 gives the largest window).
int32_t JcalgWindowForLevel(int32_t level);

// Holds the engines' state across the blocks of one job, so that a job does not set up a
// deflate stream or the coders' tables 6000 bytes at a time. Output is byte-identical to a
// fresh set-up per block.
class BlockCodec {
 public:
  BlockCodec();
  ~BlockCodec();
  BlockCodec(const BlockCodec&) = delete;
  BlockCodec& operator=(const BlockCodec&) = delete;

  // Packs input[0, length) (1 to kBlockSize bytes) into output; work is scratch for the
  // trial unpack. Engine 0 uses input as scratch: after a packed result its content is
  // undefined, after a 0 it still holds the raw block, ready to be stored.
  int32_t Pack(uint8_t* input, uint8_t* output, uint8_t* work, int32_t length, int32_t level,
               int32_t engine);

  // Unpacks packed[0, packed_length) into raw and returns the raw length, or 0 on any
  // failure. packed is scratch for engine 0.
  int32_t Unpack(uint8_t* packed, uint8_t* raw, int32_t packed_length, int32_t engine);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// One-shot forms of BlockCodec::Pack and BlockCodec::Unpack.
int32_t PackBlock(uint8_t* input, uint8_t* output, uint8_t* work, int32_t length, int32_t level,
                  int32_t engine);
int32_t UnpackBlock(uint8_t* packed, uint8_t* raw, int32_t packed_length, int32_t engine);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_ENGINES_H_
