// The contents window on the headless toolkit: browsing a restore point folder by folder,
// and restoring what is picked in it.
#include "shell/contents_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/size_text.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "platform/file_system.h"
#include "shell/job_window.h"
#include "shell/restore_window.h"

namespace sk {
namespace {

using testing::VolumeBytes;

// What the contents window shows at one moment.
struct View {
  std::string folder;
  std::vector<std::string> rows;
  std::vector<int> images;
  bool back_enabled = false;
};

const std::string kDotDot = "..\n<DIR>\n$00000000";
std::string FolderRow(const std::string& name) { return name + "\n<DIR>\n$00000000"; }
std::string FileRow(const std::string& name, const std::string& content) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(content.data());
  return name + "\n" + ByteSizeText(static_cast<int64_t>(content.size()), 1) + "\n" +
         CrcText(Crc32(0, bytes, content.size()));
}

class ContentsWindowTest : public testing::JobFixture {
 protected:
  // Runs the command on the restore list's row; each step looks at the window and returns
  // the next event. Without steps left the window is closed.
  void List(const std::string& row, std::vector<std::function<ui::Event()>> steps) {
    OpenMainWindow(row);
    size_t next = 0;
    tk.on_wait = [&, steps](ui::HeadlessToolkit&) {
      views.push_back(Look());
      if (next < steps.size()) return steps[next++]();
      return ui::Event{ui::EventType::kLeftClick, ui::kJobWindow, kContentsCloseId};
    };
    ListBackupContents(desk, row.substr(0, row.find('\n')));
    tk.on_wait = nullptr;
  }

  View Look() {
    View view;
    auto* box = tk.FindControl(ui::kJobWindow, kContentsPathBoxId);
    auto* list = tk.FindControl(ui::kJobWindow, kContentsListId);
    if (box == nullptr) return view;  // another window (the restore's) is window 1
    // The path box shows the folder as the system names it.
    view.folder = platform::InternalPath(box->items.at(0));
    view.rows = list->items;
    view.images = list->images;
    view.back_enabled = tk.FindControl(ui::kJobWindow, kContentsBackId)->enabled;
    return view;
  }

  // Events the steps send.
  ui::Event Open(const std::string& name) {
    auto* list = tk.FindControl(ui::kJobWindow, kContentsListId);
    for (size_t i = 0; i < list->items.size(); ++i) {
      if (list->items[i].substr(0, list->items[i].find('\n')) == name) list->value = i;
    }
    return {ui::EventType::kDoubleClick, ui::kJobWindow, kContentsListId};
  }
  ui::Event Select(const std::string& name) {
    Open(name);
    return {ui::EventType::kNone, ui::kJobWindow, -1};
  }
  ui::Event Back() { return {ui::EventType::kLeftClick, ui::kJobWindow, kContentsBackId}; }
  ui::Event Root() {
    tk.FindControl(ui::kJobWindow, kContentsPathBoxId)->value = 1;
    return {ui::EventType::kLeftClick, ui::kJobWindow, kContentsPathBoxId};
  }

