#include "ui/win32/win32_helpers.h"

#include <algorithm>
#include <climits>

namespace sk::ui::win32 {

namespace {

bool Usable(const Image& image) {
  return image.width > 0 && image.height > 0 &&
         image.pixels.size() == static_cast<size_t>(image.width) * image.height;
}

// The source pixel shown at (x, y) of a width x height picture, or transparent.
uint32_t SourcePixel(const Image& image, int x, int y, int width, int height) {
  if (!Usable(image)) return 0;
  const int sx = static_cast<int>(static_cast<int64_t>(x) * image.width / width);
  const int sy = static_cast<int>(static_cast<int64_t>(y) * image.height / height);
  return image.pixels[static_cast<size_t>(sy) * image.width + sx];
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint32_t> PremultipliedPixels(const Image& image, int width, int height) {
  std::vector<uint32_t> out;
  if (width <= 0 || height <= 0) return out;
  out.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t argb = SourcePixel(image, x, y, width, height);
      const uint32_t a = argb >> 24;
      auto times_alpha = [a](uint32_t channel) { return (channel * a + 127) / 255; };
      const uint32_t r = times_alpha((argb >> 16) & 0xFF);
      const uint32_t g = times_alpha((argb >> 8) & 0xFF);
      const uint32_t b = times_alpha(argb & 0xFF);
      // In memory B, G, R, A: as a little-endian number that is 0xAARRGGBB again.
      out.push_back(a << 24 | r << 16 | g << 8 | b);
    }
  }
  return out;
}

std::vector<uint8_t> TransparencyMask(const Image& image, int width, int height) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0) return out;
  const int row_bytes = (width + 15) / 16 * 2;
  out.assign(static_cast<size_t>(row_bytes) * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((SourcePixel(image, x, y, width, height) >> 24) < 128) {
        out[static_cast<size_t>(y) * row_bytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return out;
}

void EventQueue::Push(const Event& event) {
  if (event.type == EventType::kSize && !events_.empty() && events_.back() == event) return;
  events_.push_back(event);
}

Event EventQueue::Pop() {
  if (events_.empty()) return Event{};
  const Event event = events_.front();
  events_.pop_front();
  return event;
}

void EventQueue::DropWindow(int window) {
  std::erase_if(events_, [window](const Event& e) { return e.window == window; });
}

void CentredPosition(const Area& over, const Area& screen, int width, int height, int& x, int& y) {
  x = over.x + (over.width - width) / 2;
  y = over.y + (over.height - height) / 2;
  // A window larger than the screen keeps its top-left corner on it.
  x = std::max(std::min(x, screen.x + screen.width - width), screen.x);
  y = std::max(std::min(y, screen.y + screen.height - height), screen.y);
}

bool TitleBarReachable(const Area& window, const Area& screen, int grip) {
  const int left = std::max(window.x, screen.x);
  const int right = std::min(window.x + window.width, screen.x + screen.width);
  const int top = std::max(window.y, screen.y);
  const int bottom = std::min(window.y + grip, screen.y + screen.height);
  return right - left >= grip && bottom > top;
}

std::vector<int> EqualParts(int width, int fields) {
  std::vector<int> edges;
  if (fields <= 0) return edges;
  for (int i = 1; i < fields; ++i) {
    edges.push_back(static_cast<int>(static_cast<int64_t>(std::max(width, 0)) * i / fields));
  }
  edges.push_back(-1);
  return edges;
}

std::string BrowserStartFolder(const std::string& path) {
  if (path.size() > 3 && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + '\\';
}

ProgressScale ProgressScale::For(int64_t minimum, int64_t maximum) {
  ProgressScale scale;
  scale.minimum = minimum;
  scale.maximum = std::max(maximum, minimum);
  // The span as an unsigned number: it cannot overflow even for the widest range.
  uint64_t span = static_cast<uint64_t>(scale.maximum) - static_cast<uint64_t>(scale.minimum);
  while (span > static_cast<uint64_t>(INT_MAX)) {
    span >>= 1;
    ++scale.shift;
  }
  return scale;
}

int ProgressScale::Range() const {
  const uint64_t span = static_cast<uint64_t>(maximum) - static_cast<uint64_t>(minimum);
  // A range of 0 shows an empty bar rather than dividing by nothing.
  return std::max(static_cast<int>(span >> shift), 1);
}

int ProgressScale::Position(int64_t value) const {
  value = std::clamp(value, minimum, maximum);
  const uint64_t offset = static_cast<uint64_t>(value) - static_cast<uint64_t>(minimum);
  return std::min(static_cast<int>(offset >> shift), Range());
}

std::vector<uint8_t> BmpFile(int width, int height, const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) {
    return out;
  }
  const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t image_bytes = row_bytes * static_cast<uint32_t>(height);
  constexpr uint32_t kHeaderBytes = 14 + 40;
  out.reserve(kHeaderBytes + image_bytes);
  // BITMAPFILEHEADER: "BM", file size, 2 reserved words, offset of the pixels.
  out.push_back('B');
  out.push_back('M');
  PutLittleEndian(out, kHeaderBytes + image_bytes, 4);
  PutLittleEndian(out, 0, 4);
  PutLittleEndian(out, kHeaderBytes, 4);
  // BITMAPINFOHEADER: size 40, width, height (positive: rows from the bottom), 1 plane,
  // 24 bits, no compression, image size, 2835 pixels per metre (72 dpi) twice, no palette.
  PutLittleEndian(out, 40, 4);
  PutLittleEndian(out, static_cast<uint32_t>(width), 4);
  PutLittleEndian(out, static_cast<uint32_t>(height), 4);
  PutLittleEndian(out, 1, 2);
  PutLittleEndian(out, 24, 2);
  PutLittleEndian(out, 0, 4);
  PutLittleEndian(out, image_bytes, 4);
  PutLittleEndian(out, 2835, 4);
  PutLittleEndian(out, 2835, 4);
  PutLittleEndian(out, 0, 4);
  PutLittleEndian(out, 0, 4);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      PutLittleEndian(out, pixels[static_cast<size_t>(y) * width + x], 3);
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < row_bytes; ++pad) out.push_back(0);
  }
  return out;
}

int FontHeight(int points, int dpi) {
  return -static_cast<int>((static_cast<int64_t>(points) * dpi + 36) / 72);
}

}  // namespace sk::ui::win32
