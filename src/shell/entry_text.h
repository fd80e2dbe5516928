// How the command line writes what a restore point's metadata says of an entry.
#ifndef STOWKEEPER_SHELL_ENTRY_TEXT_H_
#define STOWKEEPER_SHELL_ENTRY_TEXT_H_

#include <cstdint>
#include <string>

#include "archive/metadata_file.h"

namespace sk {

// The kind and permission bits as a long listing writes them: "drwxr-x---", "-rwsr-xr-x",
// "lrwxrwxrwx" (a link's own bits mean nothing on Linux and are written all set).
std::string ModeText(EntryMeta::Kind kind, uint32_t mode);

// The permission bits as four octal digits ("0755").
std::string OctalModeText(uint32_t mode);

// A moment in nanoseconds since 1970 as an ISO 8601 UTC time with all nine decimals
// ("2000-01-01T00:00:00.000000000Z"); far before 1970 and after 2038 as well.
std::string UtcTimeText(int64_t ns);

// The same to the second ("2000-01-01T00:00:00Z").
std::string UtcSecondsText(int64_t seconds);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_ENTRY_TEXT_H_