  std::vector<View> views;
};

TEST_F(ContentsWindowTest, BrowsesFoldersWithDotDotBackAndRoot) {
  const std::string source = Folder("src/Data/Docs");
  const std::string parent = ParentFolder(source);
  folder.Write("src/Data/Docs/b.txt", "bee");
  folder.Write("src/Data/Docs/A.txt", "ay ay");
  folder.Write("src/Data/Docs/sub/c.txt", "see");
  folder.MakeFolder("src/Data/Docs/Sub2");
  folder.MakeFolder("src/Data/Docs/empty");
  CreateBackup(source);

  List(PointName(source, 0),
       {[&] { return Open("Docs"); }, [&] { return Open("empty"); }, [&] { return Open(".."); },
        [&] { return Back(); }, [&] { return Root(); }});

  ASSERT_EQ(views.size(), 6u);
  EXPECT_EQ(views[0].folder, parent);
  EXPECT_EQ(views[0].rows, (std::vector<std::string>{kDotDot, FolderRow("Docs")}));
  EXPECT_EQ(views[0].images, (std::vector<int>{kImageParentFolder, kImageFolder}));
  EXPECT_TRUE(views[0].back_enabled);

  EXPECT_EQ(views[1].folder, source);
  // Sub-folders, then files, each in path order without regard to case ("\" after "2").
  EXPECT_EQ(views[1].rows, (std::vector<std::string>{kDotDot, FolderRow("empty"), FolderRow("Sub2"),
                                                     FolderRow("sub"), FileRow("A.txt", "ay ay"),
                                                     FileRow("b.txt", "bee")}));
  EXPECT_EQ(views[1].images, (std::vector<int>{10, 2, 2, 2, 1, 1}));

  EXPECT_EQ(views[2].folder, source + "empty\\");
  EXPECT_EQ(views[2].rows, std::vector<std::string>{kDotDot});
  EXPECT_EQ(views[3].folder, source);  // ".." went up
  EXPECT_EQ(views[4].folder, parent);  // and so did Back

  // "<Root>": the drive root with only the folders on the way to the source.
  // Z:\ with tmp on Linux; on Windows the drive of the temporary folder and its first folder.
  const std::string root = folder.Internal();
  EXPECT_EQ(views[5].folder, root.substr(0, 3));
  EXPECT_EQ(views[5].rows,
            std::vector<std::string>{FolderRow(root.substr(3, root.find('\\', 3) - 3))});
  EXPECT_FALSE(views[5].back_enabled);

  // Closed: the main window back.
  const auto* progress = tk.LastClosed("Liste wird berechnet...");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->def.width, 279);
  EXPECT_EQ(progress->def.height, 50);
  const auto* window = tk.LastClosed("Backup-Inhalt");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 599);
  EXPECT_EQ(window->def.height, 473);
  EXPECT_EQ(window->controls.at(kContentsPathBoxId).items.at(1), "<Root>");
  EXPECT_EQ(window->controls.at(kContentsBackId).text, testing::SystemText("Zurück"));
  EXPECT_EQ(window->controls.at(kContentsCloseId).text, testing::SystemText("Schließen"));
  EXPECT_EQ(window->controls.at(kContentsListId).columns,
            (std::vector<std::pair<std::string, int>>{
                {"Name", 411}, {testing::SystemText("Größe"), 70}, {"CRC32", 90}}));
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
}

TEST_F(ContentsWindowTest, SourceDirectlyUnderTheDriveRootOpensThereWithoutBack) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\a.txt", "a");
  WriteBackupFile("Backup_0000_of_Z__Docs_.sk", volume.data);
  List("Backup_0000_of_Z:\\Docs\\", {[&] { return Back(); }});
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[0].folder, "Z:\\");
  EXPECT_EQ(views[0].rows, std::vector<std::string>{FolderRow("Docs")});
  EXPECT_FALSE(views[0].back_enabled);
  EXPECT_EQ(views[1].folder, "Z:\\");  // Back at the root does nothing
}

TEST_F(ContentsWindowTest, RestorePointShowsChangedVersionsAndDropsWhatItCannotFind) {
  const std::string source = "Z:\\Data\\Docs\\";
  VolumeBytes main;
  main.AddFolder("Docs\\");
  main.AddFile("Docs\\keep", "keep");
  main.AddFile("Docs\\change", "version 1");
  main.AddFile("Docs\\gone", "gone");
  WriteBackupFile(VolumeName(source, 0), main.data);
  VolumeBytes update;
  update.AddFile("Docs\\change", "version 2, longer");
  update.AddFile("Docs\\new", "new");
  WriteBackupFile(VolumeName(source, 1), update.data);
  const std::string v1 = VolumeName(source, 1);
  WriteIndex(source, 1, {source + "gone"},
             {source + "new*" + v1, source + "phantom*" + VolumeName(source, 9),
              source + "absent*" + v1, source + "bad*..\\" + v1},
             {source + "change*" + v1});
  int64_t bar_maximum = -1;
  tk.on_poll = [&](ui::HeadlessToolkit& t) {
    if (auto* bar = t.FindControl(ui::kJobWindow, kProgressBarId)) bar_maximum = bar->maximum;
    return ui::Event{};
  };

  List(PointName(source, 1), {[&] { return Open("Docs"); }});

  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[1].rows,
            (std::vector<std::string>{kDotDot, FileRow("change", "version 2, longer"),
                                      FileRow("keep", "keep"), FileRow("new", "new")}));
  EXPECT_EQ(bar_maximum, 5);

  // Generation 0 of the same set still holds the old state.
  views.clear();
  tk.on_poll = nullptr;
  List(PointName(source, 0), {[&] { return Open("Docs"); }});
  EXPECT_EQ(views[1].rows,
            (std::vector<std::string>{kDotDot, FileRow("change", "version 1"),
                                      FileRow("gone", "gone"), FileRow("keep", "keep")}));
}

