#include "jobs/sets/backup_lists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "archive/volume_reader.h"
#include "core/size_text.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/sets_fixture.h"
#include "platform/file_system.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"

namespace sk::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

constexpr int kSelectionButtons[] = {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton,
                                     ui::kRestoreListButton, ui::kRestoreButton};

class BackupListsTest : public SetsTest {
 protected:
  void SetUp() override {
    tk().OpenWindow(ui::kMainWindow, {"main", 599, 500});
    for (const int id : {ui::kBackupList, ui::kRestoreList}) {
      tk().AddControl(ui::kMainWindow, {id, ui::ControlKind::kReportList});
    }
    for (const int id : kSelectionButtons) {
      tk().AddControl(ui::kMainWindow, {id, ui::ControlKind::kButton});
    }
  }
  std::vector<std::pair<std::string, int>> Rows(int list) {
    const auto& control = tk().windows.at(ui::kMainWindow).controls.at(list);
    // The rows show the names in the system's path form; the program keeps them as stored.
    const std::vector<std::string>& names =
        list == ui::kBackupList ? desk().backup_rows : desk().restore_rows;
    EXPECT_EQ(names.size(), control.items.size());
    std::vector<std::pair<std::string, int>> rows;
    for (size_t i = 0; i < control.items.size() && i < names.size(); ++i) {
      const std::string& shown = control.items[i];
      const size_t end = shown.find('\n');
      EXPECT_EQ(shown.substr(0, end), ShownPointName(names[i]));
      rows.emplace_back(names[i] + shown.substr(end), control.images[i]);
    }
    return rows;
  }
  Desktop& desk() { return test_app_.desk; }
  std::string Backup() const { return folder_.Internal("backup/"); }
  // When point k of the set of source was made: when its scan began, as its metadata says.
  std::string Made(const std::string& source, int32_t k) {
    const int64_t seconds = PointTime(BackupSet(Backup(), source), k);
    EXPECT_GT(seconds, 0);
    return platform::LocalTimeText(seconds);
  }
  std::string MainRow(const std::string& source) {
    const std::string name = VolumeFileName(sk::SetName(source), 0);
    return "Backup_0000_of_" + source + "\n" +
           ByteSizeText(platform::FileSize(folder_.Internal("backup/") + name), 1) + "\n" +
           Made(source, 0);
  }
  std::string PointRow(int32_t k) {
    return "Backup_" + GenerationField(k) + "_of_" + Source() + "\n" +
           RestorePointSize(Backup(), IndexName(k)) + " <---\n" + Made(Source(), k);
  }
  // Stored size of every record of a volume, by path.
  std::map<std::string, int64_t> StoredSizes(int32_t k) {
    std::map<std::string, int64_t> sizes;
    VolumeReader reader;
    OpenVolume(reader, VolumePath(k));
    while (ReadNextRecord(reader)) sizes[reader.record.path] = reader.record.StoredSize();
    return sizes;
  }
};

TEST_F(BackupListsTest, EachSetOnceByItsLatestPointAndEveryPointInTheRestoreList) {
  Put("a", "a0");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  for (int k = 1; k <= 3; ++k) {
    Put("a", TextData(100, k));
    ASSERT_EQ(Update().point, k);
  }
  folder_.Write("src/Other/x", "x");
  const std::string other = folder_.Internal("src/Other/");
  TestJob job;
  ASSERT_EQ(CreateBackup({BackupSet(Backup(), other), 2, 1, {}}, job.context).outcome,
            Outcome::kDone);
  // Nothing that is no main volume or update index of a set with a main volume shows.
  for (const char* stray : {"Backup_0001_of_Z__nowhere_.ini", "Backup_.ini", "b.ini", "B.sk",
                            "~Backup_0000_of_Z__x_.sk.part", "Backup_0000_of_Z__x_.skx"}) {
    folder_.Write(std::string("backup/") + stray, "x");
  }
  folder_.MakeFolder("backup/Backup_0000_of_Z__folder_.sk");

  RefreshBackupLists(desk());
  EXPECT_THAT(Rows(ui::kBackupList), ElementsAre(Pair(PointRow(3), 4), Pair(MainRow(other), 0)));
  EXPECT_THAT(Rows(ui::kRestoreList),
              ElementsAre(Pair(MainRow(Source()), 0), Pair(PointRow(1), 4), Pair(PointRow(2), 4),
                          Pair(PointRow(3), 4), Pair(MainRow(other), 0)));
  const auto& main = tk().windows.at(ui::kMainWindow);
  EXPECT_FALSE(main.MenuItemEnabled(ui::kMenuVerify));
  EXPECT_FALSE(main.MenuItemEnabled(ui::kMenuProperties));
  for (const int id : kSelectionButtons) EXPECT_FALSE(main.controls.at(id).enabled) << id;

  // A refresh replaces the rows.
  platform::DeleteFile(VolumePath(0));
  RefreshBackupLists(desk());
  EXPECT_THAT(Rows(ui::kBackupList), ElementsAre(Pair(MainRow(other), 0)));
  EXPECT_EQ(Rows(ui::kRestoreList).size(), 1u);
}

