// The parts of the native Windows toolkit that need no window: pixel conversion for menu
// bitmaps, icons and image lists, the event queue, the polling throttle, placement and
// status bar arithmetic, folder-chooser path rules and the picture files of screenshots.
// Kept apart so that tests can check them without a screen.
#ifndef STOWKEEPER_UI_WIN32_WIN32_HELPERS_H_
#define STOWKEEPER_UI_WIN32_WIN32_HELPERS_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace sk::ui::win32 {

// The image scaled to width x height (nearest pixel), as 32-bit pixels in the byte order
// B, G, R, A, rows from the top, colours multiplied by alpha: the form 32-bit DIB sections
// for menus and alpha-aware image lists want. A transparent pixel is 0.
std::vector<uint32_t> PremultipliedPixels(const Image& image, int width, int height);

// The monochrome mask of the same picture (a set bit is a transparent pixel), rows from the
// top, each row padded to a multiple of 16 bits as CreateBitmap wants.
std::vector<uint8_t> TransparencyMask(const Image& image, int width, int height);

// Events as the window procedures queue them. A resize arrives as many native messages:
// one kSize stands for a run of them.
class EventQueue {
 public:
  void Push(const Event& event);
  bool Empty() const { return events_.empty(); }
  Event Pop();  // kNone when empty
  // Events of a window that is gone must not reach a later window of the same number.
  void DropWindow(int window);
  size_t Size() const { return events_.size(); }

 private:
  std::deque<Event> events_;
};

// Lets the window system run at most every interval milliseconds. Times are tick counts
// that wrap around after 49.7 days.
class PollThrottle {
 public:
  explicit PollThrottle(uint32_t interval_ms) : interval_(interval_ms) {}
  bool Due(uint32_t now_ms) const { return !pumped_ || now_ms - last_ >= interval_; }
  void Pumped(uint32_t now_ms) {
    last_ = now_ms;
    pumped_ = true;
  }

 private:
  uint32_t interval_;
  uint32_t last_ = 0;
  bool pumped_ = false;
};

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
};

// Top-left corner of a window of width x height centred over `over`, moved as little as
// needed to keep its title bar inside `screen` (a work area).
void CentredPosition(const Area& over, const Area& screen, int width, int height, int& x, int& y);

// True when at least a corner of the title bar (the top `grip` pixels of the window) lies in
// the screen area, so that the user can still drag the window.
bool TitleBarReachable(const Area& window, const Area& screen, int grip);

// Right edges of `fields` equal status bar fields over width, the last reaching the end
// (-1), as SB_SETPARTS takes them.
std::vector<int> EqualParts(int width, int fields);

// The folder chooser's start: a trailing "\" goes, except on a drive root ("C:\").
std::string BrowserStartFolder(const std::string& path);
// A chosen folder with its trailing "\"; "" stays "".
std::string WithTrailingBackslash(const std::string& path);

// A progress bar's range and position in the 32-bit numbers the control takes: large
// ranges are scaled down, positions clamped into the range.
struct ProgressScale {
  int64_t minimum = 0, maximum = 100;
  int shift = 0;  // positions are divided by 2^shift
  static ProgressScale For(int64_t minimum, int64_t maximum);
  int Range() const;
  int Position(int64_t value) const;
};

// A 24-bit BMP file from 32-bit B, G, R, x pixels in rows from the top.
std::vector<uint8_t> BmpFile(int width, int height, const std::vector<uint32_t>& pixels);

// Font height in logical units (negative: the character height) for points at dpi.
int FontHeight(int points, int dpi);

}  // namespace sk::ui::win32

#endif  // STOWKEEPER_UI_WIN32_WIN32_HELPERS_H_
