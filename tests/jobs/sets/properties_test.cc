#include "jobs/sets/properties.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/size_text.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/read_point.h"
#include "jobs/sets/update_index.h"
#include "shell/properties_window.h"
#include "support/recording_reporter.h"

namespace sk {
namespace {

using testing::VolumeBytes;

TEST(GroupThousandsTest, PutsDotsBetweenGroupsOfThreeDigits) {
  EXPECT_EQ(GroupThousands(0), "0");
  EXPECT_EQ(GroupThousands(999), "999");
  EXPECT_EQ(GroupThousands(1000), "1.000");
  EXPECT_EQ(GroupThousands(1234567), "1.234.567");
  EXPECT_EQ(GroupThousands(-1234), "-1.234");
  EXPECT_EQ(GroupThousands(INT_MIN), "-2.147.483.648");
}

TEST(SplitIndexValueTest, StarsInThePathDoNotMoveTheSplit) {
  const std::string set = "Z__data_";
  EXPECT_EQ(SplitIndexValue("Z:\\data\\a*b*Backup_0002_of_Z__data_.sk", set).path, "Z:\\data\\a*b");
  EXPECT_EQ(SplitIndexValue("Z:\\data\\a*b*Backup_0002_of_Z__data_.sk", set).volume,
            "Backup_0002_of_Z__data_.sk");
  EXPECT_EQ(SplitIndexValue("Z:\\data\\a", set).volume, "");
}

class PropertiesTest : public testing::JobFixture {
 protected:
  // The values of the properties window, read while it is open.
  struct Shown {
    std::string heading, name, engine, packed, unpacked, folders, files;
    bool main_enabled = true;
  };

  Shown Show(const std::string& display_name) {
    OpenMainWindow(display_name);
    Shown shown;
    tk.on_wait = [&](ui::HeadlessToolkit& t) {
      auto text = [&](int id) { return t.FindControl(ui::kJobWindow, id)->text; };
      shown = {text(kPropertiesFrameId),    text(kPropertiesNameId),
               text(kPropertiesEngineId),   text(kPropertiesPackedId),
               text(kPropertiesUnpackedId), text(kPropertiesFoldersId),
               text(kPropertiesFilesId),    t.windows.at(ui::kMainWindow).enabled};
      return ui::Event{ui::EventType::kLeftClick, ui::kJobWindow, kPropertiesCloseId};
    };
    PropertiesWindow(desk, display_name);
    tk.on_wait = nullptr;
    return shown;
  }

