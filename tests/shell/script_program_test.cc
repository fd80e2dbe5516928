// The command line as a script uses it: verify, list, properties, delete, partial restore,
// answers and JSON, each run through the real program on a set with two updates.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/read_point.h"
#include "platform/file_system.h"
#include "shell/json_output.h"
#include "support/program_runner.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kSeparator = platform::kBackslashSeparates ? '\\' : '/';

// One line of "/l": size, CRC text and path relative to the source folder.
struct Listed {
  int64_t size = 0;
  std::string crc;
  bool operator==(const Listed&) const = default;
};
using Listing = std::map<std::string, Listed>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string CrcTextOf(const std::string& content) {
  return CrcText(Crc32(0, reinterpret_cast<const uint8_t*>(content.data()), content.size()));
}

class ScriptProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(testing::ProgramPath())) << testing::ProgramPath();
    folder_.MakeFolder("config/Stowkeeper");
    folder_.MakeFolder("backups");
    folder_.MakeFolder("target");
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n");
    folder_.Write("src/a.txt", "alpha");
    folder_.Write("src/sub/b.txt", testing::TextData(30000, 2));
    folder_.Write("src/sub/deep/c.bin", testing::RandomData(7000, 3));
    folder_.MakeFolder("src/empty");
  }

  int Run(const std::vector<std::string>& args, std::vector<std::string> environment = {}) {
    return RunTo(folder_.Native("stdout"), args, std::move(environment));
  }
  // The same with standard output into the native file output.
  int RunTo(const std::string& output, const std::vector<std::string>& args,
            std::vector<std::string> environment = {}) {
    return testing::WaitForProgram(testing::StartProgram(args, {.config = folder_.Native("config"),
                                                                .home = folder_.Native("home"),
                                                                .output = output,
                                                                .errors = folder_.Native("stderr"),
                                                                .environment = environment}));
  }
  std::string Out() { return folder_.Read("stdout"); }
  std::string Err() { return folder_.Read("stderr"); }
  std::string Src() { return folder_.Native("src"); }

  // Restore points 0, 1 and 2: a changed file, a new one, a removed one.
  void MakeSetWithTwoUpdates() {
    ASSERT_EQ(Run({"/c", Src()}), 0) << Err();
    folder_.Write("src/a.txt", "alpha, longer now");
    folder_.Write("src/sub/new.txt", "new");
    ASSERT_EQ(Run({"/u", Src()}), 0) << Err();
    folder_.Remove("src/sub/deep/c.bin");
    folder_.Write("src/sub/b.txt", testing::TextData(12000, 9));
    ASSERT_EQ(Run({"/u", Src()}), 0) << Err();
    ASSERT_EQ(folder_.Names("backups").size(), 8u);  // three volumes and metadata, two indexes
  }

  // The backup folder's files with their content: what a job must not change.
  std::map<std::string, std::string> BackupContent() {
    std::map<std::string, std::string> content;
    for (const std::string& name : folder_.Names("backups")) {
      content[name] = folder_.Read("backups/" + name);
    }
    return content;
  }

  std::string BackupFile(int generation, const std::string& extension) {
    for (const std::string& name : folder_.Names("backups")) {
      if (name.starts_with("Backup_" + GenerationField(generation)) && name.ends_with(extension)) {
        return name;
      }
    }
    return "";
  }

  // The path of one line of "/l": "size crc mode owner:group time path".
  static std::string PathOfLine(const std::string& line) {
    size_t at = 0;
    for (int field = 0; field < 5 && at != std::string::npos; ++field) {
      at = line.find(' ', at);
      if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? "" : line.substr(at);
  }

  Listing ListPoint(const std::vector<std::string>& args) {
    Listing listing;
    EXPECT_EQ(Run(args), 0) << Err();
    for (const std::string& line : Lines(Out())) {
      const size_t first = line.find(' ');
      const size_t second = line.find(' ', first + 1);
      EXPECT_NE(second, std::string::npos) << line;
      listing[PathOfLine(line)] = {std::stoll(line.substr(0, first)),
                                   line.substr(first + 1, second - first - 1)};
    }
    return listing;
  }

  // What a restore wrote below `target`, as "/l" would list it. The whole path of the source
  // folder is recreated below the target (without "--subfolder").
  Listing Restored(const std::string& target) {
    const std::string source = Src();
    const size_t root = platform::kBackslashSeparates ? 3 : 1;  // "Z:\" or "/"
    Listing listing;
    for (const auto& [path, content] :
         testing::WalkTree(folder_.Native(target) + kSeparator + source.substr(root))) {
      if (content == testing::kFolder) {
        listing[path + kSeparator] = {0, "$00000000"};
      } else {
        listing[path] = {static_cast<int64_t>(content.size()), CrcTextOf(content)};
      }
    }
    return listing;
  }

  testing::TempFolder folder_;
};

