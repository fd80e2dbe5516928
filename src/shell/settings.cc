#include "shell/settings.h"

#include "archive/set_names.h"
#include "core/ini.h"
#include "jobs/create/exclusions.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/retention_policy.h"

namespace sk {
namespace {

using ExclusionLists = std::map<std::string, std::vector<std::string>>;
using PolicyTexts = std::map<std::string, std::string>;

bool IsDrivePath(const std::string& path) {
  const char drive = path.empty() ? '\0' : path[0];
  return path.size() >= 3 && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) &&
         path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

// A NUL ends a name at the system call, so the program would work on whatever the part
// before it names; a "\" in a native name (where it is no separator) would be read as one.
// Either way backups would be written, and old ones deleted, where the user never said.
bool NamesNoReachableFolder(const std::string& value, bool internal_form) {
  for (const char c : value) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
    if (c == '\\' && !internal_form && !platform::kBackslashSeparates) return true;
  }
  return false;
}

// The file holds a native path; a value already in the internal form is taken as it is. A
// value that names no reachable folder leaves the backup folder unchosen, as if missing.
std::string BackupFolderFromSetting(const std::string& value) {
  if (value.empty() || NamesNoReachableFolder(value, IsDrivePath(value))) return "";
  std::string folder = IsDrivePath(value) ? value : platform::InternalPath(value);
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

// A text the program could not use (a share offline today, a folder gone, a path of the
// other system) stays in the file as the user wrote it until they choose another folder:
// the setting is theirs, and the folder may well come back.
std::string BackupFolderToSetting(const AppState& app) {
  const bool unusable = app.BackupFolder.empty() || !platform::FolderExists(app.BackupFolder);
  if (unusable && app.BackupFolder == BackupFolderFromSetting(app.SaveFolderText)) {
    return app.SaveFolderText;
  }
  return platform::ShownPath(app.BackupFolder);
}

// The lines in the order of the file: header, then per group its line, an empty comment,
// its entries and an empty comment before the next group.
IniWriter SettingsWriter(const AppState& app, const ExclusionLists& exclusions,
                         const PolicyTexts& policies) {
  IniWriter ini;
  ini.Comment("Stowkeeper Configuration");
  ini.Comment("");
  ini.SelectGroup("MainWindow");
  ini.Comment("");
  ini.Entry("ViewMode", app.ViewMode);
  ini.Entry("ColumnWidth", app.ColumnWidth);
  ini.Entry("WinX", app.WinX);
  ini.Entry("WinY", app.WinY);
  ini.Entry("WinWidth", app.WinWidth);
  ini.Entry("WinHeight", app.WinHeight);
  ini.Comment("");
  ini.SelectGroup("Folders");
  ini.Comment("");
  ini.Entry("SaveFolder", BackupFolderToSetting(app));
  ini.Comment("");
  ini.SelectGroup("Packer");
  ini.Comment("");
  ini.Entry("Engine", app.Engine);
  ini.Entry("Level", app.Level);
  ini.Comment("");
  ini.SelectGroup("DoubleClick");
  ini.Comment("");
  ini.Entry("Action", app.DoubleClickAction);
  ini.Comment("");
  ini.SelectGroup("Language");
  ini.Comment("");
  ini.Entry("Catalog", app.Catalog);
  // A group older versions do not know: they skip it when reading.
  if (!exclusions.empty()) {
    ini.Comment("");
    ini.SelectGroup(kExclusionsGroup);
    ini.Comment("");
    for (const auto& [key, patterns] : exclusions) ini.Entry(key, JoinPatterns(patterns));
  }
  // A group older programs do not read; they keep their own lines and drop it.
  ini.Comment("");
  ini.SelectGroup("Schedule");
  ini.Comment("");
  ini.Entry("NotifySuccess", app.NotifySuccess);
  // Older programs skip this group too; it is written only when it says more than the
  // default.
  if (app.FullCompare != 0) {
    ini.Comment("");
    ini.SelectGroup("Update");
    ini.Comment("");
    ini.Entry("FullCompare", app.FullCompare);
  }
  // Last, so that every line before it is what older programs write and read.
  if (!policies.empty()) {
    ini.Comment("");
    ini.SelectGroup(kRetentionGroup);
    ini.Comment("");
    for (const auto& [key, text] : policies) ini.Entry(key, text);
  }
  return ini;
}

// Keys are set names in lower case; a pattern a hand edit broke is dropped rather than
// read in some other sense.
ExclusionLists ReadExclusions(const IniReader& ini) {
  ExclusionLists lists;
  for (const auto& [key, value] : ini.ReadEntries()) {
    std::vector<std::string> patterns;
    for (const std::string& pattern : SplitPatterns(value)) {
      if (CheckPattern(pattern) == PatternFault::kNone) patterns.push_back(pattern);
    }
    if (!key.empty() && !patterns.empty()) lists[LowerCase(key)] = std::move(patterns);
  }
  return lists;
}

// Values kept as the file spells them; what they mean is read where they are used.
PolicyTexts ReadPolicies(const IniReader& ini) {
  PolicyTexts policies;
  for (const auto& [key, value] : ini.ReadEntries()) {
    if (!key.empty() && !value.empty()) policies[LowerCase(key)] = value;
  }
  return policies;
}

// What this run changed of a group of one key per set, put over what the file holds now.
template <typename Value>
void PutChanged(std::map<std::string, Value>& saved, const std::map<std::string, Value>& mine,
                const std::set<std::string>& changed) {
  for (const std::string& key : changed) {
    const auto found = mine.find(key);
    if (found == mine.end()) {
      saved.erase(key);
    } else {
      saved[key] = found->second;
    }
  }
}

// The groups of one key per set to save: those of the file as it is now (another run may
// have saved some since this one read it), with the keys this run changed put over them. A
// file that cannot be read leaves this run's as they are.
void GroupsToSave(const AppState& app, const std::string& path, ExclusionLists& exclusions,
                  PolicyTexts& policies) {
  IniReader ini;
  if (!ini.Load(path)) {
    exclusions = app.Exclusions;
    policies = app.Policies;
    return;
  }
  exclusions = ini.SelectGroup(kExclusionsGroup) ? ReadExclusions(ini) : ExclusionLists{};
  policies = ini.SelectGroup(kRetentionGroup) ? ReadPolicies(ini) : PolicyTexts{};
  PutChanged(exclusions, app.Exclusions, app.ExclusionsChanged);
  PutChanged(policies, app.Policies, app.PoliciesChanged);
}

}  // namespace

std::string UserSettingsFolder() { return platform::UserSettingsFolder(); }

bool CreateFolderChain(const std::string& folder) {
  for (size_t at = folder.find('\\', platform::RootLength(folder)); at != std::string::npos;
       at = folder.find('\\', at + 1)) {
    const std::string prefix = folder.substr(0, at + 1);
    if (!platform::FolderExists(prefix)) platform::CreateFolder(prefix);
  }
  return platform::FolderExists(folder);
}

void LoadSettings(AppState& app, const std::string& settings_folder) {
  IniReader ini;
  if (ini.Load(settings_folder + kSettingsFileName)) {
    if (ini.SelectGroup("MainWindow")) {
      app.ViewMode = ini.ReadNumber("ViewMode", app.ViewMode);
      app.ColumnWidth = ini.ReadNumber("ColumnWidth", app.ColumnWidth);
      app.WinX = ini.ReadNumber("WinX", app.WinX);
      app.WinY = ini.ReadNumber("WinY", app.WinY);
      app.WinWidth = ini.ReadNumber("WinWidth", app.WinWidth);
      app.WinHeight = ini.ReadNumber("WinHeight", app.WinHeight);
    }
    if (ini.SelectGroup("Folders")) {
      app.SaveFolderText = ini.ReadText("SaveFolder", "");
      app.BackupFolder = BackupFolderFromSetting(app.SaveFolderText);
    }
    if (ini.SelectGroup("Packer")) {
      app.Engine = ini.ReadNumber("Engine", 0);
      app.Level = ini.ReadNumber("Level", 9);
    }
    if (ini.SelectGroup("DoubleClick")) app.DoubleClickAction = ini.ReadNumber("Action", 0);
    if (ini.SelectGroup("Language")) app.Catalog = ini.ReadText("Catalog", "");
    if (ini.SelectGroup(kExclusionsGroup)) app.Exclusions = ReadExclusions(ini);
    if (ini.SelectGroup("Schedule")) {
      app.NotifySuccess = ini.ReadNumber("NotifySuccess", 0) != 0 ? 1 : 0;
    }
    if (ini.SelectGroup("Update")) app.FullCompare = ini.ReadNumber("FullCompare", 0) != 0 ? 1 : 0;
    if (ini.SelectGroup(kRetentionGroup)) app.Policies = ReadPolicies(ini);
  }
  // Every volume carries the engine id in its header, and readers refuse ids they do not
  // know: an id out of range would make every new backup unreadable.
  if (app.Engine < 0 || app.Engine >= app.EngineCount) app.Engine = 0;
  // An empty name names the folder itself, which is no file either; a name with a path in
  // it would reach a file outside the folder.
  const std::string catalogs = CatalogFolder(app);
  if (!IsCatalogFileName(app.Catalog) || platform::FileSize(catalogs + app.Catalog) < 0) {
    // A file the Linux program wrote names a catalog such as Français.catalog in UTF-8.
    const std::string converted = platform::SystemTextFromUtf8(app.Catalog);
    const bool found = converted != app.Catalog && IsCatalogFileName(converted) &&
                       platform::FileSize(catalogs + converted) >= 0;
    app.Catalog = found ? converted : DefaultCatalogName();
  }
}

std::string SettingsText(const AppState& app) {
  return SettingsWriter(app, app.Exclusions, app.Policies).Text();
}

bool SaveSettings(const AppState& app, const std::string& settings_folder) {
  // What an interrupted save left goes first; the file itself is replaced in one step.
  std::vector<platform::FolderEntry> entries;
  if (platform::ListFolder(settings_folder, entries)) {
    for (const platform::FolderEntry& entry : entries) {
      if (entry.kind != platform::FolderEntry::Kind::kFolder &&
          platform::IsTemporaryName(entry.name, kSettingsFileName, kIniTemporarySuffix)) {
        platform::DeleteFile(settings_folder + entry.name);
      }
    }
  }
  const std::string path = settings_folder + kSettingsFileName;
  ExclusionLists exclusions;
  PolicyTexts policies;
  GroupsToSave(app, path, exclusions, policies);
  return SettingsWriter(app, exclusions, policies).Save(path);
}

}  // namespace sk
