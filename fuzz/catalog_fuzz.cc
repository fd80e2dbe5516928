// Feeds catalog files to LoadCatalog: nothing may be read outside a buffer, only the texts
// 001 to 084 change, no text holds a line break, and loading the same catalog twice gives
// the same table.
//
// Input: the bytes of a catalog file. The seeds are the catalogs the program ships.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text_table.h"
#include "shell/catalog.h"
#include "support/test_support.h"

namespace {

using sk::testing::TempFolder;

constexpr char kCatalogName[] = "Fuzz.catalog";

const TempFolder& Scratch() {
  static const TempFolder folder;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TempFolder& scratch = Scratch();
  scratch.Write(std::string("program/Catalogs/") + kCatalogName,
                std::string(reinterpret_cast<const char*>(data), size));
  sk::testing::TestApp test;
  sk::AppState& app = test.app;
  app.ProgramFolder = scratch.Internal("program/");
  app.Catalog = kCatalogName;
  const sk::TextTable defaults = app.Texts;
  sk::LoadCatalog(app);
  for (size_t n = 0; n < app.Texts.slots.size(); ++n) {
    const std::string& text = app.Texts.slots[n];
    if (n < 1 || n > static_cast<size_t>(sk::kTextCount)) {
      if (text != defaults.slots[n]) __builtin_trap();
    } else if (text.find_first_of("\r\n") != std::string::npos) {
      __builtin_trap();
    }
  }
  const sk::TextTable first = app.Texts;
  sk::LoadCatalog(app);
  if (app.Texts.slots != first.slots) __builtin_trap();

  const std::vector<std::string> names = sk::ListCatalogFiles(sk::CatalogFolder(app));
  if (names != std::vector<std::string>{kCatalogName}) __builtin_trap();
  return 0;
}
