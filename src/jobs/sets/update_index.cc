#include "jobs/sets/update_index.h"

#include <algorithm>

#include "archive/set_names.h"
#include "core/ini.h"

namespace sk {
namespace {

constexpr char kVolumeExtension[] = ".sk";

}  // namespace

std::string IndexValuePath(const std::string& value, const std::string& set_name) {
  const size_t volume_length = VolumeFileName(set_name, 0).size();
  if (!set_name.empty() && value.size() > volume_length) {
    const size_t at = value.size() - volume_length;
    if (value[at - 1] == '*' &&
        GenerationOfFileName(value.substr(at), set_name, kVolumeExtension, true) >= 0) {
      return value.substr(0, at - 1);
    }
  }
  return value.substr(0, value.find('*'));
}

IndexItem SplitIndexValue(const std::string& value, const std::string& set_name) {
  IndexItem item;
  item.path = IndexValuePath(value, set_name);
  if (item.path.size() < value.size()) item.volume = value.substr(item.path.size() + 1);
  return item;
}

bool ReadUpdateIndex(const std::string& path, const std::string& set_name, UpdateIndex& index) {
  index = UpdateIndex{};
  IniReader reader(IniReader::ValueEnds::kKeepTrailingBlanks);
  if (!reader.Load(path)) return false;
  if (reader.SelectGroup("REMOVED")) index.removed = reader.ReadNumberedValues();
  for (auto [group, items] : {std::pair{"ADDED", &index.added}, {"CHANGED", &index.changed}}) {
    if (!reader.SelectGroup(group)) continue;
    for (const std::string& value : reader.ReadNumberedValues()) {
      items->push_back(SplitIndexValue(value, set_name));
    }
  }
  return true;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20;
  });
}

IniWriter IndexFile(const UpdateIndex& index) {
  IniWriter file;
  file.Comment("");
  file.SelectGroup("REMOVED");
  file.Comment("");
  int64_t key = 0;
  for (const std::string& path : index.removed) file.Entry(std::to_string(++key), path);
  for (const auto& [group, items] :
       {std::pair{"ADDED", &index.added}, {"CHANGED", &index.changed}}) {
    file.Comment("");
    file.SelectGroup(group);
    file.Comment("");
    key = 0;
    for (const IndexItem& item : *items) {
      file.Entry(std::to_string(++key), item.path + '*' + item.volume);
    }
  }
  return file;
}

}  // namespace sk