TEST_F(ScriptProgramTest, VerifyFindsEveryVolumeValidThenNamesTheDamagedOne) {
  MakeSetWithTwoUpdates();
  ASSERT_EQ(Run({"/v", Src()}), 0) << Err();
  std::vector<std::string> lines = Lines(Out());
  ASSERT_EQ(lines.size(), 3u) << Out();
  for (int g = 0; g < 3; ++g) {
    EXPECT_TRUE(lines[g].starts_with("Backup_" + GenerationField(g) + "_of_")) << lines[g];
    EXPECT_TRUE(lines[g].ends_with(": valid")) << lines[g];
  }

  // One byte flipped inside update volume 1: in the stored content of a.txt, where the
  // engine kept it raw.
  const std::string volume = "backups/" + BackupFile(1, ".sk");
  std::string bytes = folder_.Read(volume);
  const size_t content = bytes.find("longer now");
  const size_t flip = content != std::string::npos ? content : bytes.size() - 20;
  bytes[flip] = static_cast<char>(bytes[flip] ^ 0x40);
  folder_.Write(volume, bytes);
  const auto before = BackupContent();
  EXPECT_EQ(Run({"/v", Src()}), 1);
  lines = Lines(Out());
  ASSERT_EQ(lines.size(), 3u) << Out();
  EXPECT_TRUE(lines[0].ends_with(": valid"));
  EXPECT_TRUE(lines[1].starts_with("Backup_0001_of_")) << lines[1];
  EXPECT_NE(lines[1].find(": damaged: "), std::string::npos) << lines[1];
  if (content != std::string::npos) {
    EXPECT_TRUE(lines[1].ends_with("CRC mismatch: a.txt")) << lines[1];
  }
  EXPECT_TRUE(lines[2].ends_with(": valid"));

  // The JSON document says the same.
  ASSERT_EQ(Run({"--json", "/V", Src()}), 1);
  const json document = json::parse(Out());
  EXPECT_FALSE(document["valid"].get<bool>());
  ASSERT_EQ(document["volumes"].size(), 3u);
  for (int g = 0; g < 3; ++g) {
    const json& v = document["volumes"][g];
    EXPECT_EQ(v["generation"], g);
    EXPECT_EQ(lines[g], TakeName(v, "name") + ": " +
                            (v["state"] == "valid"
                                 ? std::string("valid")
                                 : "damaged: " + TakeName(v, "reason") +
                                       (v.contains("entry") ? " " + TakeName(v, "entry") : "")));
  }
  EXPECT_EQ(BackupContent(), before);  // verifying writes nothing
}

