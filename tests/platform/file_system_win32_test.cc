// The Windows side of the file system: attributes as Windows keeps them, listings with
// "*.*", replacing renames, free space, native paths and the ANSI code page.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk::platform {
namespace {

using testing::TempFolder;
using Kind = FolderEntry::Kind;

DWORD SystemAttributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

const FolderEntry* Find(const std::vector<FolderEntry>& entries, const std::string& name) {
  for (const FolderEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    had_ = GetEnvironmentVariableA(name, nullptr, 0) > 0;
    saved_ = EnvironmentValue(name);
    SetEnvironmentVariableA(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableA(name_, had_ ? saved_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string saved_;
};

class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& folder) {
    char buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (length > 0 && length < MAX_PATH) saved_.assign(buffer, length);
    EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  }
  ~ScopedCurrentDirectory() {
    if (!saved_.empty()) SetCurrentDirectoryA(saved_.c_str());
  }

 private:
  std::string saved_;
};

// --- Paths: the internal form is the native one

TEST(WindowsPathTest, DrivePathsPassUnchanged) {
  for (const std::string path : {"C:\\", "C:\\Data\\", "z:\\tmp\\a b\\c.txt", "D:\\x"}) {
    EXPECT_EQ(NativePath(path), path);
    EXPECT_EQ(InternalPath(path), path);
  }
}

TEST(WindowsPathTest, RefusesWhatNoSystemCallCanName) {
  for (const std::string path : {"", "C:", "C:Data", "Data\\a.txt", "\\Data\\", "/tmp/x", "1:\\x",
                                 "\\\\server", "\\\\server\\", "\\\\\\share\\", "\\\\?\\C:\\x",
                                 "\\\\.\\COM1", "\\\\?\\UNC\\server\\share\\"}) {
    EXPECT_EQ(NativePath(path), "") << path;
  }
  EXPECT_EQ(InternalPath(""), "");
  // A device path has neither a drive nor a share to build the set names on.
  EXPECT_EQ(InternalPath("\\\\.\\COM1"), "");
}

// A share is a root as a drive is: backup folder, restore target and source may lie on one.
TEST(WindowsPathTest, NetworkPathsNameTheirShare) {
  for (const std::string path :
       {"\\\\server\\share\\", "\\\\server\\share\\Data\\", "\\\\nas.local\\b k\\a.txt"}) {
    EXPECT_EQ(NativePath(path), path);
    EXPECT_EQ(InternalPath(path), path);
  }
  EXPECT_EQ(RootLength("\\\\server\\share\\Data\\"), 15u);
  EXPECT_EQ(RootLength("C:\\Data\\"), 3u);
  // The share alone is a folder; slashes and the long form name the same place.
  EXPECT_EQ(InternalPath("\\\\server\\share"), "\\\\server\\share\\");
  EXPECT_EQ(InternalPath("//server/share/Data/"), "\\\\server\\share\\Data\\");
  EXPECT_EQ(InternalPath("\\\\?\\UNC\\server\\share\\Data"), "\\\\server\\share\\Data");
  EXPECT_EQ(InternalPath("\\\\?\\C:\\Data\\"), "C:\\Data\\");
  EXPECT_EQ(InternalPath("\\\\server\\share\\Data\\..\\Other\\"), "\\\\server\\share\\Other\\");
}

TEST(WindowsPathTest, CompletesRelativeAndSlashedPaths) {
  TempFolder tmp;
  tmp.MakeFolder("work/docs");
  const std::string work = tmp.Internal("work/");
  ASSERT_EQ(work.back(), '\\');
  ScopedCurrentDirectory cd(tmp.Native("work"));
  EXPECT_EQ(InternalPath("docs"), work + "docs");
  EXPECT_EQ(InternalPath("docs\\"), work + "docs\\");
  EXPECT_EQ(InternalPath("docs/"), work + "docs\\");
  EXPECT_EQ(InternalPath(".\\docs\\a.txt"), work + "docs\\a.txt");
  EXPECT_EQ(InternalPath("."), work);
  EXPECT_EQ(InternalPath("..\\work\\docs"), work + "docs");
  EXPECT_EQ(InternalPath(".."), tmp.Internal());
  EXPECT_EQ(InternalPath("C:/Data/x.txt"), "C:\\Data\\x.txt");
  EXPECT_EQ(InternalPath("C:\\Data\\..\\Other\\"), "C:\\Other\\");
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(WindowsPathTest, UnderWineLinuxPathsNameTheirOwnFolder) {
  if (!UnderWine()) GTEST_SKIP() << "Linux paths mean something only under Wine";
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  // Another current drive must not matter: /tmp/ is Z:\tmp\ (Wine's view of the Linux root).
  ScopedCurrentDirectory cd(windows);
  EXPECT_EQ(InternalPath("/tmp/"), "Z:\\tmp\\");
  EXPECT_EQ(InternalPath("/tmp/sk-none/a b/"), "Z:\\tmp\\sk-none\\a b\\");
  EXPECT_EQ(InternalPath("/tmp/x/../y"), "Z:\\tmp\\y");
}

TEST(WindowsPathTest, ProgramFolderHoldsTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(NativePath(folder), folder);
  char module[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
  ASSERT_GT(length, 0u);
  const std::string program(module, length);
  EXPECT_EQ(program.substr(0, folder.size()), folder);
  EXPECT_GT(FileSize(program), 0);
}

// --- The settings folder and the environment

TEST(WindowsEnvironmentTest, SettingsLiveBelowAppData) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  if (version.dwMajorVersion < 6) {
    EXPECT_EQ(UserSettingsFolder(), "");  // beside the program, as before Vista
    return;
  }
  {
    ScopedVariable appdata("APPDATA", "C:\\Users\\ann\\AppData\\Roaming");
    EXPECT_EQ(UserSettingsFolder(), "C:\\Users\\ann\\AppData\\Roaming\\Stowkeeper\\");
  }
  {
    ScopedVariable appdata("APPDATA", "C:\\Users\\ann\\AppData\\Roaming\\");
    EXPECT_EQ(UserSettingsFolder(), "C:\\Users\\ann\\AppData\\Roaming\\Stowkeeper\\");
  }
  {
    ScopedVariable appdata("APPDATA", nullptr);
    EXPECT_EQ(UserSettingsFolder(), "");
  }
}

TEST(WindowsEnvironmentTest, ReadsValuesOfAnyLength) {
  const std::string long_value(5000, 'v');
  ScopedVariable short_one("SK_TEST_SHORT", "abc");
  ScopedVariable long_one("SK_TEST_LONG", long_value.c_str());
  ScopedVariable missing("SK_TEST_MISSING", nullptr);
  EXPECT_EQ(EnvironmentValue("SK_TEST_SHORT"), "abc");
  EXPECT_EQ(EnvironmentValue("SK_TEST_LONG"), long_value);
  EXPECT_EQ(EnvironmentValue("SK_TEST_MISSING"), "");
}

TEST(WindowsEnvironmentTest, LanguageIsThePrimaryLanguageOfTheUser) {
  const int32_t language = UserLanguage();
  EXPECT_GT(language, 0);
  EXPECT_LT(language, 256);
}

// --- Text in the ANSI code page

std::string AnsiFromWide(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

TEST(WindowsSystemTextTest, Utf8BecomesTheAnsiCodePage) {
  EXPECT_EQ(SystemTextFromUtf8("Gr\xC3\xB6\xC3\x9F"
                               "e"),
            AnsiFromWide(L"Gr\u00F6\u00DFe"));
  EXPECT_EQ(SystemTextFromUtf8("Fran\xC3\xA7"
                               "ais.catalog"),
            AnsiFromWide(L"Fran\u00E7ais.catalog"));
  if (GetACP() == 1252) {
    EXPECT_EQ(SystemTextFromUtf8("\xC3\x9C"
                                 "ber"),
              "\xDC"
              "ber");
    EXPECT_EQ(SystemTextFromUtf8("Espa\xC3\xB1ol"), "Espa\xF1ol");
  }
}

TEST(WindowsSystemTextTest, TextThatIsNotUtf8StaysAsItIs) {
  // Already in the code page (a catalog without the UTF-8 mark), or cut in a sequence.
  for (const std::string& text :
       {std::string("Gr\xF6\xDF"
                    "e"),
        std::string("\xC3"), std::string("ab\xE2\x82"), std::string("x\0y", 3)}) {
    EXPECT_EQ(SystemTextFromUtf8(text), text);
  }
}

// --- Attributes as Windows reports and sets them

// The bits a program may change; Wine keeps the archive bit on every file whatever it is told.
constexpr int32_t kChangeable = kAttrReadOnly | kAttrHidden | kAttrSystem;

TEST(WindowsAttributesTest, RoundTripTheBitsWindowsLetsASetterChange) {
  TempFolder tmp;
  tmp.Write("a.txt", "x");
  const std::string path = tmp.Internal("a.txt");
  for (const int32_t bits : {kAttrReadOnly | kAttrArchive, kAttrHidden | kAttrArchive,
                             kAttrSystem | kAttrHidden, kAttrArchive}) {
    ASSERT_TRUE(SetAttributes(path, bits)) << bits;
    EXPECT_EQ(GetAttributes(path) & kChangeable, bits & kChangeable) << bits;
    EXPECT_EQ(GetAttributes(path), static_cast<int32_t>(SystemAttributes(path))) << bits;
  }
  // The folder bit of a stored folder record is no change a setter can make.
  ASSERT_TRUE(SetAttributes(path, kAttrFolder | kAttrArchive));
  EXPECT_EQ(GetAttributes(path) & (kChangeable | kAttrFolder), 0);
  ASSERT_TRUE(SetAttributes(path, kAttrReadOnly));
  ASSERT_TRUE(SetAttributes(path, kAttrNormal));
  EXPECT_EQ(GetAttributes(path) & kChangeable, 0);
  EXPECT_EQ(GetAttributes(tmp.Internal("missing")), -1);
  EXPECT_FALSE(SetAttributes(tmp.Internal("missing"), kAttrNormal));
}

TEST(WindowsAttributesTest, FoldersReportTheFolderBitAndKeepHiddenness) {
  TempFolder tmp;
  tmp.MakeFolder("sub");
  const std::string sub = tmp.Internal("sub");
  EXPECT_NE(GetAttributes(sub) & kAttrFolder, 0);
  ASSERT_TRUE(SetAttributes(sub, kAttrFolder | kAttrHidden));
  EXPECT_EQ(GetAttributes(sub), kAttrFolder | kAttrHidden);
  ASSERT_TRUE(SetAttributes(sub, kAttrFolder));
  EXPECT_EQ(GetAttributes(sub), kAttrFolder);
  EXPECT_EQ(FileSize(sub), kSizeFolder);
}

TEST(WindowsAttributesTest, ReadOnlyFilesAreNeitherReplacedNorDeletedUntilMadeNormal) {
  TempFolder tmp;
  tmp.Write("locked", "old");
  const std::string path = tmp.Internal("locked");
  ASSERT_TRUE(SetAttributes(path, kAttrReadOnly | kAttrArchive));
  EXPECT_FALSE(DeleteFile(path));
  EXPECT_EQ(tmp.Read("locked"), "old");
  // Wine run by root would open a read-only file for writing, as the Linux kernel lets root
  // do; File refuses it whatever the system does.
  {
    File file;
    EXPECT_FALSE(file.Create(path));
  }
  EXPECT_EQ(tmp.Read("locked"), "old");
  ASSERT_TRUE(SetAttributes(path, kAttrNormal));
  EXPECT_TRUE(DeleteFile(path));
  EXPECT_FALSE(tmp.Exists("locked"));
}

// --- Files

TEST(WindowsFileTest, CreateReplacesHiddenAndSystemFiles) {
  TempFolder tmp;
  tmp.Write("hidden", "a long old content");
  const std::string path = tmp.Internal("hidden");
  ASSERT_TRUE(SetAttributes(path, kAttrHidden | kAttrSystem));
  File file;
  ASSERT_TRUE(file.Create(path));
  ASSERT_TRUE(file.Write("new", 3));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(tmp.Read("hidden"), "new");
}

TEST(WindowsFileTest, DeviceNamesAreNoFiles) {
  TempFolder tmp;
  File file;
  for (const char* device : {"NUL", "CON"}) {
    EXPECT_FALSE(file.Create(tmp.Internal(device))) << device;
    EXPECT_FALSE(file.OpenRead(tmp.Internal(device))) << device;
  }
  EXPECT_FALSE(file.OpenRead(tmp.Internal()));  // a folder
}

TEST(WindowsFileTest, ReadsAFileAnotherProgramWrites) {
  TempFolder tmp;
  tmp.Write("busy", "content");
  HANDLE writer =
      CreateFileA(tmp.Native("busy").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  File file;
  char text[7];
  EXPECT_TRUE(file.OpenRead(tmp.Internal("busy")));
  EXPECT_TRUE(file.ReadExact(text, sizeof text));
  EXPECT_EQ(std::string(text, sizeof text), "content");
  CloseHandle(writer);
}

TEST(WindowsFileTest, SizesBeyondFourGigabytes) {
  TempFolder tmp;
  // Cutting to a length writes nothing: the file system keeps the gap without disk space
  // where it can.
  const int64_t size = (int64_t{1} << 32) + 6001;
  HANDLE big = CreateFileA(tmp.Native("big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(big, INVALID_HANDLE_VALUE);
  DWORD ignored = 0;
  DeviceIoControl(big, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool made = SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big);
  CloseHandle(big);
  if (!made) GTEST_SKIP() << "no room for a sparse file of 4 GiB";
  EXPECT_EQ(FileSize(tmp.Internal("big")), size);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, size);
  File file;
  ASSERT_TRUE(file.OpenRead(tmp.Internal("big")));
  EXPECT_EQ(file.Size(), size);
  ASSERT_TRUE(file.Seek(size - 1));
  char last = 'x';
  EXPECT_TRUE(file.ReadExact(&last, 1));
  EXPECT_EQ(last, '\0');
  EXPECT_TRUE(file.AtEnd());
}

// --- Listings

TEST(WindowsListFolderTest, StarDotStarListsEveryName) {
  TempFolder tmp;
  const std::vector<std::string> names = {"README",  "a.b.c", "with blanks.txt",
                                          ".dotted", "x",     "long name without extension"};
  for (const std::string& name : names) tmp.Write(name, name);
  tmp.Write("hidden.txt", "h");
  ASSERT_TRUE(SetAttributes(tmp.Internal("hidden.txt"), kAttrHidden | kAttrArchive));
  tmp.MakeFolder("folder.with.dots");
  tmp.MakeFolder("empty");

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  EXPECT_EQ(entries.size(), names.size() + 3);
  EXPECT_EQ(Find(entries, "."), nullptr);
  EXPECT_EQ(Find(entries, ".."), nullptr);
  for (const std::string& name : names) {
    const FolderEntry* entry = Find(entries, name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(entry->kind, Kind::kFile) << name;
    EXPECT_EQ(entry->size, static_cast<int64_t>(name.size())) << name;
  }
  const FolderEntry* hidden = Find(entries, "hidden.txt");
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(hidden->attributes, kAttrHidden | kAttrArchive);
  const FolderEntry* folder = Find(entries, "folder.with.dots");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->kind, Kind::kFolder);
  EXPECT_NE(folder->attributes & kAttrFolder, 0);

  // An empty folder lists nothing and is no failure; a file or a missing folder is.
  std::vector<FolderEntry> none;
  EXPECT_TRUE(ListFolder(tmp.Internal("empty\\"), none));
  EXPECT_TRUE(ListFolder(tmp.Internal("empty"), none));
  EXPECT_TRUE(none.empty());
  EXPECT_FALSE(ListFolder(tmp.Internal("missing\\"), none));
  EXPECT_FALSE(ListFolder(tmp.Internal("README\\"), none));
  EXPECT_FALSE(ListFolder("relative\\", none));
}

TEST(WindowsListFolderTest, CreationTimeIsSecondsSince1970) {
  TempFolder tmp;
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  tmp.Write("new", "n");
  const int64_t after = static_cast<int64_t>(std::time(nullptr));
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  ASSERT_EQ(entries.size(), 1u);
  // File times are kept in steps of up to two seconds on some file systems.
  EXPECT_GE(entries[0].creation_time, before - 2);
  EXPECT_LE(entries[0].creation_time, after + 2);
  EXPECT_EQ(CreationTime(tmp.Internal("new")), entries[0].creation_time);
  EXPECT_EQ(CreationTime(tmp.Internal("missing")), -1);
}

TEST(WindowsListFolderTest, LinksToFoldersAreNotFollowed) {
  TempFolder tmp;
  tmp.Write("target.txt", "0123456789");
  tmp.MakeFolder("dir");
  tmp.MakeFolder("list");
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  const bool made =
      CreateSymbolicLinkA(tmp.Native("list\\to_folder").c_str(), tmp.Native("dir").c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged) &&
      CreateSymbolicLinkA(tmp.Native("list\\to_file").c_str(), tmp.Native("target.txt").c_str(),
                          kUnprivileged);
  // Wine says yes and makes nothing.
  if (!made || !tmp.Exists("list/to_folder")) {
    GTEST_SKIP() << "this system does not let the test make links";
  }
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal("list\\"), entries));
  ASSERT_EQ(entries.size(), 2u);
  ASSERT_NE(Find(entries, "to_folder"), nullptr);
  EXPECT_EQ(Find(entries, "to_folder")->kind, Kind::kSkipped);
  const FolderEntry* link = Find(entries, "to_file");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->kind, Kind::kFile);
  EXPECT_EQ(link->size, 10);
  EXPECT_EQ(FileSize(tmp.Internal("list\\to_file")), 10);
}

// --- Renames, folders, free space

TEST(WindowsFileQueriesTest, RenameReplacesAnExistingFile) {
  TempFolder tmp;
  tmp.Write("~volume.part", "new volume");
  tmp.Write("volume.sk", "old");
  EXPECT_TRUE(RenameFile(tmp.Internal("~volume.part"), tmp.Internal("volume.sk")));
  EXPECT_EQ(tmp.Read("volume.sk"), "new volume");
  EXPECT_FALSE(tmp.Exists("~volume.part"));
  EXPECT_FALSE(RenameFile(tmp.Internal("~volume.part"), tmp.Internal("volume.sk")));
  // Letter case alone names the same file: it must not replace itself with nothing. (Windows
  // takes the new spelling; Wine keeps the old one.)
  EXPECT_TRUE(RenameFile(tmp.Internal("volume.sk"), tmp.Internal("VOLUME.SK")));
  const std::vector<std::string> names = tmp.Names();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(tmp.Read(names[0]), "new volume");
}

TEST(WindowsFileQueriesTest, FoldersAndFreeSpace) {
  TempFolder tmp;
  EXPECT_TRUE(CreateFolder(tmp.Internal("f")));
  EXPECT_FALSE(CreateFolder(tmp.Internal("f")));
  EXPECT_TRUE(FolderExists(tmp.Internal("f")));
  EXPECT_TRUE(FolderExists(tmp.Internal("f\\")));
  EXPECT_FALSE(FolderExists(tmp.Internal("missing")));
  EXPECT_FALSE(CreateFolder(tmp.Internal("no\\such\\f")));

  ULARGE_INTEGER available;
  ASSERT_TRUE(GetDiskFreeSpaceExA(tmp.Native().c_str(), &available, nullptr, nullptr));
  EXPECT_NEAR(static_cast<double>(FreeSpace(tmp.Internal())),
              static_cast<double>(available.QuadPart), 64.0 * 1024 * 1024);
  EXPECT_EQ(FreeSpace(tmp.Internal("missing\\")), -1);
  EXPECT_EQ(FreeSpace("relative\\"), -1);
  // The error mode the program set before is back afterwards.
  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  FreeSpace(tmp.Internal());
  EXPECT_EQ(SetErrorMode(mode), mode);
}

// --- Time

TEST(WindowsTimeTest, LocalTimeTextHasTheDisplayForm) {
  const std::string text = LocalTimeText(1300000000);  // March 2011
  ASSERT_EQ(text.size(), 18u) << text;
  EXPECT_EQ(text.substr(2, 1), ".");
  EXPECT_EQ(text.substr(5, 6), ".2011 ");
  EXPECT_EQ(text.substr(11, 2), "/ ");
  EXPECT_EQ(text.substr(15, 1), ":");
  EXPECT_EQ(LocalTimeText(-12000000000), "");  // before 1601
}

}  // namespace
}  // namespace sk::platform

#endif  // _WIN32
