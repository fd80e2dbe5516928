#include "jobs/create/generations.h"

#include "archive/set_names.h"
#include "platform/file_system.h"

namespace sk {
namespace {

void ForceDelete(const std::string& path) {
  platform::SetAttributes(path, platform::kAttrNormal);
  platform::DeleteFile(path);
}

}  // namespace

int32_t NextGeneration(const std::string& backup_folder, const std::string& set_name) {
  int32_t k = 1;
  while (platform::FileSize(backup_folder + IndexFileName(set_name, k)) != platform::kSizeMissing &&
         k <= kMaxGeneration) {
    ++k;
  }
  return k;
}

void RemoveUpdateGenerations(const std::string& backup_folder, const std::string& set_name) {
  for (int32_t k = 1; k <= kMaxGeneration; ++k) {
    const std::string volume = backup_folder + VolumeFileName(set_name, k);
    if (platform::FileSize(volume) > 0) ForceDelete(volume);
    const std::string index = backup_folder + IndexFileName(set_name, k);
    if (platform::FileSize(index) == platform::kSizeMissing) break;
    ForceDelete(index);
  }
}

}  // namespace sk
