#include "archive/volume.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "support/test_support.h"

namespace sk {
namespace {

using platform::File;
using testing::TempFolder;

// Volume bytes built by hand, independently of the writer.
struct Bytes {
  std::string data;
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data += static_cast<char>(v >> (8 * i));
    return *this;
  }
  Bytes& U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) data += static_cast<char>(v >> (8 * i));
    return *this;
  }
  Bytes& Raw(const std::string& s) {
    data += s;
    return *this;
  }
  // A record head; returns the offset of its end-offset field.
  size_t Head(const std::string& path, uint64_t end, uint32_t crc, uint64_t size,
              uint32_t attributes) {
    data += path + "\r\n";
    const size_t at = data.size();
    U64(end).U32(crc).U64(size).U32(attributes);
    return at;
  }
  void PatchEnd(size_t at, uint64_t end) {
    for (int i = 0; i < 8; ++i) data[at + i] = static_cast<char>(end >> (8 * i));
  }
};

std::string Zlib(const std::string& raw) {
  uLongf length = compressBound(raw.size());
  std::string out(length, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                      reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 6),
            Z_OK);
  out.resize(length);
  return out;
}

uint32_t CrcOf(const std::string& s) {
  return Crc32(0, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

struct SampleVolume {
  std::string bytes;
  std::vector<int64_t> record_ends;  // end offset of each record, in order
  std::string file_a, file_b;
};

// Header, a folder, a file of two blocks (one packed, one stored) and an empty file.
SampleVolume MakeSample() {
  SampleVolume v;
  v.file_a = testing::TextData(kBlockSize, 4);
  v.file_b = "tail";
  Bytes b;
  b.U32(0x00024B53);
  size_t at = b.Head("src\\", 0, 0, 0, 0x10);
  b.PatchEnd(at, b.data.size());
  v.record_ends.push_back(static_cast<int64_t>(b.data.size()));
  const std::string content = v.file_a + v.file_b;
  at = b.Head("src\\a.txt", 0, CrcOf(content), content.size(), 0x20);
  const std::string packed = Zlib(v.file_a);
  b.U32(static_cast<uint32_t>(packed.size())).Raw(packed);
  b.U32(0).U32(4).Raw(v.file_b);
  b.PatchEnd(at, b.data.size());
  v.record_ends.push_back(static_cast<int64_t>(b.data.size()));
  at = b.Head("src\\empty", 0, 0, 0, 0x21);
  b.PatchEnd(at, b.data.size());
  v.record_ends.push_back(static_cast<int64_t>(b.data.size()));
  v.bytes = b.data;
  return v;
}

TEST(VolumeHeaderTest, WordAndCheck) {
  EXPECT_EQ(HeaderWord(0), 0x00004B53u);
  EXPECT_EQ(HeaderWord(2), 0x00024B53u);
  for (int32_t engine = 0; engine < kEngineCount; ++engine) {
    EXPECT_EQ(CheckHeaderWord(HeaderWord(engine)), engine);
  }
  EXPECT_EQ(CheckHeaderWord(0x00034B53), -1);  // engine 3 does not exist
  EXPECT_EQ(CheckHeaderWord(0xFFFF4B53), -1);  // the engine is unsigned
  EXPECT_EQ(CheckHeaderWord(0x0000534B), -1);  // "KS"
  EXPECT_EQ(CheckHeaderWord(0x00006B73), -1);  // "sk"
  EXPECT_EQ(CheckHeaderWord(0), -1);

  TempFolder tmp;
  File file;
  ASSERT_TRUE(file.Create(tmp.Internal("v")));
  ASSERT_TRUE(WriteHeader(file, 1));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(tmp.Read("v"), std::string("SK\x01\x00", 4));
}

TEST(VolumeRecordTest, WriterOutputReadsBack) {
  TempFolder tmp;
  const std::string raw = testing::TextData(kBlockSize, 9);
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("v")));
  ASSERT_TRUE(WriteHeader(out, kEngineZlib));
  int64_t patch = 0;
  ASSERT_TRUE(WriteRecordHead(out, "d\\", 0, 0x10, patch));
  EXPECT_EQ(patch, 4 + 4);
  ASSERT_TRUE(PatchRecord(out, patch, 0));
  ASSERT_TRUE(WriteRecordHead(out, "d\\f", 6005, 0x21, patch));
  const std::string packed = Zlib(raw);
  ASSERT_TRUE(WritePackedFrame(out, reinterpret_cast<const uint8_t*>(packed.data()),
                               static_cast<int32_t>(packed.size())));
  ASSERT_TRUE(WriteStoredFrame(out, reinterpret_cast<const uint8_t*>("12345"), 5));
  const uint32_t crc = CrcOf(raw + "12345");
  ASSERT_TRUE(PatchRecord(out, patch, crc));
  EXPECT_EQ(out.Tell(), out.Size());
  ASSERT_TRUE(out.Close());

  File in;
  ASSERT_TRUE(in.OpenRead(tmp.Internal("v")));
  const int64_t size = in.Size();
  uint8_t word[4];
  ASSERT_TRUE(in.ReadExact(word, 4));
  EXPECT_EQ(CheckHeaderWord(GetU32(word)), kEngineZlib);
  VolumeRecord head;
  ASSERT_EQ(ReadRecordHead(in, size, head), RecordStatus::kOk);
  EXPECT_EQ(head.path, "d\\");
  EXPECT_TRUE(head.IsFolder());
  EXPECT_EQ(head.start, 4);
  EXPECT_EQ(head.end_offset, 4 + 2 + kRecordOverhead);
  EXPECT_EQ(head.attributes, 0x10);
  ASSERT_EQ(ReadRecordHead(in, size, head), RecordStatus::kOk);
  EXPECT_EQ(head.path, "d\\f");
  EXPECT_FALSE(head.IsFolder());
  EXPECT_EQ(head.size, 6005);
  EXPECT_EQ(head.crc, crc);
  EXPECT_EQ(head.attributes, 0x21);
  EXPECT_EQ(head.end_offset, size);
  EXPECT_EQ(head.StoredSize(), size - head.start);
  BlockCodec codec;
  std::vector<uint8_t> scratch(kBlockBufferSize), block(kBlockBufferSize);
  ASSERT_EQ(ReadBlockFrame(in, codec, kEngineZlib, scratch.data(), block.data()), kBlockSize);
  EXPECT_EQ(std::memcmp(block.data(), raw.data(), raw.size()), 0);
  ASSERT_EQ(ReadBlockFrame(in, codec, kEngineZlib, scratch.data(), block.data()), 5);
  EXPECT_EQ(std::memcmp(block.data(), "12345", 5), 0);
  EXPECT_EQ(ReadRecordHead(in, size, head), RecordStatus::kEnd);
}