// The names of the files restored below a folder, sorted.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Restore from the contents window: a folder by its button, a file by a double click, the
// folder shown by the context menu with nothing selected; each asks the target folder and
// then the structure, as every restore does, and the window opens again where it was.
TEST_F(ContentsWindowTest, RestoresTheSelectedEntryAndWhatLiesBelowIt) {
  const std::string source = Folder("src/Data/Docs");
  folder.Write("src/Data/Docs/a.txt", "ay");
  folder.Write("src/Data/Docs/sub/c.txt", "see");
  folder.Write("src/Data/Docs/sub/deep/d.txt", "dee");
  folder.Write("src/Data/Docs/subway.txt", "not below sub");
  CreateBackup(source);
  const std::string out_folder = Folder("out-folder"), out_file = Folder("out-file"),
                    out_shown = Folder("out-shown");
  tk.QueueFolder(out_folder);
  tk.QueueFolder(out_file);
  tk.QueueFolder(out_shown);
  const ui::Event ok{ui::EventType::kLeftClick, ui::kJobWindow, kRestoreOkId};
  const ui::Event restore{ui::EventType::kLeftClick, ui::kJobWindow, kContentsRestoreId};
  List(PointName(source, 0),
       {[&] { return Open("Docs"); }, [&] { return Select("sub"); }, [&] { return restore; },
        [&] { return ok; }, [&] { return Open("a.txt"); }, [&] { return ok; },
        [&] {
          tk.FindControl(ui::kJobWindow, kContentsListId)->value = -1;
          return ui::Event{ui::EventType::kMenu, ui::kJobWindow, kContentsRestoreMenuId};
        },
        [&] { return ok; }});

  EXPECT_EQ(FilesBelow(platform::NativePath(out_folder)),
            (std::vector<std::string>{"c.txt", "d.txt"}));
  EXPECT_EQ(FilesBelow(platform::NativePath(out_file)), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(FilesBelow(platform::NativePath(out_shown)),
            (std::vector<std::string>{"a.txt", "c.txt", "d.txt", "subway.txt"}));
  // After each restore the window showed the source folder again.
  int reopened = 0;
  for (const View& view : views) reopened += view.folder == source ? 1 : 0;
  EXPECT_GE(reopened, 4);
}

TEST_F(ContentsWindowTest, NoRestorePointShowsNothing) {
  OpenMainWindow("Backup_0000_of_Z:\\Docs\\");
  ListBackupContents(desk, "");
  EXPECT_EQ(tk.opened.size(), 1u);
}

TEST_F(ContentsWindowTest, MissingMainVolumeShowsOnlyTheUpdatesEntries) {
  const std::string source = "Z:\\Data\\Docs\\";
  VolumeBytes update;
  update.AddFile("Docs\\new", "new");
  WriteBackupFile(VolumeName(source, 1), update.data);
  WriteIndex(source, 1, {}, {source + "new*" + VolumeName(source, 1)}, {});
  List(PointName(source, 1), {[&] { return Open("Docs"); }});
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[1].rows, (std::vector<std::string>{kDotDot, FileRow("new", "new")}));
}

}  // namespace
}  // namespace sk
