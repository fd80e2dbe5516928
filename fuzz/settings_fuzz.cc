// Feeds Settings.ini files to LoadSettings: nothing may be read outside a buffer, the engine
// that comes out is always one a volume header can name, the backup folder holds no control
// byte, the file the program would save from what it read loads back to the same settings,
// and a file the program saved loads back exactly, so that nothing drifts from one start to
// the next.
//
// Input: the bytes of Settings.ini. The seeds are files the desktop program saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "shell/settings.h"
#include "support/test_support.h"

namespace {

using sk::testing::TempFolder;

// A settings folder, and a program folder whose Catalogs folder holds two catalogs.
struct Scratch {
  Scratch() {
    folder.Write("program/Catalogs/English.catalog", "[CATALOG]\r\n002 = Settings\r\n");
    folder.Write("program/Catalogs/Deutsch.catalog", "");
    folder.MakeFolder("settings");
    folder.MakeFolder("saved");
  }
  TempFolder folder;
};

const TempFolder& Folder() {
  static const Scratch scratch;
  return scratch.folder;
}

// A backup folder in the file may name its folder in more than one way ("a//b"); the
// program writes one of them, so only a file it wrote must give back the folder text itself.
bool SameSettings(const sk::AppState& a, const sk::AppState& b, bool compare_folder) {
  return a.Engine == b.Engine && a.Level == b.Level &&
         (!compare_folder || a.BackupFolder == b.BackupFolder) &&
         a.DoubleClickAction == b.DoubleClickAction && a.Catalog == b.Catalog && a.WinX == b.WinX &&
         a.WinY == b.WinY && a.WinWidth == b.WinWidth && a.WinHeight == b.WinHeight &&
         a.ColumnWidth == b.ColumnWidth && a.ViewMode == b.ViewMode;
}

// Loads the file the program would save from app.
void LoadSaved(const sk::AppState& app, const TempFolder& scratch, sk::AppState& again) {
  scratch.Write("saved/Settings.ini", sk::SettingsText(app));
  again.ProgramFolder = app.ProgramFolder;
  sk::LoadSettings(again, scratch.Internal("saved/"));
}

void Differ(const sk::AppState& a, const sk::AppState& b) {
  std::fprintf(stderr, "settings differ after a save: [%s] [%s], [%s] [%s]\n",
               a.BackupFolder.c_str(), b.BackupFolder.c_str(), a.Catalog.c_str(),
               b.Catalog.c_str());
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TempFolder& scratch = Folder();
  scratch.Write("settings/Settings.ini", std::string(reinterpret_cast<const char*>(data), size));
  sk::testing::TestApp loaded;
  loaded.app.ProgramFolder = scratch.Internal("program/");
  sk::LoadSettings(loaded.app, scratch.Internal("settings/"));
  if (loaded.app.Engine < 0 || loaded.app.Engine >= loaded.app.EngineCount) __builtin_trap();
  // A name with a control byte in it is no folder the program may work in.
  for (const char c : loaded.app.BackupFolder) {
    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
  }

  sk::testing::TestApp saved, saved_again;
  LoadSaved(loaded.app, scratch, saved.app);
  if (!SameSettings(loaded.app, saved.app, false)) Differ(loaded.app, saved.app);
  LoadSaved(saved.app, scratch, saved_again.app);
  if (!SameSettings(saved.app, saved_again.app, true)) Differ(saved.app, saved_again.app);
  return 0;
}
