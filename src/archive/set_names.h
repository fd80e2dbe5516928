// Names of a backup set's files, and the display names the lists show.
//
// A source folder C:\Data\My_Files\ has the set name C__Data_My@Files_ ("_" becomes "@",
// then "\" and ":" become "_"); its generation k lives in "Backup_" kkkk "_of_" name ".sk"
// (the volume) and, for k >= 1, ".ini" (the update index). Display names decode a file name
// back: Backup_0003_of_C:\Data\My_Files\.
#ifndef STOWKEEPER_ARCHIVE_SET_NAMES_H_
#define STOWKEEPER_ARCHIVE_SET_NAMES_H_

#include <cstdint>
#include <string>

namespace sk {

// Generations run from 0 (the main volume) to 9999: the name has four digits.
inline constexpr int32_t kMaxGeneration = 9999;
// "Backup_0000_of_": every file name and display name starts with 15 such characters.
inline constexpr size_t kNamePrefixLength = 15;
// The four digits of the generation follow "Backup_".
inline constexpr size_t kGenerationFieldStart = 7;
inline constexpr size_t kGenerationFieldLength = 4;

// Encodes a source folder path (ending in "\"): a drive path or a network path
// (\\server\share\Data\ gives __server_share_Data_). A path with "@" (the escape for "_"),
// with ":" after the drive or with two separators in a row cannot be encoded: the result is
// then "".
std::string SetName(const std::string& source_folder);
bool CanEncodeSetName(const std::string& source_folder);

// The last four characters of "0000" followed by the decimal number (12345 gives 2345).
std::string GenerationField(int64_t generation);

// The generation a file or display name carries in its four digits after "Backup_"; -1
// when they are not digits.
int32_t GenerationOfName(const std::string& name);

// The generation field of a file or display name as it stands ("0003"); "" when the name
// is too short to hold one.
std::string GenerationFieldOf(const std::string& name);

// The generation k when name is "Backup_" kkkk "_of_" set_name extension with four digits
// (letter case aside when ignore_case), else -1.
int32_t GenerationOfFileName(const std::string& name, const std::string& set_name,
                             const std::string& extension, bool ignore_case);

// "Backup_" kkkk "_of_" set_name, without an extension.
std::string GenerationBaseName(const std::string& set_name, int32_t generation);
std::string VolumeFileName(const std::string& set_name, int32_t generation);
std::string IndexFileName(const std::string& set_name, int32_t generation);

// What the name of a restore point says. Display names ("Backup_0003_of_C:\Data\Docs\")
// and file names ("Backup_0003_of_C__Data_Docs_.ini") both begin with the generation field.
struct PointNameParts {
  std::string source;      // the source folder: the display name from its 16th character
  std::string parent;      // ParentFolder(source): record paths are relative to it
  std::string set_name;    // SetName(source); "" when the source cannot be encoded
  int32_t generation = 0;  // as GenerationOfName gives it: -1 without a generation field

  bool IsMainVolume() const { return generation == 0; }
};
PointNameParts ParsePointName(const std::string& display_name);

// The display name of restore point `generation` of a source folder (0: the main volume).
std::string PointName(const std::string& source_folder, int32_t generation);

// The source folder a set name stands for: "__" to ":\" (a leading "__" to the "\\" of a
// network path), then "_" to "\" and "@" to "_".
std::string SourceOfSetName(const std::string& set_name);

// The file name without its extension, its set name decoded after the 15-character prefix.
std::string DisplayName(const std::string& file_name);

// The reverse of DisplayName: the file name of a display name without extension, encoding
// from the 16th character on.
std::string FileBaseName(const std::string& display_name);

// The folder against which record paths are relative: C:\Data\Docs\ gives C:\Data\; a path
// of three characters or less (a drive root) or a share (\\server\share\) is its own parent.
std::string ParentFolder(const std::string& path);

// Letter case folded A to Z only, as everywhere names are compared without regard to case.
std::string LowerCase(std::string text);
// Byte-wise comparison after folding A to Z (the sort order of a volume's records).
int CompareNoCase(const std::string& a, const std::string& b);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_SET_NAMES_H_
