// Blocks packed or unpacked on worker threads and handed back in the order they went in.
//
// A job fills the next free block (Back), hands it over (Push), and takes the oldest one back
// (Front, which waits until a worker is done with it; then Pop). The workers only pack or
// unpack a block and take the CRC-32 of its raw bytes; every read, write, question and
// progress update stays on the job's thread, in the order the job makes them. A block packs
// to the same bytes on any thread (the engines keep nothing from one block to the next), so
// a volume does not depend on the number of workers.
//
// Memory is fixed: kBlocksInFlight blocks of three kBlockBufferSize buffers each, whatever
// the size of the files or the tree.
#ifndef STOWKEEPER_ARCHIVE_BLOCK_PIPELINE_H_
#define STOWKEEPER_ARCHIVE_BLOCK_PIPELINE_H_

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/block.h"
#include "archive/pack_cache.h"
#include "platform/file_system.h"

namespace sk {

class BlockCodec;

inline constexpr int32_t kBlocksInFlight = 32;

// Worker threads for a job: requested when above 0, else one per processor; at least 1.
int32_t BlockWorkerCount(int32_t requested);

// Ends a job's worker threads: sets stopping under the mutex they wait with, wakes every one
// waiting on wake and waits until each has returned.
template <typename Flag>
void StopWorkers(std::mutex& mutex, Flag& stopping, std::condition_variable& wake,
                 std::vector<std::thread>& workers) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  for (std::thread& worker : workers) worker.join();
}

struct PipelineBlock {
  enum class Kind : uint8_t {
    kPack,    // pack raw[0, length); result is the packed length in packed, or 0: store
              // raw (raw then still holds the block)
    kUnpack,  // unpack packed[0, length) into raw; result is the raw length, 0 on failure
    kCrc,     // raw already holds the block (a stored frame, a file being compared);
              // result stays as the job set it
    kPass,    // nothing to do: a marker that keeps its place in the order (a record, an end)
  };
  Kind kind = Kind::kPass;
  int32_t engine = 0;
  int32_t level = 9;  // kPack only
  int32_t length = 0;
  // kUnpack, kCrc: how many bytes of raw the CRC covers (the block's nominal length),
  // whatever the engine gave back.
  int32_t crc_length = 0;
  int32_t result = 0;
  uint32_t crc = 0;  // CRC-32 of the raw bytes alone, from 0 (for Crc32Combine)
  // Whatever the job needs to know about the block when it comes back.
  int64_t tag = 0;
  int32_t status = 0;
  std::array<uint8_t, kBlockBufferSize> raw;
  std::array<uint8_t, kBlockBufferSize> packed;
  std::array<uint8_t, kBlockBufferSize> work;
};

class BlockPipeline {
 public:
  // workers as BlockWorkerCount takes them.
  explicit BlockPipeline(int32_t workers = 0);
  // Drops the blocks no worker has started and waits for those being worked on: a cancel
  // costs at most one block's time per worker.
  ~BlockPipeline();
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  bool Full() const { return count_ == kBlocksInFlight; }
  bool Empty() const { return count_ == 0; }
  // The next free block (only when not Full); its kind, length and tag are the job's to set.
  PipelineBlock& Back();
  void Push();
  // The oldest block, once its work is done (only when not Empty). Until then the calling
  // thread does the work of the oldest blocks no worker has taken, the oldest itself first.
  PipelineBlock& Front();
  void Pop();
  // Drops every block: those no worker has started at once, the others once they are done.
  void Clear();

 private:
  // Waits until the oldest block is done (mutex_ held).
  void AwaitHead(std::unique_lock<std::mutex>& lock);
  void Work();

  std::vector<std::unique_ptr<PipelineBlock>> blocks_;
  std::unique_ptr<BlockCodec> own_codec_;  // the job's thread's, for Front
  PackCache pack_cache_;                   // the job's packed blocks, for blocks met again
  std::vector<uint8_t> done_;              // per block, under mutex_
  size_t head_ = 0;                        // the oldest block
  size_t count_ = 0;                       // blocks pushed and not popped (job thread only)
  size_t pushed_ = 0;                      // blocks pushed in all, under mutex_
  size_t started_ = 0;                     // blocks a worker has taken in all, under mutex_
  bool stopping_ = false;
  static constexpr size_t kNothingAwaited = ~size_t{0};
  static constexpr size_t kWakeBatch = 4;  // blocks waiting before a sleeping worker wakes
  size_t awaited_ = kNothingAwaited;       // the block the job waits for, under mutex_
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable block_done_;
  std::vector<std::thread> workers_;
};

// Does a block's work (its kind) on the calling thread; a block to pack that cache holds is
// not packed again.
void RunBlock(PipelineBlock& block, BlockCodec& codec, PackCache* cache = nullptr);

// Reads the next block frame of a volume into block, as PushFrame does, for a job that does
// the block's work itself (RunBlock).
bool ReadFrame(PipelineBlock& block, platform::File& file, int32_t engine, int32_t nominal);

// Reads the next block frame of a volume into the pipeline's next free block and hands it
// to the workers: a packed frame to be unpacked with engine, a stored one to be checksummed;
// nominal is the raw length the block should give. The block's result is the raw length it
// gave, its tag the file position just past the frame, its status -1 when the frame itself
// is damaged (then false is returned).
bool PushFrame(BlockPipeline& pipeline, platform::File& file, int32_t engine, int32_t nominal);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_BLOCK_PIPELINE_H_