TEST_F(ScriptProgramTest, ListShowsWhatRestoreWritesForEveryPointAndEveryPath) {
#ifndef _WIN32
  folder_.Write("src/caf\xE9.txt", "latin-1 name");  // not valid UTF-8
#endif
  MakeSetWithTwoUpdates();
  const auto before = BackupContent();
  for (int point = 0; point < 3; ++point) {
    const std::string number = std::to_string(point);
    const Listing listed = ListPoint({"/l", number, Src()});
    const std::vector<std::string> lines = Lines(Out());
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
      return CompareNoCase(PathOfLine(a), PathOfLine(b)) < 0;
    }));
    const std::string target = "target/all" + number;
    folder_.MakeFolder(target);
    ASSERT_EQ(Run({"/r", number, Src(), folder_.Native(target)}), 0) << Err();
    EXPECT_EQ(listed, Restored(target)) << "restore point " << point;

    // JSON: the same entries, names recovered exactly.
    ASSERT_EQ(Run({"/l", number, Src(), "--json"}), 0) << Err();
    const json document = json::parse(Out());
    EXPECT_EQ(document["point"], point);
    Listing from_json;
    for (const json& entry : document["entries"]) {
      from_json[TakeName(entry, "path")] = {entry["size"].get<int64_t>(),
                                            entry["crc"].get<std::string>()};
      EXPECT_TRUE(entry["volume"].get<std::string>().starts_with("Backup_"));
    }
    EXPECT_EQ(from_json, listed);
  }
#ifndef _WIN32
  ASSERT_EQ(Run({"/l", "2", Src(), "--json"}), 0);
  const std::string json_text = Out();
  EXPECT_NE(json_text.find("\"path_hex\":\"636166e92e747874\""), std::string::npos) << json_text;
#endif

  // A folder and a file named on the command line: "/l" and "/r" agree.
  const std::string sub = std::string("sub") + kSeparator;
  const Listing listed = ListPoint({"/l", "1", Src(), "sub", "--no"});
  EXPECT_EQ(listed.size(), 5u);  // sub/, b.txt, deep/, deep/c.bin, new.txt
  for (const auto& [path, entry] : listed) EXPECT_TRUE(path.starts_with(sub)) << path;
  folder_.MakeFolder("target/part");
  ASSERT_EQ(Run({"/r", "1", Src(), folder_.Native("target/part"), "sub/deep", "a.txt"}), 0)
      << Err();
  Listing expected = ListPoint({"/l", "1", Src(), "sub/deep"});
  expected.merge(ListPoint({"/l", "1", Src(), "a.txt"}));
  Listing restored = Restored("target/part");
  restored.erase(sub);  // the folders above a named entry are made as needed
  EXPECT_EQ(restored, expected);
  EXPECT_EQ(BackupContent(), before);  // listing writes nothing
}

TEST_F(ScriptProgramTest, PropertiesAreTheWindowsNumbers) {
  MakeSetWithTwoUpdates();
  for (int point = 0; point < 3; ++point) {
    ASSERT_EQ(Run({"/p", std::to_string(point), Src()}), 0) << Err();
    std::map<std::string, std::string> lines;
    for (const std::string& line : Lines(Out())) {
      lines[line.substr(0, line.find(": "))] = line.substr(line.find(": ") + 2);
    }
    testing::TestJob job;
    const PointResult read =
        ReadPoint(BackupSet(folder_.Internal("backups/"), platform::InternalPath(Src()) + "\\"),
                  point, job.context);
    ASSERT_TRUE(read.ok() && read.whole) << "restore point " << point;
    const RestorePointTotals totals = TotalsOf(read.contents);
    // The program's catalog is the user's language: English here.
    EXPECT_EQ(lines["Properties"], point == 0 ? "Main backup" : "Restore point");
    EXPECT_EQ(lines["Engine"], "Densepress");
    EXPECT_TRUE(lines["Compressed size"].ends_with("(" + std::to_string(totals.packed) + " Bytes)"))
        << lines["Compressed size"];
    EXPECT_TRUE(
        lines["Uncompressed size"].ends_with("(" + std::to_string(totals.unpacked) + " Bytes)"));
    EXPECT_EQ(lines["Number of folders"], std::to_string(totals.folders));
    EXPECT_EQ(lines["Number of files"], std::to_string(totals.files));

    ASSERT_EQ(Run({"/p", std::to_string(point), Src(), "--json"}), 0) << Err();
    const json document = json::parse(Out());
    EXPECT_EQ(document["packed_bytes"], totals.packed);
    EXPECT_EQ(document["unpacked_bytes"], totals.unpacked);
    EXPECT_EQ(document["folders"], totals.folders);
    EXPECT_EQ(document["files"], totals.files);
    EXPECT_EQ(TakeName(document, "name"), lines["Name"]);
  }
}