// Reads a volume the way every reader does; returns the statuses of the record heads in
// order (kOk records are read to their end offset through their frames).
std::vector<RecordStatus> Walk(const std::string& native) {
  std::vector<RecordStatus> statuses;
  File in;
  if (!in.OpenRead(platform::InternalPath(native))) return statuses;
  const int64_t size = in.Size();
  uint8_t word[4];
  if (!in.ReadExact(word, 4) || CheckHeaderWord(GetU32(word)) < 0) return statuses;
  BlockCodec codec;
  std::vector<uint8_t> scratch(kBlockBufferSize), block(kBlockBufferSize);
  // Every round moves forward or stops, so this ends; the bound only makes a fault fail
  // the test instead of hanging it.
  for (int round = 0; round < 100; ++round) {
    VolumeRecord head;
    const RecordStatus status = ReadRecordHead(in, size, head);
    statuses.push_back(status);
    if (status != RecordStatus::kOk) break;
    EXPECT_GE(head.end_offset, head.blocks_start);
    EXPECT_LE(head.end_offset, size);
    int64_t left = head.IsFolder() ? 0 : head.size;
    while (left > 0) {
      const int32_t got = ReadBlockFrame(in, codec, kEngineZlib, scratch.data(), block.data());
      if (got <= 0) break;
      EXPECT_LE(got, kBlockBufferSize);
      left -= got;
    }
    if (!in.Seek(head.end_offset)) break;
  }
  return statuses;
}

TEST(VolumeRecordTest, ACutVolumeNeverReadsPastItsEnd) {
  TempFolder tmp;
  const SampleVolume v = MakeSample();
  const auto size = static_cast<int64_t>(v.bytes.size());
  ASSERT_EQ(v.record_ends.back(), size);
  const std::vector<RecordStatus> whole = Walk((tmp.Write("v", v.bytes), tmp.Native("v")));
  EXPECT_EQ(whole, (std::vector<RecordStatus>{RecordStatus::kOk, RecordStatus::kOk,
                                              RecordStatus::kOk, RecordStatus::kEnd}));
  for (int64_t cut = 4; cut < size; ++cut) {
    tmp.Write("v", v.bytes.substr(0, static_cast<size_t>(cut)));
    // The records that end within the cut read whole; the next one is damaged, or the
    // volume simply ends when the cut falls between two records.
    std::vector<RecordStatus> expected;
    bool at_boundary = cut == 4;
    for (const int64_t end : v.record_ends) {
      if (end <= cut) expected.push_back(RecordStatus::kOk);
      at_boundary = at_boundary || end == cut;
    }
    expected.push_back(at_boundary ? RecordStatus::kEnd : RecordStatus::kDamaged);
    EXPECT_EQ(Walk(tmp.Native("v")), expected) << "cut at " << cut;
  }
}

