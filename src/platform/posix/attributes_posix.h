// What the POSIX file code shares between its files: the archive's attributes of an entry,
// and what statx tells of one.
#ifndef STOWKEEPER_PLATFORM_POSIX_ATTRIBUTES_POSIX_H_
#define STOWKEEPER_PLATFORM_POSIX_ATTRIBUTES_POSIX_H_

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

#include "platform/file_system.h"

namespace sk::platform {

// Attributes as the archive stores them: folders 0x10; files 0x20, plus read-only when the
// owner may not write.
inline int32_t AttributesOf(const struct stat& info) {
  if (S_ISDIR(info.st_mode)) return kAttrFolder;
  int32_t attributes = kAttrArchive;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

// Mode, owner, times and identity from what statx gave for STATX_BASIC_STATS | STATX_BTIME.
EntryStat StatOf(const struct statx& info);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_POSIX_ATTRIBUTES_POSIX_H_