TEST_F(ScriptProgramTest, DeleteAsksAndAnswersDecide) {
  MakeSetWithTwoUpdates();
  const auto before = BackupContent();
  // No terminal to ask on: nothing is deleted. (On Windows the question is a message box,
  // which the automation script declines.)
#ifdef _WIN32
  folder_.Write("decline.txt", "answer no\r\n");
  EXPECT_EQ(Run({"/d", Src()}, {"STOWKEEPER_AUTOMATION=" + folder_.Native("decline.txt")}), 1);
#else
  EXPECT_EQ(Run({"/d", Src()}), 1);
#endif
  EXPECT_EQ(BackupContent(), before);
  EXPECT_EQ(Run({"/d", "--no", Src()}), 1);
  EXPECT_EQ(BackupContent(), before);

  EXPECT_EQ(Run({"/d", Src(), "--yes"}), 0) << Err();
  auto after = BackupContent();
  EXPECT_EQ(after.size(), 5u);  // points 0 and 1: each one's volume and metadata, one index
  for (const auto& [name, content] : after) EXPECT_EQ(content, before.at(name)) << name;
  EXPECT_EQ(BackupFile(2, ".sk"), "");
  EXPECT_EQ(BackupFile(2, ".ini"), "");
  EXPECT_EQ(Run({"/v", Src()}), 0) << Out();
  EXPECT_EQ(Lines(Out()).size(), 2u);

  // "--yes" replaces a file that a restore finds in its way, "--no" keeps it.
  folder_.MakeFolder("target/again");
  ASSERT_EQ(Run({"/r", "0", Src(), folder_.Native("target/again"), "a.txt"}), 0) << Err();
  const Listing restored = Restored("target/again");
  ASSERT_EQ(restored.size(), 1u);
  const std::string path = folder_.Native("target/again") + kSeparator +
                           Src().substr(platform::kBackslashSeparates ? 3 : 1) + kSeparator +
                           "a.txt";
  std::ofstream(path, std::ios::binary) << "changed";
  EXPECT_EQ(Run({"/r", "0", Src(), folder_.Native("target/again"), "a.txt", "--no"}), 0);
  EXPECT_NE(Restored("target/again"), restored);
  EXPECT_EQ(Run({"/r", "0", Src(), folder_.Native("target/again"), "a.txt", "--yes"}), 0);
  EXPECT_EQ(Restored("target/again"), restored);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

TEST_F(ScriptProgramTest, PointListCountsChangesSizesAndDatesFromTheSmallFilesAlone) {
  MakeSetWithTwoUpdates();
  // Point 1: a.txt changed, sub/new.txt added; point 2 (against the main backup): a.txt and
  // sub/b.txt changed, sub/new.txt added, sub/deep/c.bin removed.
  const int64_t kRestored[] = {5 + 30000 + 7000, 17 + 30000 + 7000 + 3, 17 + 12000 + 3};
  const int32_t kChanges[][3] = {{0, 0, 0}, {1, 1, 0}, {1, 2, 1}};
  ASSERT_EQ(Run({"/l", "0", Src()}), 0) << Err();
  const auto main_entries = static_cast<int64_t>(Lines(Out()).size());

  ASSERT_EQ(Run({"/s", Src()}), 0) << Err();
  const std::vector<std::string> lines = Lines(Out());
  ASSERT_EQ(lines.size(), 4u) << Out();
  EXPECT_EQ(lines[0], "point\tdate\tadded\tchanged\tremoved\tvolume_bytes\trestored_bytes");
  ASSERT_EQ(Run({"/s", Src(), "--json"}), 0) << Err();
  const json document = json::parse(Out());
  ASSERT_EQ(document["points"].size(), 3u);
  EXPECT_EQ(TakeName(document, "source"), Src() + kSeparator);
  for (int point = 0; point < 3; ++point) {
    const std::vector<std::string> fields = Fields(lines[point + 1]);
    ASSERT_EQ(fields.size(), 7u) << lines[point + 1];
    EXPECT_EQ(fields[0], std::to_string(point));
    if (point == 0) {
      EXPECT_EQ(fields[2], std::to_string(main_entries));
    } else {
      EXPECT_EQ(fields[2], std::to_string(kChanges[point][0])) << point;
      EXPECT_EQ(fields[3], std::to_string(kChanges[point][1])) << point;
      EXPECT_EQ(fields[4], std::to_string(kChanges[point][2])) << point;
    }
    EXPECT_EQ(std::stoll(fields[5]),
              static_cast<int64_t>(folder_.Read("backups/" + BackupFile(point, ".sk")).size()));
    EXPECT_EQ(std::stoll(fields[6]), kRestored[point]) << point;
    // Dates as text sort as the points were made.
    ASSERT_EQ(fields[1].size(), 19u) << fields[1];
    if (point > 0) {
      EXPECT_LE(Fields(lines[point])[1], fields[1]);
    }

    const json& item = document["points"][point];
    EXPECT_EQ(item["point"], point);
    EXPECT_EQ(item["date"], fields[1]);
    EXPECT_EQ(std::to_string(item["added"].get<int64_t>()), fields[2]);
    EXPECT_EQ(std::to_string(item["changed"].get<int64_t>()), fields[3]);
    EXPECT_EQ(std::to_string(item["removed"].get<int64_t>()), fields[4]);
    EXPECT_EQ(std::to_string(item["volume_bytes"].get<int64_t>()), fields[5]);
    EXPECT_EQ(std::to_string(item["restored_bytes"].get<int64_t>()), fields[6]);
    if (point > 0) {
      EXPECT_LE(document["points"][point - 1]["time_unix"], item["time_unix"]);
    }
  }

  // A set written before metadata files is worked out from its volumes, to the same figures.
  for (const std::string& name : folder_.Names("backups")) {
    if (name.ends_with(".meta")) folder_.Remove("backups/" + name);
  }
  ASSERT_EQ(Run({"/s", Src()}), 0) << Err();
  const std::vector<std::string> old_lines = Lines(Out());
  ASSERT_EQ(old_lines.size(), 4u);
  for (size_t i = 1; i < 4; ++i) {
    std::vector<std::string> old_fields = Fields(old_lines[i]);
    std::vector<std::string> fields = Fields(lines[i]);
    ASSERT_EQ(old_fields.size(), 7u);
    old_fields.erase(old_fields.begin() + 1);  // dated by its files' times now
    fields.erase(fields.begin() + 1);
    EXPECT_EQ(old_fields, fields) << old_lines[i];
  }

  EXPECT_EQ(Run({"/s", folder_.Native("other")}), 1);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(Lines(Err()).size(), 1u) << Err();
  EXPECT_TRUE(Err().starts_with("stowkeeper: /s: ")) << Err();
}

TEST_F(ScriptProgramTest, RetentionDryRunNamesWhatWouldGoAndChangesNothing) {
  MakeSetWithTwoUpdates();
  ASSERT_EQ(Run({"/s", Src()}), 0) << Err();
  const std::string date_of_1 = Fields(Lines(Out())[2])[1];
  const auto before = BackupContent();

  ASSERT_EQ(Run({"/d", Src(), "--keep-last", "1", "--dry-run"}), 0) << Err();
  EXPECT_EQ(Lines(Out()),
            (std::vector<std::string>{
                "remove 1 " + date_of_1, "keep 0 -> 0", "keep 2 -> 1",
                "dry run: nothing was changed; 1 of 3 restore points would be removed"}));
  EXPECT_EQ(BackupContent(), before);

  ASSERT_EQ(Run({"/d", Src(), "--keep-last=1", "--dry-run", "--json"}), 0) << Err();
  const json document = json::parse(Out());
  EXPECT_EQ(document["dry_run"], true);
  ASSERT_EQ(document["removed"].size(), 1u);
  EXPECT_EQ(document["removed"][0]["point"], 1);
  EXPECT_EQ(document["removed"][0]["date"], date_of_1);
  EXPECT_EQ(document["kept"], json::parse(R"([{"point":0,"new_point":0},
                                              {"point":2,"new_point":1}])"));
  EXPECT_EQ(BackupContent(), before);
}

TEST_F(ScriptProgramTest, BadInputSaysWhatIsWrongInOneLineAndWritesNothing) {
  MakeSetWithTwoUpdates();
  const auto before = BackupContent();
  const std::string target = folder_.Native("target");
  const std::string other = folder_.Native("other");
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"/v"}, 2},                                                 // SOURCE missing
      {{"/v", Src(), "more"}, 2},                                  // one too many
      {{"/p", "0"}, 2},                                            //
      {{"/l", "two", Src()}, 2},                                   // no number
      {{"/l", "0", Src(), "a.txt", "b"}, 2},                       //
      {{"/d", Src(), "/x"}, 2},                                    //
      {{"/l", "0", Src(), "../secret"}, 2},                        // leaves the source folder
      {{"/l", "0", Src(), "sub/../../x"}, 2},                      //
      {{"/r", "0", Src(), target, "/etc"}, 2},                     // absolute
      {{"/r", "10000", Src(), target}, 2},                         // five digits
      {{"/r", "0", Src(), folder_.Native("src/sub/out")}, 2},      // TARGET inside SOURCE
      {{"/u", Src(), other}, 2},                                   // one too many
      {{"/r", "0", Src(), target, "--json"}, 2},                   // no JSON form
      {{"/d", Src(), "--json"}, 2},                                //
      {{"/v", Src(), "--verbose"}, 2},                             // unknown option
      {{"/x", Src(), "--yes"}, 2},                                 // unknown switch in a script
      {{"/d", Src(), "--yes", "--no"}, 2},                         // both answers
      {{"/l", "3", Src()}, 1},                                     // no such restore point
      {{"/p", "9", Src()}, 1},                                     //
      {{"/v", other}, 1},                                          // no set of that folder
      {{"/d", other, "--yes"}, 1},                                 //
      {{"/l", "1", Src(), "sub/none"}, 1},                         // not in the point
      {{"/r", "2", Src(), target, "a.txt", "sub/deep/c.bin"}, 1},  // removed by update 2
  };
  for (const auto& [args, status] : cases) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(Run(args), status) << shown << "\n" << Err();
    const std::vector<std::string> lines = Lines(Err());
    EXPECT_EQ(lines.size(), 1u) << shown << "\n" << Err();
    EXPECT_TRUE(Err().starts_with("stowkeeper: ")) << shown << "\n" << Err();
    EXPECT_EQ(Out(), "") << shown;
    EXPECT_EQ(BackupContent(), before) << shown;
    EXPECT_TRUE(folder_.Names("target").empty()) << shown;
  }
  EXPECT_FALSE(folder_.Exists("src/sub/out"));
}

