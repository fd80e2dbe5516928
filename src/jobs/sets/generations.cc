#include "jobs/sets/generations.h"

#include <algorithm>
#include <utility>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// Names match as the file system matches them: without regard to case on Windows only, so
// that two sets whose names differ in case on Linux never touch each other's files.
int32_t GenerationOf(const std::string& name, const std::string& set_name,
                     const std::string& extension) {
  return GenerationOfFileName(name, set_name, extension, platform::kNamesIgnoreCase);
}

// Whether name is a temporary file of one of the set's files.
bool IsSetTemporary(const std::string& name, const std::string& set_name) {
  if (name.empty() || name[0] != '~') return false;
  for (const auto& [extension, suffix] :
       {std::pair<const char*, const char*>{".sk", kVolumeTemporarySuffix},
        std::pair<const char*, const char*>{".ini", kIniTemporarySuffix},
        std::pair<const char*, const char*>{kMetadataExtension, kMetadataTemporarySuffix}}) {
    const size_t length =
        GenerationBaseName(set_name, 0).size() + std::char_traits<char>::length(extension);
    if (name.size() <= length) continue;
    const std::string target = name.substr(1, length);
    if (GenerationOf(target, set_name, extension) >= 0 &&
        platform::IsTemporaryName(name, target, suffix)) {
      return true;
    }
  }
  return false;
}

bool ForceDelete(const std::string& path) {
  platform::SetAttributes(path, platform::kAttrNormal);
  return platform::DeleteFile(path) || platform::FileSize(path) == platform::kSizeMissing;
}

// Removes the generations from `first` on, newest first, each index before its volume and
// metadata file (the temporary files first when given); then flushes the folder.
bool RemoveFrom(const std::string& folder, const SetFiles& files, int32_t first,
                std::string* failed) {
  bool removed_any = false;
  auto remove = [&](const std::string& name) {
    removed_any = true;
    if (ForceDelete(folder + name)) return true;
    if (failed != nullptr) *failed = folder + name;
    return false;
  };
  for (const std::string& name : files.temporaries) {
    if (!remove(name)) return false;
  }
  int32_t newest = first - 1;
  if (!files.volumes.empty()) newest = std::max(newest, files.volumes.rbegin()->first);
  if (!files.indexes.empty()) newest = std::max(newest, files.indexes.rbegin()->first);
  if (!files.metadata.empty()) newest = std::max(newest, files.metadata.rbegin()->first);
  for (int32_t k = newest; k >= first; --k) {
    for (const auto* group : {&files.indexes, &files.volumes, &files.metadata}) {
      const auto file = group->find(k);
      if (file != group->end() && !remove(file->second)) return false;
    }
  }
  if (removed_any && !platform::SyncFolder(folder)) {
    if (failed != nullptr) *failed = folder;
    return false;
  }
  return true;
}

}  // namespace

SetFiles FindSetFiles(const std::string& backup_folder, const std::string& set_name) {
  SetFiles files;
  std::vector<platform::FolderEntry> entries;
  if (set_name.empty() || !platform::ListFolder(backup_folder, entries)) return files;
  for (const platform::FolderEntry& entry : entries) {
    // Folders are nothing a job wrote; links to files count, as the name is what matters.
    if (entry.kind == platform::FolderEntry::Kind::kFolder) continue;
    if (IsSetTemporary(entry.name, set_name)) {
      files.temporaries.push_back(entry.name);
      continue;
    }
    const int32_t volume = GenerationOf(entry.name, set_name, ".sk");
    if (volume >= 0) files.volumes.emplace(volume, entry.name);
    const int32_t index = GenerationOf(entry.name, set_name, ".ini");
    if (index >= 1) files.indexes.emplace(index, entry.name);
    const int32_t metadata = GenerationOf(entry.name, set_name, kMetadataExtension);
    if (metadata >= 0) files.metadata.emplace(metadata, entry.name);
  }
  return files;
}

int32_t NextGeneration(const std::string& backup_folder, const std::string& set_name) {
  int32_t k = 1;
  while (platform::FileSize(backup_folder + IndexFileName(set_name, k)) != platform::kSizeMissing &&
         k <= kMaxGeneration) {
    ++k;
  }
  return k;
}

bool RemoveLeftovers(const std::string& backup_folder, const std::string& set_name,
                     std::string* failed) {
  SetFiles files = FindSetFiles(backup_folder, set_name);
  // A main volume's metadata file without the volume: what an interrupted create of a new
  // set left. One beside a volume it does not describe stays: readers pass over it, the next
  // create replaces it, and a volume damaged later must not cost its metadata too.
  const auto main_metadata = files.metadata.find(0);
  const std::string main_volume = backup_folder + VolumeFileName(set_name, 0);
  if (main_metadata != files.metadata.end() &&
      platform::FileSize(main_volume) == platform::kSizeMissing) {
    if (!ForceDelete(backup_folder + main_metadata->second)) {
      if (failed != nullptr) *failed = backup_folder + main_metadata->second;
      return false;
    }
  }
  return RemoveFrom(backup_folder, files, NextGeneration(backup_folder, set_name), failed);
}

bool RemoveUpdateGenerations(const std::string& backup_folder, const std::string& set_name,
                             std::string* failed) {
  // The temporary files stay: the new main volume is one of them.
  SetFiles files = FindSetFiles(backup_folder, set_name);
  files.temporaries.clear();
  return RemoveFrom(backup_folder, files, 1, failed);
}

bool DeleteGeneration(const std::string& backup_folder, const std::string& set_name,
                      int32_t generation, std::string* failed) {
  // Removes one file and flushes the folder; false (naming it) when it is still there.
  const auto remove = [&](const std::string& path) {
    if (!platform::DeleteFile(path) && platform::FileSize(path) != platform::kSizeMissing) {
      if (failed != nullptr) *failed = path;
      return false;
    }
    platform::SyncFolder(backup_folder);
    return true;
  };
  // A volume whose index stays is still a restore point; a volume without its metadata file
  // is a set written before them, a metadata file without its volume only a leftover.
  if (generation > 0 && !remove(backup_folder + IndexFileName(set_name, generation))) return false;
  return remove(backup_folder + VolumeFileName(set_name, generation)) &&
         remove(backup_folder + MetadataFileName(set_name, generation));
}

}  // namespace sk
