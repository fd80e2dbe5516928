#include "shell/catalog.h"

#include <cstdio>

#include "archive/set_names.h"
#include "core/ini.h"
#include "platform/file_system.h"

#ifndef SK_INSTALL_DATADIR
#define SK_INSTALL_DATADIR "/usr/local/share/stowkeeper"
#endif

namespace sk {
namespace {

constexpr char kCatalogExtension[] = ".catalog";

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         LowerCase(text.substr(text.size() - suffix.size())) == LowerCase(suffix);
}

// A catalog marked as UTF-8 (as the shipped ones are) is shown in the system's encoding;
// one without the mark is in that encoding already.
bool StartsWithUtf8Mark(const std::string& path) {
  platform::File file;
  char mark[3];
  return file.OpenRead(path) && file.ReadExact(mark, sizeof mark) &&
         std::string(mark, sizeof mark) == "\xEF\xBB\xBF";
}

// No value read from a file holds a line break.
constexpr char kNoValue[] = "\n";

}  // namespace

std::string DefaultCatalogName() {
  // The names are file names, in the system's encoding like every name the listing gives.
  switch (platform::UserLanguage() & 0xFF) {
    case 7:
      return "Deutsch.catalog";
    case 12:
      return platform::SystemTextFromUtf8("Français.catalog");
    case 10:
      return platform::SystemTextFromUtf8("Español.catalog");
    default:
      return "English.catalog";
  }
}

std::string CatalogFolder(const AppState& app) {
  const std::string beside = app.ProgramFolder + "Catalogs\\";
  if (!app.ProgramFolder.empty() && platform::FolderExists(beside)) return beside;
  // An installed program: <prefix>/bin/ beside <prefix>/share/, wherever the prefix went.
  const std::string relative = app.ProgramFolder + "..\\share\\stowkeeper\\Catalogs\\";
  if (!app.ProgramFolder.empty() && platform::FolderExists(relative)) return relative;
  return platform::InternalPath(SK_INSTALL_DATADIR "/Catalogs/");
}

std::vector<std::string> ListCatalogFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(folder, entries)) return names;
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind == platform::FolderEntry::Kind::kFile &&
        EndsWithNoCase(entry.name, kCatalogExtension)) {
      names.push_back(entry.name);
    }
  }
  return names;
}

bool IsCatalogFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    // Separators of either system, a drive's colon, control bytes.
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return false;
    }
  }
  return true;
}

void LoadCatalog(AppState& app) {
  if (!IsCatalogFileName(app.Catalog)) return;
  const std::string path = CatalogFolder(app) + app.Catalog;
  IniReader ini;
  if (!ini.Load(path) || !ini.SelectGroup("CATALOG")) return;
  const bool utf8 = StartsWithUtf8Mark(path);
  for (int n = 1; n <= kScheduleTextLast; ++n) {
    if (!IsTextKey(n)) continue;
    char key[4];
    std::snprintf(key, sizeof key, "%03d", n);
    const std::string value = ini.ReadText(key, kNoValue);
    if (value == kNoValue) continue;
    app.Texts.slots[n] = utf8 ? platform::SystemTextFromUtf8(value) : value;
  }
}

AnswerWords AnswerWordsFor(const std::string& catalog) {
  const std::string name = LowerCase(catalog);
  if (name == "english.catalog") return {"Yes", "No"};
  if (name == platform::SystemTextFromUtf8("français.catalog")) return {"Oui", "Non"};
  if (name == platform::SystemTextFromUtf8("español.catalog")) {
    return {platform::SystemTextFromUtf8("Sí"), "No"};
  }
  return {"Ja", "Nein"};
}

}  // namespace sk
