#include "archive/engines.h"

#include <zlib.h>

#include <cstring>

#include "archive/block.h"
#include "archive/densepress.h"
#include "archive/jcalg.h"

namespace sk {

int32_t JcalgWindowForLevel(int32_t level) {
  static constexpr int32_t kWindows[] = {1024, 2048, 4096, 8192, 16384, 32768, 40960, 57344};
  if (level >= 0 && level < 8) return kWindows[level];
  return 65536;
}

namespace {

// Runs one whole block through a zlib stream (deflate or inflate) in a single call: the
// length it wrote, or 0 when the stream did not end within the output.
int32_t RunWholeStream(z_stream& stream, decltype(&deflate) step, const uint8_t* input,
                       int32_t input_length, uint8_t* output, int32_t output_capacity) {
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = static_cast<uInt>(input_length);
  stream.next_out = output;
  stream.avail_out = static_cast<uInt>(output_capacity);
  if (step(&stream, Z_FINISH) != Z_STREAM_END) return 0;
  return static_cast<int32_t>(stream.total_out);
}

}  // namespace

struct BlockCodec::State {
  // One deflate stream serves every block; it is set up again only when the level changes.
  z_stream deflater{};
  bool deflater_ready = false;
  bool deflater_refused = false;  // zlib does not accept this level: every block is stored
  int32_t deflater_level = 0;

  z_stream inflater{};
  bool inflater_ready = false;

  std::unique_ptr<DensepressScratch, void (*)(DensepressScratch*)> densepress{nullptr, nullptr};

  // The JCalG1 packer's scratch memory, kept for every block of the job.
  JcalgWorkArea jcalg_area;

  ~State() {
    if (deflater_ready) deflateEnd(&deflater);
    if (inflater_ready) inflateEnd(&inflater);
  }

  bool PrepareDeflater(int32_t level) {
    if (deflater_ready && deflater_level == level) return deflateReset(&deflater) == Z_OK;
    if (!deflater_ready && deflater_refused && deflater_level == level) return false;
    if (deflater_ready) deflateEnd(&deflater);
    deflater = z_stream{};
    deflater_level = level;
    deflater_ready = deflateInit(&deflater, level) == Z_OK;
    deflater_refused = !deflater_ready;
    return deflater_ready;
  }

  // Equivalent to compress2 with the output capacity set to the block's own length: only a
  // stream that fits into the raw length is worth writing.
  int32_t Deflate(const uint8_t* input, uint8_t* output, int32_t length, int32_t level) {
    if (!PrepareDeflater(level)) return 0;
    return RunWholeStream(deflater, deflate, input, length, output, length);
  }

  // Equivalent to uncompress into a kBlockBufferSize output. The input is limited to the
  // packed length of the frame: a stream that needs bytes beyond its own frame is damaged.
  int32_t Inflate(const uint8_t* packed, uint8_t* raw, int32_t packed_length) {
    if (!inflater_ready) {
      inflater = z_stream{};
      inflater_ready = inflateInit(&inflater) == Z_OK;
      if (!inflater_ready) return 0;
    } else if (inflateReset(&inflater) != Z_OK) {
      return 0;
    }
    return RunWholeStream(inflater, inflate, packed, packed_length, raw, kBlockBufferSize);
  }

  int32_t Jcalg(const uint8_t* input, uint8_t* output, uint8_t* work, int32_t length,
                int32_t level) {
    // A stream that is not shorter than the raw block is not worth writing.
    const int32_t packed =
        JcalgPack(input, length, output, length - 1, JcalgWindowForLevel(level), &jcalg_area);
    if (packed <= 0) return 0;
    // Trial unpack: only a stream that gives back exactly the block is written.
    const int32_t unpacked = JcalgUnpack(output, packed, work, kBlockBufferSize);
    if (unpacked != length || std::memcmp(work, input, static_cast<size_t>(length)) != 0) {
      return 0;
    }
    return packed;
  }
};

BlockCodec::BlockCodec() : state_(std::make_unique<State>()) {}
BlockCodec::~BlockCodec() = default;

int32_t BlockCodec::Pack(uint8_t* input, uint8_t* output, uint8_t* work, int32_t length,
                         int32_t level, int32_t engine) {
  if (length < 1 || length > kBlockSize) return 0;
  int32_t packed = 0;
  switch (engine) {
    case kEngineDensepress:
      if (!state_->densepress) state_->densepress = NewDensepressScratch();
      packed = DensepressPack(input, length, output, level, state_->densepress.get());
      break;
    case kEngineJcalg:
      packed = state_->Jcalg(input, output, work, length, level);
      break;
    case kEngineZlib:
      packed = state_->Deflate(input, output, length, level);
      break;
    default:
      return 0;
  }
  // Every reader holds a packed block in kBlockBufferSize bytes.
  return packed > 0 && packed <= kBlockBufferSize ? packed : 0;
}

int32_t BlockCodec::Unpack(uint8_t* packed, uint8_t* raw, int32_t packed_length, int32_t engine) {
  if (packed_length < 1 || packed_length > kBlockBufferSize) return 0;
  switch (engine) {
    case kEngineDensepress:
      return DensepressUnpack(packed, packed_length, raw, kBlockBufferSize);
    case kEngineJcalg:
      return JcalgUnpack(packed, packed_length, raw, kBlockBufferSize);
    case kEngineZlib:
      return state_->Inflate(packed, raw, packed_length);
    default:
      return 0;
  }
}

int32_t PackBlock(uint8_t* input, uint8_t* output, uint8_t* work, int32_t length, int32_t level,
                  int32_t engine) {
  BlockCodec codec;
  return codec.Pack(input, output, work, length, level, engine);
}

int32_t UnpackBlock(uint8_t* packed, uint8_t* raw, int32_t packed_length, int32_t engine) {
  BlockCodec codec;
  return codec.Unpack(packed, raw, packed_length, engine);
}

}  // namespace sk
