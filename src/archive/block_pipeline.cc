#include "archive/block_pipeline.h"

#include <algorithm>

#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/volume.h"

namespace sk {

int32_t BlockWorkerCount(int32_t requested) {
  if (requested > 0) return requested;
  const unsigned processors = std::thread::hardware_concurrency();
  return processors > 0 ? static_cast<int32_t>(processors) : 1;
}

BlockPipeline::BlockPipeline(int32_t workers)
    : own_codec_(std::make_unique<BlockCodec>()), done_(kBlocksInFlight, 0) {
  blocks_.reserve(kBlocksInFlight);
  for (int32_t i = 0; i < kBlocksInFlight; ++i) {
    blocks_.push_back(std::make_unique<PipelineBlock>());
  }
  const int32_t count = BlockWorkerCount(workers);
  workers_.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

BlockPipeline::~BlockPipeline() { StopWorkers(mutex_, stopping_, work_ready_, workers_); }

PipelineBlock& BlockPipeline::Back() { return *blocks_[(head_ + count_) % kBlocksInFlight]; }

void BlockPipeline::Push() {
  size_t waiting = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[(head_ + count_) % kBlocksInFlight] = 0;
    ++pushed_;
    waiting = pushed_ - started_;
  }
  ++count_;
  // A sleeping worker is woken for a few blocks at once, not for each: waking a thread costs
  // more than packing a small block. A block left waiting is not lost time: an awake worker
  // takes it next, and Front does it on the job's thread when it comes to it first.
  if (waiting >= kWakeBatch) work_ready_.notify_one();
}

PipelineBlock& BlockPipeline::Front() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Rather than wait for the oldest block, the job does the work of the oldest one no worker
  // has taken (blocks are taken in order: the oldest itself when none took it), so that it
  // packs beside the workers instead of sleeping and being woken.
  while (done_[head_] == 0 && started_ < pushed_) {
    const size_t index = started_++ % kBlocksInFlight;
    lock.unlock();
    RunBlock(*blocks_[index], *own_codec_, &pack_cache_);
    lock.lock();
    done_[index] = 1;
  }
  AwaitHead(lock);
  return *blocks_[head_];
}

void BlockPipeline::Pop() {
  head_ = (head_ + 1) % kBlocksInFlight;
  --count_;
}

void BlockPipeline::Clear() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Blocks are started in the order they were pushed: the ones not started are the newest.
  count_ -= pushed_ - started_;
  pushed_ = started_;
  while (count_ > 0) {
    AwaitHead(lock);
    head_ = (head_ + 1) % kBlocksInFlight;
    --count_;
  }
}

void BlockPipeline::AwaitHead(std::unique_lock<std::mutex>& lock) {
  if (done_[head_] != 0) return;
  awaited_ = head_;
  block_done_.wait(lock, [this] { return done_[head_] != 0; });
  awaited_ = kNothingAwaited;
}

void BlockPipeline::Work() {
  // Each worker keeps its own engine state (deflate stream, coder tables) for all its blocks.
  BlockCodec codec;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || started_ < pushed_; });
    if (stopping_) return;
    const size_t index = started_++ % kBlocksInFlight;
    PipelineBlock& block = *blocks_[index];
    lock.unlock();
    RunBlock(block, codec, &pack_cache_);
    lock.lock();
    done_[index] = 1;
    // Only the block the job waits for wakes it: waking it for a later one costs a switch
    // of threads for nothing.
    if (index == awaited_) block_done_.notify_one();
  }
}

namespace {

void PackBlockOf(PipelineBlock& block, BlockCodec& codec, PackCache* cache) {
  // The CRC first: engine 0 uses the raw bytes as scratch when it packs.
  block.crc = Crc32(0, block.raw.data(), static_cast<size_t>(block.length));
  if (cache != nullptr && cache->Find(block.engine, block.level, block.raw.data(), block.length,
                                      block.crc, block.packed.data(), &block.result)) {
    return;
  }
  // Kept aside for the cache, for the same reason.
  std::array<uint8_t, kBlockBufferSize> raw;
  if (cache != nullptr) std::copy_n(block.raw.data(), block.length, raw.data());
  block.result = codec.Pack(block.raw.data(), block.packed.data(), block.work.data(), block.length,
                            block.level, block.engine);
  if (cache != nullptr) {
    cache->Add(block.engine, block.level, raw.data(), block.length, block.crc, block.packed.data(),
               block.result);
  }
}

}  // namespace

void RunBlock(PipelineBlock& block, BlockCodec& codec, PackCache* cache) {
  switch (block.kind) {
    case PipelineBlock::Kind::kPack:
      PackBlockOf(block, codec, cache);
      break;
    case PipelineBlock::Kind::kUnpack:
      block.result =
          codec.Unpack(block.packed.data(), block.raw.data(), block.length, block.engine);
      block.crc = Crc32(0, block.raw.data(), static_cast<size_t>(block.crc_length));
      break;
    case PipelineBlock::Kind::kCrc:
      block.crc = Crc32(0, block.raw.data(), static_cast<size_t>(block.crc_length));
      break;
    case PipelineBlock::Kind::kPass:
      break;
  }
}

bool ReadFrame(PipelineBlock& block, platform::File& file, int32_t engine, int32_t nominal) {
  const int32_t packed_length =
      ReadFrameBytes(file, block.packed.data(), block.raw.data(), block.result);
  block.status = packed_length < 0 ? -1 : 0;
  block.kind = packed_length > 0    ? PipelineBlock::Kind::kUnpack
               : packed_length == 0 ? PipelineBlock::Kind::kCrc
                                    : PipelineBlock::Kind::kPass;
  block.engine = engine;
  block.length = packed_length;
  block.crc_length = nominal;
  block.tag = file.Tell();
  return packed_length >= 0;
}

bool PushFrame(BlockPipeline& pipeline, platform::File& file, int32_t engine, int32_t nominal) {
  const bool read = ReadFrame(pipeline.Back(), file, engine, nominal);
  pipeline.Push();
  return read;
}

}  // namespace sk