// What an interrupted job left is no restore point: a volume without its index, points
// after a missing index, temporary files.
TEST_F(BackupListsTest, LeftoversOfInterruptedJobsDoNotShow) {
  Put("a", "a0");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  Put("a", "a1");
  ASSERT_EQ(Update().point, 1);
  folder_.Write("backup/" + VolumeName(2), "SK");
  folder_.Write("backup/" + IndexName(4), "; \r\n");
  folder_.Write("backup/~" + IndexName(3) + ".0123456789abcdef.tmp", "; \r\n");
  RefreshBackupLists(desk());
  EXPECT_THAT(Rows(ui::kBackupList), ElementsAre(Pair(PointRow(1), 4)));
  EXPECT_THAT(Rows(ui::kRestoreList),
              ElementsAre(Pair(MainRow(Source()), 0), Pair(PointRow(1), 4)));
}

TEST_F(BackupListsTest, RestorePointSizeCountsTheRecordsOfThePoint) {
  Put("a", TextData(20000, 1));
  Put("b", TextData(9000, 2));
  Put("c", "c");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const int64_t main_size = platform::FileSize(VolumePath(0));
  ASSERT_EQ(Update().point, 1);  // nothing changed: the main volume's size
  EXPECT_EQ(RestorePointSize(Backup(), IndexName(1)), ByteSizeText(main_size, 1));

  Put("b", TextData(9000, 3));
  Drop("c");
  Put("d", TextData(500, 4));
  ASSERT_EQ(Update().point, 2);
  ASSERT_EQ(Update().point, 3);  // the same point again, its versions in volume 2
  auto main = StoredSizes(0), second = StoredSizes(2);
  const int64_t added = second["Data\\b"] + second["Data\\d"];
  const int64_t expected = main_size - main["Data\\b"] - main["Data\\c"] + added;
  EXPECT_EQ(RestorePointSize(Backup(), IndexName(2)), ByteSizeText(expected, 1));
  EXPECT_EQ(RestorePointSize(Backup(), IndexName(3)), ByteSizeText(expected, 1));
  // A missing main volume counts as -1.
  platform::DeleteFile(VolumePath(0));
  EXPECT_EQ(RestorePointSize(Backup(), IndexName(3)), ByteSizeText(added - 1, 1));

  // Names shorter than a set's names are safe.
  for (const char* name : {"", "B", "Backup_", "Backup_0001_of_.ini", "Backup_99999999", "x.ini"}) {
    folder_.Write(std::string("backup/") + name + (name[0] ? "" : "empty"),
                  "[REMOVED]\r\n1 = a\r\n[ADDED]\r\n1 = b*c\r\n[CHANGED]\r\n1 = *\r\n");
    EXPECT_EQ(RestorePointSize(Backup(), name), ByteSizeText(0, 1)) << name;
  }
}

TEST(IndexValuePathTest, CutsBeforeTheSetsVolumeName) {
  const std::string set = "C__Data_";
  EXPECT_EQ(IndexValuePath("C:\\Data\\a*Backup_0001_of_C__Data_.sk", set), "C:\\Data\\a");
  EXPECT_EQ(IndexValuePath("C:\\Data\\a*b*backup_0012_OF_c__data_.SK", set), "C:\\Data\\a*b");
  const std::string starred = "C__We*ird_";
  EXPECT_EQ(IndexValuePath("C:\\We*ird\\a*Backup_0001_of_C__We*ird_.sk", starred), "C:\\We*ird\\a");
  // Anything else is cut at its first "*".
  EXPECT_EQ(IndexValuePath("C:\\Data\\a*b*Backup_0001_of_Other_.sk", set), "C:\\Data\\a");
  EXPECT_EQ(IndexValuePath("C:\\Data\\a*Backup_00x1_of_C__Data_.sk", set), "C:\\Data\\a");
  EXPECT_EQ(IndexValuePath("C:\\Data\\a", set), "C:\\Data\\a");
  EXPECT_EQ(IndexValuePath("*", set), "");
  EXPECT_EQ(IndexValuePath("", ""), "");
}

}  // namespace
}  // namespace sk::testing
