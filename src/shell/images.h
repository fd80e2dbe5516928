// The program's fifteen small images (16 x 16), drawn for it and built into it.
#ifndef STOWKEEPER_SHELL_IMAGES_H_
#define STOWKEEPER_SHELL_IMAGES_H_

#include <vector>

#include "ui/toolkit.h"

namespace sk {

inline constexpr int kImageCount = 15;
inline constexpr int kImageSize = 16;

// What each image is for. The rows of the main window's lists use 0 (main volume) and 4
// (restore point); the jobs that make those rows name them (jobs/sets/backup_lists.h).
enum ProgramImage : int {
  kImageFile = 1,  // the contents window's rows
  kImageFolder,
  kImageProgram,
  kImageSettings = 5,
  kImageAbout,
  kImageProperties,
  kImageQuit,
  kImageVerify,
  kImageParentFolder,  // the contents window's way up
  kImageList,
  kImageUpdate,
  kImageRestore,
  kImageDelete,
};
static_assert(kImageProgram == ui::kProgramImage, "the desktop shows the program's image");
static_assert(kImageDelete == kImageCount - 1, "every image has an id");

// The images by id, decoded once.
const std::vector<ui::Image>& ProgramImages();

}  // namespace sk

#endif  // STOWKEEPER_SHELL_IMAGES_H_