#ifndef _WIN32
// A report lost on its way (a full disk, a closed pipe) fails the run: a script must not take
// an empty listing for an empty restore point.
TEST_F(ScriptProgramTest, AReportThatCannotBeWrittenFailsTheRunAndSaysWhy) {
  MakeSetWithTwoUpdates();
  // ("--quiet": the check's progress line would stand before the message.)
  const std::vector<std::vector<std::string>> cases = {{"/l", "0", Src()},
                                                       {"/l", "2", Src(), "--json"},
                                                       {"/p", "1", Src()},
                                                       {"/v", Src(), "--quiet"}};
  for (const std::vector<std::string>& args : cases) {
    EXPECT_EQ(RunTo("/dev/full", args), 1) << args[0];
    EXPECT_EQ(Err(), "stowkeeper: " + args[0] +
                         ": the report could not be written: No space left on device\n")
        << args[0];
  }
  // The update itself is made; its summary is lost, and the status says so.
  folder_.Write("src/a.txt", "alpha, once more");
  EXPECT_EQ(RunTo("/dev/full", {"/u", Src(), "--json", "--quiet"}), 1);
  EXPECT_EQ(Err(), "stowkeeper: /u: the report could not be written: No space left on device\n");
  EXPECT_NE(BackupFile(3, ".ini"), "");
}

