// Language catalogs: "*.catalog" INI files in the catalogs folder, group CATALOG, keys "001"
// to the last text's, overlaid on the text table.
#ifndef STOWKEEPER_SHELL_CATALOG_H_
#define STOWKEEPER_SHELL_CATALOG_H_

#include <string>
#include <vector>

#include "core/app_state.h"

namespace sk {

// The catalog file for the user's language: "Deutsch.catalog", "Français.catalog",
// "Español.catalog", else "English.catalog".
std::string DefaultCatalogName();

// The folder the catalogs are read from: "Catalogs\" beside the program when it exists
// (the build puts them there), else the installed data folder's Catalogs\.
std::string CatalogFolder(const AppState& app);

// The names of the "*.catalog" files in folder, in the order the folder lists them.
std::vector<std::string> ListCatalogFiles(const std::string& folder);

// Whether a Catalog setting is a plain file name: no folder part, drive or control byte, so
// that it names a file in the catalogs folder and nowhere else.
bool IsCatalogFileName(const std::string& name);

// Overlays app.Texts with the catalog app.Catalog (only a plain file name is read). Keys
// the file lacks keep the text they had, so a second load does not bring back the German
// defaults. A missing file or group changes nothing.
void LoadCatalog(AppState& app);

// Words for answering questions on a terminal, in the catalog's language where the program
// knows it (the catalogs hold no Yes and No), else German.
struct AnswerWords {
  std::string yes, no;
};
AnswerWords AnswerWordsFor(const std::string& catalog);

// The language of a catalog the program knows, as a language code ("de", "fr", "es", "en"),
// for the toolkit's own texts (the labels of its stock buttons); German for the others, as
// the built-in texts are.
std::string CatalogLanguage(const std::string& catalog);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_CATALOG_H_
