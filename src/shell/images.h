// The program's fifteen small images (16 x 16), drawn for it and built into it.
#ifndef STOWKEEPER_SHELL_IMAGES_H_
#define STOWKEEPER_SHELL_IMAGES_H_

#include <vector>

#include "ui/toolkit.h"

namespace sk {

inline constexpr int kImageCount = 15;
inline constexpr int kImageSize = 16;

// What each image is for. The list rows use 0 (main volume) and 4 (restore point), the
// contents listing 1 (file), 2 (folder) and 10 (parent folder); the jobs name those.
inline constexpr int kImageProgram = 3;
inline constexpr int kImageSettings = 5;
inline constexpr int kImageAbout = 6;
inline constexpr int kImageProperties = 7;
inline constexpr int kImageQuit = 8;
inline constexpr int kImageVerify = 9;
inline constexpr int kImageList = 11;
inline constexpr int kImageUpdate = 12;
inline constexpr int kImageRestore = 13;
inline constexpr int kImageDelete = 14;

// The images by id, decoded once.
const std::vector<ui::Image>& ProgramImages();

}  // namespace sk

#endif  // STOWKEEPER_SHELL_IMAGES_H_
