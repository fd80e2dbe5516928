// Feeds bytes to the metadata file reader as a file of the backup folder. Nothing may be read
// outside a buffer, no count or length in the file may make the reader allocate without
// bound or loop on, and the entries it gives have the bounds the format promises.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/metadata_file.h"
#include "archive/volume.h"
#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const sk::testing::TempFolder folder;
  folder.Write("Backup_0000_of_X.meta", std::string(reinterpret_cast<const char*>(data), size));
  sk::MetadataReader reader;
  if (reader.Open(folder.Internal("Backup_0000_of_X.meta")) != sk::MetadataReader::Status::kOk) {
    return 0;
  }
  sk::EntryMeta entry;
  uint64_t read = 0;
  while (reader.Next(entry)) {
    if (entry.path.size() > sk::kMaxPathLine || entry.link_target.size() > 64 * 1024 ||
        entry.kind > sk::EntryMeta::Kind::kRemoved) {
      __builtin_trap();
    }
    ++read;
  }
  if (read > reader.count()) __builtin_trap();
  return 0;
}