// The list of schedules is a report too. (The schedules are the timer units below the test's
// own configuration folder: none.)
TEST_F(ScriptProgramTest, AScheduleListThatCannotBeWrittenFailsAndSaysWhy) {
  ASSERT_EQ(Run({"--schedule", "--json"}), 0) << Err();
  EXPECT_EQ(Out(), "{\"schedules\":[]}\n");
  EXPECT_EQ(RunTo("/dev/full", {"--schedule", "--json"}), 1);
  EXPECT_TRUE(Err().starts_with("stowkeeper: --schedule: ")) << Err();
  EXPECT_TRUE(Err().ends_with(": No space left on device\n")) << Err();
  EXPECT_EQ(Err().find('\n'), Err().size() - 1) << Err();
}
#endif  // _WIN32

// Runs the system's scheduler starts: the first creates the set, the next updates it, and
// each adds one line to the log in the settings folder with what it wrote.
TEST_F(ScriptProgramTest, ScheduledRunsCreateUpdateAndLogOneLineEach) {
  // The log names a source without its trailing separator, however it was given.
  const std::string shown = Src();
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), 0) << Err();
  ASSERT_EQ(folder_.Names("backups").size(), 2u);
  const int64_t main_size =
      static_cast<int64_t>(folder_.Read("backups/" + BackupFile(0, ".sk")).size() +
                           folder_.Read("backups/" + BackupFile(0, ".meta")).size());
  folder_.Write("src/a.txt", "alpha, changed by now");
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), 0) << Err();
  const int64_t update_size =
      static_cast<int64_t>(folder_.Read("backups/" + BackupFile(1, ".sk")).size() +
                           folder_.Read("backups/" + BackupFile(1, ".ini")).size() +
                           folder_.Read("backups/" + BackupFile(1, ".meta")).size());
