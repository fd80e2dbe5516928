#include "shell/catalog.h"

#include <cstdio>

#include "archive/set_names.h"
#include "platform/file_system.h"
#include "shell/ini.h"

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

}  // namespace

std::string DefaultCatalogName() {
  switch (platform::UserLanguage() & 0xFF) {
    case 7:
      return "Deutsch.catalog";
    case 12:
      return "Français.catalog";
    case 10:
      return "Español.catalog";
    default:
      return "English.catalog";
  }
}

std::string CatalogFolder(const AppState& app) {
  const std::string beside = app.ProgramFolder + "Catalogs\\";
  if (!app.ProgramFolder.empty() && platform::FolderExists(beside)) return beside;
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

void LoadCatalog(AppState& app) {
  IniReader ini;
  if (!ini.Load(CatalogFolder(app) + app.Catalog) || !ini.SelectGroup("CATALOG")) return;
  for (int n = 1; n <= kTextCount; ++n) {
    char key[4];
    std::snprintf(key, sizeof key, "%03d", n);
    app.Texts.slots[n] = ini.ReadText(key, app.Texts.slots[n]);
  }
}

AnswerWords AnswerWordsFor(const std::string& catalog) {
  const std::string name = LowerCase(catalog);
  if (name == "english.catalog") return {"Yes", "No"};
  if (name == "français.catalog") return {"Oui", "Non"};
  if (name == "español.catalog") return {"Sí", "No"};
  return {"Ja", "Nein"};
}

}  // namespace sk
