// The parts of the native Windows toolkit that need no screen: pixels for menus, icons and
// image lists, the event queue and the polling throttle, placement, status bar fields,
// folder-chooser paths, progress scaling and the screenshot files. Built where the
// toolkit is (the Windows test program).
#if defined(_WIN32) && defined(SK_HAVE_WIN32UI)

#include "ui/win32/win32_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace sk::ui::win32 {
namespace {

Image TwoByTwo() {
  // Opaque red, transparent white, half-transparent green, opaque blue.
  return {2, 2, {0xFFFF0000, 0x00FFFFFF, 0x8000FF00, 0xFF0000FF}};
}

uint32_t ReadLittleEndian(const std::vector<uint8_t>& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes.at(at + static_cast<size_t>(i));
  return value;
}

TEST(Win32PixelsTest, PremultipliesAndScalesByNearestPixel) {
  const std::vector<uint32_t> same = PremultipliedPixels(TwoByTwo(), 2, 2);
  ASSERT_EQ(same.size(), 4u);
  EXPECT_EQ(same[0], 0xFFFF0000u);
  // A transparent pixel is all zero, whatever colour it had: menus and image lists that
  // blend by alpha and those that do not agree on it.
  EXPECT_EQ(same[1], 0x00000000u);
  EXPECT_EQ(same[2], 0x80008000u);
  EXPECT_EQ(same[3], 0xFF0000FFu);

  const std::vector<uint32_t> big = PremultipliedPixels(TwoByTwo(), 4, 4);
  ASSERT_EQ(big.size(), 16u);
  EXPECT_EQ(big[0], 0xFFFF0000u);
  EXPECT_EQ(big[1], 0xFFFF0000u);
  EXPECT_EQ(big[2], 0u);
  EXPECT_EQ(big[15], 0xFF0000FFu);
}

TEST(Win32PixelsTest, DamagedImagesGiveTransparentPictures) {
  const Image short_pixels{4, 4, {0xFFFFFFFF}};
  for (uint32_t pixel : PremultipliedPixels(short_pixels, 16, 16)) EXPECT_EQ(pixel, 0u);
  EXPECT_EQ(PremultipliedPixels(short_pixels, 16, 16).size(), 256u);
  EXPECT_TRUE(PremultipliedPixels(TwoByTwo(), 0, 5).empty());
  const std::vector<uint8_t> mask = TransparencyMask(Image{}, 16, 1);
  ASSERT_EQ(mask.size(), 2u);
  EXPECT_EQ(mask[0], 0xFF);
  EXPECT_EQ(mask[1], 0xFF);
}

TEST(Win32PixelsTest, MaskMarksTransparentPixelsInWordAlignedRows) {
  // 3 pixels wide: each row takes one 16-bit word.
  const Image row{3, 2, {0xFF000000, 0x00000000, 0x7F000000, 0x80000000, 0xFF000000, 0}};
  const std::vector<uint8_t> mask = TransparencyMask(row, 3, 2);
  ASSERT_EQ(mask.size(), 4u);
  EXPECT_EQ(mask[0], 0x60);  // the second and third pixel (alpha below half) are holes
  EXPECT_EQ(mask[1], 0x00);
  EXPECT_EQ(mask[2], 0x20);
  EXPECT_EQ(mask[3], 0x00);
}

TEST(Win32EventQueueTest, KeepsOrderMergesResizesAndForgetsClosedWindows) {
  EventQueue queue;
  EXPECT_EQ(queue.Pop().type, EventType::kNone);
  queue.Push({EventType::kSize, 0, -1});
  queue.Push({EventType::kSize, 0, -1});
  queue.Push({EventType::kLeftClick, 1, 5});
  queue.Push({EventType::kSize, 0, -1});
  queue.Push({EventType::kTimer, 1, 2});
  queue.Push({EventType::kLeftClick, 1, 5});
  queue.Push({EventType::kLeftClick, 1, 5});  // two clicks stay two clicks
  EXPECT_EQ(queue.Size(), 6u);
  queue.DropWindow(1);
  ASSERT_EQ(queue.Size(), 2u);
  EXPECT_EQ(queue.Pop(), (Event{EventType::kSize, 0, -1}));
  EXPECT_EQ(queue.Pop(), (Event{EventType::kSize, 0, -1}));
  EXPECT_TRUE(queue.Empty());
}

TEST(Win32PollThrottleTest, PumpsOncePerIntervalAcrossTheTickWrap) {
  PollThrottle throttle(10);
  EXPECT_TRUE(throttle.Due(12345));  // the first poll always pumps
  throttle.Pumped(12345);
  EXPECT_FALSE(throttle.Due(12345));
  EXPECT_FALSE(throttle.Due(12354));
  EXPECT_TRUE(throttle.Due(12355));
  throttle.Pumped(0xFFFFFFFAu);  // six milliseconds before the tick count wraps
  EXPECT_FALSE(throttle.Due(0xFFFFFFFFu));
  EXPECT_FALSE(throttle.Due(3));
  EXPECT_TRUE(throttle.Due(4));
}

TEST(Win32PlacementTest, CentresOverAWindowAndStaysOnTheScreen) {
  const Area screen{0, 0, 1024, 738};
  int x = 0, y = 0;
  CentredPosition(screen, screen, 410, 500, x, y);
  EXPECT_EQ(x, 307);
  EXPECT_EQ(y, 119);
  CentredPosition({100, 100, 600, 500}, screen, 200, 100, x, y);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(y, 300);
  // An owner near the edge: the window is moved back onto the screen.
  CentredPosition({900, 650, 300, 200}, screen, 400, 300, x, y);
  EXPECT_EQ(x, 624);
  EXPECT_EQ(y, 438);
  // Larger than the screen: its top-left corner stays on it.
  CentredPosition(screen, screen, 2000, 1000, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(Win32PlacementTest, RecordedPositionsOffTheScreenAreRefused) {
  const Area screen{0, 0, 1024, 738};
  EXPECT_TRUE(TitleBarReachable({100, 100, 600, 500}, screen, 20));
  EXPECT_TRUE(TitleBarReachable({-580, 10, 600, 500}, screen, 20));  // 20 pixels still there
  EXPECT_FALSE(TitleBarReachable({-590, 10, 600, 500}, screen, 20));
  EXPECT_FALSE(TitleBarReachable({2000, 100, 600, 500}, screen, 20));
  EXPECT_FALSE(TitleBarReachable({100, 740, 600, 500}, screen, 20));
  EXPECT_FALSE(TitleBarReachable({100, -30, 600, 500}, screen, 20));  // title bar above it
}

TEST(Win32StatusBarTest, EqualFieldsEndAtTheRightEdge) {
  EXPECT_EQ(EqualParts(600, 1), std::vector<int>{-1});
  EXPECT_EQ(EqualParts(421, 2), (std::vector<int>{210, -1}));
  EXPECT_EQ(EqualParts(300, 3), (std::vector<int>{100, 200, -1}));
  EXPECT_TRUE(EqualParts(300, 0).empty());
  EXPECT_EQ(EqualParts(-5, 2), (std::vector<int>{0, -1}));
}

TEST(Win32FolderChooserTest, StartFolderAndChosenFolder) {
  EXPECT_EQ(BrowserStartFolder("C:\\Data\\"), "C:\\Data");
  EXPECT_EQ(BrowserStartFolder("C:\\"), "C:\\");  // a drive root keeps its backslash
  EXPECT_EQ(BrowserStartFolder("C:\\Data"), "C:\\Data");
  EXPECT_EQ(BrowserStartFolder(""), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\Data"), "C:\\Data\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(WithTrailingBackslash(""), "");
}

TEST(Win32ProgressTest, RangesBeyond32BitsAreScaledAndPositionsClamped) {
  const ProgressScale small = ProgressScale::For(0, 1000);
  EXPECT_EQ(small.Range(), 1000);
  EXPECT_EQ(small.Position(500), 500);
  EXPECT_EQ(small.Position(-5), 0);
  EXPECT_EQ(small.Position(5000), 1000);
  // An empty range shows an empty bar.
  EXPECT_EQ(ProgressScale::For(7, 7).Range(), 1);
  EXPECT_EQ(ProgressScale::For(7, 7).Position(7), 0);
  EXPECT_EQ(ProgressScale::For(9, 3).Range(), 1);  // a maximum below the minimum
  // 16 TiB counted in bytes.
  const int64_t huge = int64_t{1} << 44;
  const ProgressScale big = ProgressScale::For(0, huge);
  EXPECT_LE(big.Range(), INT_MAX);
  EXPECT_GT(big.Range(), INT_MAX / 2);
  EXPECT_EQ(big.Position(huge / 2), big.Range() / 2);
  EXPECT_EQ(big.Position(huge), big.Range());
  const ProgressScale widest = ProgressScale::For(INT64_MIN, INT64_MAX);
  EXPECT_EQ(widest.Position(INT64_MIN), 0);
  EXPECT_EQ(widest.Position(INT64_MAX), widest.Range());
}

TEST(Win32BmpTest, WritesHeadersAndBottomUpPaddedRows) {
  // 2 x 2 pixels: rows of 6 bytes padded to 8.
  const std::vector<uint8_t> file = BmpFile(2, 2, {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC});
  ASSERT_EQ(file.size(), 54u + 16u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(ReadLittleEndian(file, 2, 4), 70u);
  EXPECT_EQ(ReadLittleEndian(file, 10, 4), 54u);
  EXPECT_EQ(ReadLittleEndian(file, 14, 4), 40u);
  EXPECT_EQ(ReadLittleEndian(file, 18, 4), 2u);
  EXPECT_EQ(ReadLittleEndian(file, 22, 4), 2u);
  EXPECT_EQ(ReadLittleEndian(file, 28, 2), 24u);
  // The bottom row first, each pixel blue, green, red.
  const std::vector<uint8_t> bottom(file.begin() + 54, file.begin() + 62);
  EXPECT_EQ(bottom, (std::vector<uint8_t>{0x99, 0x88, 0x77, 0xCC, 0xBB, 0xAA, 0, 0}));
  EXPECT_EQ(file[62], 0x33);
  EXPECT_TRUE(BmpFile(2, 2, {1, 2, 3}).empty());  // too few pixels
  EXPECT_TRUE(BmpFile(0, 2, {}).empty());
}

TEST(Win32FontTest, PointsBecomeCharacterHeights) {
  EXPECT_EQ(FontHeight(8, 96), -11);
  EXPECT_EQ(FontHeight(16, 96), -21);
  EXPECT_EQ(FontHeight(8, 120), -13);
}

}  // namespace
}  // namespace sk::ui::win32

#endif  // defined(_WIN32) && defined(SK_HAVE_WIN32UI)
