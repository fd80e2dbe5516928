// The update index of a restore point: what an update found removed, added and changed
// against the main volume, as a typed structure.
//
//   [REMOVED]  n = full path of an entry that is gone
//   [ADDED]    n = full path*file name of the volume that holds the version to restore
//   [CHANGED]  n = full path*file name of the volume that holds the version to restore
#ifndef STOWKEEPER_JOBS_SETS_UPDATE_INDEX_H_
#define STOWKEEPER_JOBS_SETS_UPDATE_INDEX_H_

#include <string>
#include <vector>

#include "core/ini.h"

namespace sk {

// One ADDED or CHANGED value of an update index: the full path at the time of the update
// and the file name of the volume that holds the version to restore.
struct IndexItem {
  std::string path;
  std::string volume;
};

// The three groups of an update index, values in key order.
struct UpdateIndex {
  std::vector<std::string> removed;
  std::vector<IndexItem> added;
  std::vector<IndexItem> changed;
};

// The path part of an update index value "path*volume file name". The set's volume names
// are known, so a "*" inside the path (possible on systems that allow it in names) does not
// cut it short; other values are cut at their first "*".
std::string IndexValuePath(const std::string& value, const std::string& set_name);

// Splits "full path*volume file name" where IndexValuePath does. A value without "*" has an
// empty volume name.
IndexItem SplitIndexValue(const std::string& value, const std::string& set_name);

// Reads an update index. False when the file cannot be read.
bool ReadUpdateIndex(const std::string& path, const std::string& set_name, UpdateIndex& index);

// The update index in its file's layout: each group between empty comments, its values
// numbered from 1.
IniWriter IndexFile(const UpdateIndex& index);

// A volume name taken from an index must name a file directly in the backup folder.
bool IsPlainFileName(const std::string& name);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_UPDATE_INDEX_H_