#ifndef _WIN32
  // A source that is gone: the run fails, and says so in the log (and to a desktop, were
  // there one).
  EXPECT_EQ(Run({"/u", folder_.Native("gone"), "--scheduled"}), 2);
#endif
  // Only "/u" is a scheduled run's job, and nothing answers its questions.
  EXPECT_EQ(Run({"/c", Src(), "--scheduled"}), 2);
  EXPECT_EQ(Run({"/u", Src(), "--scheduled", "--yes"}), 2);

  const std::vector<std::string> lines = Lines(folder_.Read("config/Stowkeeper/Schedule.log"));
  ASSERT_EQ(lines.size(), platform::kBackslashSeparates ? 4u : 5u);
  // Each field, an empty last one too.
  const auto fields = [](const std::string& line) {
    std::vector<std::string> parts(1);
    for (const char c : line) {
      if (c == '\t') {
        parts.emplace_back();
      } else {
        parts.back() += c;
      }
    }
    return parts;
  };
  // Eight fields: when, source, job, outcome, files, bytes, seconds and the (empty) reason.
  const std::vector<std::string> first = fields(lines[0]);
  ASSERT_EQ(first.size(), 8u) << lines[0];
  EXPECT_EQ(first[0].size(), 19u) << first[0];  // 2026-12-08 21:50:03
  EXPECT_EQ(first[0][4], '-');
  EXPECT_EQ(first[0][13], ':');
  EXPECT_EQ((std::vector<std::string>(first.begin() + 1, first.end() - 2)),
            (std::vector<std::string>{shown, "create", "done", "3", std::to_string(main_size)}));
  EXPECT_EQ(first[6].find_first_not_of("0123456789."), std::string::npos) << first[6];
  EXPECT_EQ(first[6][first[6].size() - 2], '.') << first[6];
  EXPECT_EQ(first[7], "");
  const std::vector<std::string> second = fields(lines[1]);
  ASSERT_EQ(second.size(), 8u) << lines[1];
  EXPECT_EQ((std::vector<std::string>(second.begin() + 1, second.end() - 2)),
            (std::vector<std::string>{shown, "update", "done", "1", std::to_string(update_size)}));