TEST(VolumeRecordTest, DamagedFixedFieldsAreRefused) {
  TempFolder tmp;
  const auto head_of = [&tmp](const std::string& bytes, VolumeRecord& head) {
    tmp.Write("v", bytes);
    File in;
    EXPECT_TRUE(in.OpenRead(tmp.Internal("v")));
    EXPECT_TRUE(in.Seek(4));
    return ReadRecordHead(in, in.Size(), head);
  };
  VolumeRecord head;
  {
    // End offset 0: what an interrupted write leaves.
    Bytes b;
    b.U32(0x00024B53).Head("a\\", 0, 0, 0, 0x10);
    EXPECT_EQ(head_of(b.data, head), RecordStatus::kDamaged);
  }
  {
    // An end offset inside the fixed fields, and one past the end of the file.
    Bytes b;
    b.U32(0x00024B53).Head("a\\", 4 + 4 + 23, 0, 0, 0x10);
    EXPECT_EQ(head_of(b.data, head), RecordStatus::kDamaged);
    Bytes c;
    c.U32(0x00024B53).Head("a\\", 4 + 4 + 24 + 1, 0, 0, 0x10);
    EXPECT_EQ(head_of(c.data, head), RecordStatus::kDamaged);
    Bytes d;
    d.U32(0x00024B53).Head("a\\", 4 + 4 + 24, 0, 0, 0x10);
    EXPECT_EQ(head_of(d.data, head), RecordStatus::kOk);
  }
  {
    // A size that reads as negative, and an end offset with the sign bit set.
    Bytes b;
    b.U32(0x00024B53).Head("f", 4 + 3 + 24, 0, ~uint64_t{0}, 0x20);
    EXPECT_EQ(head_of(b.data, head), RecordStatus::kDamaged);
    Bytes c;
    c.U32(0x00024B53).Head("f", uint64_t{1} << 63, 0, 0, 0x20);
    EXPECT_EQ(head_of(c.data, head), RecordStatus::kDamaged);
  }
  {
    // A path line without CR LF within the limit, however long the file.
    Bytes b;
    b.U32(0x00024B53).Raw(std::string(kMaxPathLine + 100, 'x')).Raw("\r\n");
    b.U64(0).U32(0).U64(0).U32(0x20);
    EXPECT_EQ(head_of(b.data, head), RecordStatus::kDamaged);
  }
  {
    // A bare LF or CR belongs to the path; only CR LF ends it.
    Bytes b;
    const std::string path = std::string("a\nb\rc");
    const size_t at = b.U32(0x00024B53).Head(path, 0, 0, 0, 0x20);
    b.PatchEnd(at, b.data.size());
    ASSERT_EQ(head_of(b.data, head), RecordStatus::kOk);
    EXPECT_EQ(head.path, path);
  }
}

TEST(VolumeFrameTest, FramesOutsideTheBoundsAreDamaged) {
  TempFolder tmp;
  BlockCodec codec;
  std::vector<uint8_t> scratch(kBlockBufferSize), block(kBlockBufferSize);
  const auto frame = [&](const std::string& bytes) {
    tmp.Write("v", bytes);
    File in;
    EXPECT_TRUE(in.OpenRead(tmp.Internal("v")));
    return ReadBlockFrame(in, codec, kEngineZlib, scratch.data(), block.data());
  };
  const std::string raw = testing::TextData(kBlockSize, 2);
  const std::string packed = Zlib(raw);
  EXPECT_EQ(frame(Bytes().U32(static_cast<uint32_t>(packed.size())).Raw(packed).data), kBlockSize);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data()), kBlockSize), raw);
  EXPECT_EQ(frame(Bytes().U32(0).U32(3).Raw("xyz").data), 3);
  EXPECT_EQ(frame(Bytes().U32(0).U32(0).data), 0);

  // Lengths beyond the buffers or below 0.
  const std::string filler(kBlockBufferSize + 8, 'q');
  EXPECT_EQ(frame(Bytes().U32(kBlockBufferSize + 1).Raw(filler).data), -1);
  EXPECT_EQ(frame(Bytes().U32(0xFFFFFFFF).Raw(filler).data), -1);
  EXPECT_EQ(frame(Bytes().U32(0).U32(kBlockBufferSize + 1).Raw(filler).data), -1);
  EXPECT_EQ(frame(Bytes().U32(0).U32(0x80000000).Raw(filler).data), -1);
  // A packed block of the largest length that the engine cannot unpack gives nothing.
  EXPECT_EQ(frame(Bytes().U32(kBlockBufferSize).Raw(filler).data), 0);
  EXPECT_EQ(frame(Bytes().U32(0).U32(kBlockBufferSize).Raw(filler).data), kBlockBufferSize);

  // Frames cut anywhere.
  const std::string whole = Bytes().U32(static_cast<uint32_t>(packed.size())).Raw(packed).data;
  for (size_t cut = 0; cut < whole.size(); cut += 97) {
    EXPECT_EQ(frame(whole.substr(0, cut)), -1) << cut;
  }
  const std::string stored = Bytes().U32(0).U32(100).Raw(std::string(100, 'r')).data;
  for (size_t cut = 0; cut < stored.size(); ++cut) {
    EXPECT_EQ(frame(stored.substr(0, cut)), -1) << cut;
  }
}

TEST(VolumeFrameTest, LittleEndianHelpers) {
  uint8_t at[8];
  PutU32(at, 0x11223344);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(at), 4), "\x44\x33\x22\x11");
  EXPECT_EQ(GetU32(at), 0x11223344u);
  PutU64(at, 0x0102030405060708ull);
  EXPECT_EQ(at[0], 0x08);
  EXPECT_EQ(at[7], 0x01);
  EXPECT_EQ(GetU64(at), 0x0102030405060708ull);
}

}  // namespace
}  // namespace sk