  static int64_t RecordSize(const VolumeBytes& volume, size_t record) {
    const size_t end = record + 1 < volume.record_starts.size() ? volume.record_starts[record + 1]
                                                                : volume.data.size();
    return static_cast<int64_t>(end - volume.record_starts[record]);
  }
};

TEST_F(PropertiesTest, MainVolumeShowsItsOwnTotals) {
  const std::string source = Folder("src/Docs");
  folder.Write("src/Docs/a.txt", std::string(3000, 'a'));
  folder.Write("src/Docs/sub/b.txt", std::string(2000, 'b'));
  folder.Write("src/Docs/sub/deeper/c.txt", "c");
  CreateBackup(source);
  const int64_t volume_size = platform::FileSize(app.BackupFolder + VolumeName(source, 0));

  const Shown shown = Show(PointName(source, 0));

  EXPECT_EQ(shown.heading, "Haupt-Backup");
  EXPECT_EQ(shown.name, FileBaseName(PointName(source, 0)));
  EXPECT_EQ(shown.engine, "ZLIB");
  EXPECT_EQ(shown.packed, ByteSizeText(volume_size, 1));
  EXPECT_EQ(shown.unpacked, ByteSizeText(5001, 1));
  EXPECT_EQ(shown.folders, "2");
  EXPECT_EQ(shown.files, "3");
  EXPECT_FALSE(shown.main_enabled);
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
  const auto* window = tk.LastClosed("Eigenschaften");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 410);
  EXPECT_EQ(window->def.height, 560);
  // The point's date is when its scan began, as its metadata file says.
  const int64_t made = PointTime(SetOf(source), 0);
  EXPECT_GT(made, 0);
  EXPECT_EQ(window->controls.at(kPropertiesTimeId).text, platform::LocalTimeText(made));
  EXPECT_EQ(window->controls.at(kPropertiesCloseId).text, testing::SystemText("Schließen"));
  EXPECT_EQ(window->controls.at(kPropertiesFirstRowId + 8).text, "Anzahl Ordner");
  EXPECT_EQ(window->controls.at(kPropertiesFirstRowId + 8).def.y, 285);
  EXPECT_EQ(window->controls.at(kPropertiesFirstRowId + 8).def.background, 0xD2D2D2);
  EXPECT_EQ(window->controls.at(kPropertiesFoldersId).def.background, 0xE4E4E4);
}

TEST_F(PropertiesTest, GenerationTwoCountsAFileChangedBeforeGenerationOneFromItsVolume) {
  const std::string source = "Z:\\Data\\Docs\\";
  VolumeBytes main;
  main.AddFolder("Docs\\");
  main.AddFile("Docs\\a", std::string(5000, '1'));
  main.AddFile("Docs\\b", std::string(300, 'b'));
  main.AddFile("Docs\\gone", std::string(70, 'g'));
  WriteBackupFile(VolumeName(source, 0), main.data);
  VolumeBytes update;
  update.AddFile("Docs\\a", std::string(8000, '2'));
  WriteBackupFile(VolumeName(source, 1), update.data);
  const std::string changed = source + "a*" + VolumeName(source, 1);
  WriteIndex(source, 1, {}, {}, {changed});
  // Generation 2 lists the change again, with volume 1 as its holder, and removes a file
  // under another letter case.
  WriteIndex(source, 2, {source + "GONE"}, {}, {changed});

  const Shown shown = Show(PointName(source, 2));

  EXPECT_EQ(shown.heading, "Wiederherstellungspunkt");
  const int64_t packed = static_cast<int64_t>(main.data.size()) - RecordSize(main, 1) -
                         RecordSize(main, 3) + RecordSize(update, 0);
  EXPECT_EQ(shown.packed, ByteSizeText(packed, 1));
  EXPECT_EQ(shown.unpacked, ByteSizeText(8300, 1));
  EXPECT_EQ(shown.folders, "1");
  EXPECT_EQ(shown.files, "2");
  // The same totals without a window, and from the point the job reads.
  const RestorePointTotals quiet = TotalsOfPoint(app, PointName(source, 2));
  EXPECT_EQ(quiet.unpacked, 8300);
  EXPECT_EQ(quiet.packed, packed);
  EXPECT_EQ(tk.opened.size(), 2u);  // the main window and the properties window only
  testing::TestJob job;
  const PointResult point = ReadPoint(SetOf(source), 2, job.context);
  EXPECT_EQ(point.outcome, Outcome::kDone);
  EXPECT_TRUE(point.whole);
  const RestorePointTotals totals = TotalsOf(point.contents);
  EXPECT_EQ(totals.packed, packed);
  EXPECT_EQ(totals.unpacked, 8300);
  EXPECT_EQ(totals.folders, 1);
  EXPECT_EQ(totals.files, 2);
  EXPECT_EQ(totals.engine, kEngineZlib);
}

TEST_F(PropertiesTest, FolderCountIsOneForASourceOfFilesUnlessItIsADriveRoot) {
  VolumeBytes files;
  files.AddFile("a", "a");
  WriteBackupFile("Backup_0000_of_Z__.sk", files.data);
  EXPECT_EQ(Show("Backup_0000_of_Z:\\").folders, "0");
  VolumeBytes under;
  under.AddFile("Docs\\a", "a");
  WriteBackupFile("Backup_0000_of_Z__Docs_.sk", under.data);
  EXPECT_EQ(Show("Backup_0000_of_Z:\\Docs\\").folders, "1");
}

TEST_F(PropertiesTest, MissingMainVolumeShowsNoEngineAndZeroSizes) {
  const Shown shown = Show("Backup_0000_of_Z:\\Nothing\\");
  EXPECT_EQ(shown.engine, "Unbekannt");
  EXPECT_EQ(shown.packed, "0 Bytes ");
  EXPECT_EQ(shown.unpacked, "0 Bytes ");
  EXPECT_EQ(shown.files, "0");
}

TEST_F(PropertiesTest, LargeCountsAreGrouped) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  for (int i = 0; i < 1234; ++i) volume.AddFile("Docs\\f" + std::to_string(i), "");
  WriteBackupFile("Backup_0000_of_Z__Docs_.sk", volume.data);
  EXPECT_EQ(Show("Backup_0000_of_Z:\\Docs\\").files, "1.234");
}

}  // namespace
}  // namespace sk