#ifndef _WIN32
  const std::vector<std::string> gone = fields(lines[2]);
  ASSERT_EQ(gone.size(), 8u) << lines[2];
  EXPECT_EQ((std::vector<std::string>(gone.begin() + 1, gone.end() - 2)),
            (std::vector<std::string>{folder_.Native("gone"), "none", "not-run", "0", "0"}));
#endif
  EXPECT_TRUE(fields(lines.back())[3] == "not-run");
}

#ifndef _WIN32
// A scheduled run that left entries out is done, with problems: its log line names each of
// them, not only the first.
TEST_F(ScriptProgramTest, AScheduledRunLogsEveryProblemItNamed) {
  for (const char* name : {"src/pipe one", "src/pipe two"}) {
    ASSERT_EQ(mkfifo(folder_.Native(name).c_str(), 0600), 0) << name;
  }
  EXPECT_EQ(Run({"/u", Src(), "--scheduled"}), 3) << Err();
  const std::vector<std::string> lines = Lines(folder_.Read("config/Stowkeeper/Schedule.log"));
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  EXPECT_NE(line.find("\tcreate\tdone-with-problems\t"), std::string::npos) << line;
  const size_t one = line.find(folder_.Native("src/pipe one"));
  const size_t two = line.find(folder_.Native("src/pipe two"));
  ASSERT_NE(one, std::string::npos) << line;
  ASSERT_NE(two, std::string::npos) << line;
  EXPECT_NE(line.find("; ", std::min(one, two)), std::string::npos) << line;
}
#endif

#ifndef _WIN32
// The README's nightly job, run exactly as printed, night after night: the newest 30 points
// stay, and each night's point with them.
TEST_F(ScriptProgramTest, TheReadmeNightlyJobKeepsTheNewestThirtyPoints) {
  std::ifstream readme(std::string(SK_SOURCE_DIR) + "/README.md");
  const std::string text((std::istreambuf_iterator<char>(readme)), {});
  const size_t intro = text.find("A nightly job");
  ASSERT_NE(intro, std::string::npos);
  const size_t begin = text.find("```\n", intro) + 4;
  const size_t end = text.find("```\n", begin);
  ASSERT_NE(end, std::string::npos);
  folder_.Write("nightly.sh", text.substr(begin, end - begin));
  folder_.Write("home/Documents/night0.txt", "0");
  ASSERT_EQ(Run({"/c", folder_.Native("home/Documents")}), 0) << Err();
  const std::string command =
      "HOME='" + folder_.Native("home") + "' XDG_CONFIG_HOME='" + folder_.Native("config") +
      "' PATH='" + fs::path(testing::ProgramPath()).parent_path().string() + ":/usr/bin:/bin' sh '" +
      folder_.Native("nightly.sh") + "' >'" + folder_.Native("night.out") + "' 2>'" +
      folder_.Native("night.err") + "'";
  constexpr int kNights = 33;
  for (int night = 1; night <= kNights; ++night) {
    folder_.Write("home/Documents/night" + std::to_string(night) + ".txt", std::to_string(night));
    ASSERT_EQ(std::system(command.c_str()), 0) << "night " << night << ": "
                                                << folder_.Read("night.err");
    EXPECT_EQ(folder_.Read("night.out"), std::to_string(std::min(night, 30)) + "\n");
  }
  ASSERT_EQ(Run({"/r", "30", folder_.Native("home/Documents"), folder_.Native("target"),
                 "--subfolder"}),
            0)
      << Err();
  for (int night = 0; night <= kNights; ++night) {
    const std::string name = "target/Documents/night" + std::to_string(night) + ".txt";
    EXPECT_EQ(folder_.Read(name), std::to_string(night));
  }
}
#endif

}  // namespace
}  // namespace sk
