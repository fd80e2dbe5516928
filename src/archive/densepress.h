// Densepress: the byte-pair substitution coder, engine 0.
#ifndef STOWKEEPER_ARCHIVE_DENSEPRESS_H_
#define STOWKEEPER_ARCHIVE_DENSEPRESS_H_

#include <cstdint>
#include <memory>

namespace sk {

// Encoder tables that can be kept from one block to the next.
struct DensepressScratch;
std::unique_ptr<DensepressScratch, void (*)(DensepressScratch*)> NewDensepressScratch();

// Packs data[0, length) into out and returns the stream length, always below length, or 0
// when not a single pass pays. data is scratch, but after a 0 it still holds the raw block;
// both buffers hold at least length + 12 bytes.
int32_t DensepressPack(uint8_t* data, int32_t length, uint8_t* out, int32_t level,
                       DensepressScratch* scratch = nullptr);

// Unpacks a stream of stream_length bytes into out and returns the raw length, or 0 when the
// stream is refused. stream and out both hold capacity bytes; stream is scratch. A stream
// longer than capacity, or one that would unpack to more, is refused; nothing is written to
// out unless the stream's length and CRC are right.
int32_t DensepressUnpack(uint8_t* stream, int32_t stream_length, uint8_t* out, int32_t capacity);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_DENSEPRESS_H_
