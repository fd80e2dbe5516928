#include "ui/text_wrap.h"

#include <vector>

namespace sk::ui {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A word too wide for a line in pieces: after each separator, and a piece still too wide
// between characters.
std::vector<std::string> WordPieces(const std::string& word, int max_width,
                                    const TextMeasure& measure) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : word) {
    part += c;
    if (c == '\\' || c == '/') parts.push_back(std::move(part)), part.clear();
  }
  if (!part.empty()) parts.push_back(std::move(part));
  std::vector<std::string> pieces;
  for (const std::string& p : parts) {
    if (measure(p) <= max_width) {
      pieces.push_back(p);
      continue;
    }
    std::string piece;
    for (size_t i = 0; i < p.size(); ++i) {
      const bool at_boundary = !IsContinuationByte(p[i]);
      if (at_boundary && !piece.empty() && measure(piece + p[i]) > max_width) {
        pieces.push_back(std::move(piece));
        piece.clear();
      }
      piece += p[i];
    }
    if (!piece.empty()) pieces.push_back(std::move(piece));
  }
  return pieces;
}

// One line of the text (without line breaks of its own), wrapped.
std::string WrapLine(const std::string& line, int max_width, const TextMeasure& measure) {
  std::vector<std::string> out;
  std::string current;
  auto place = [&](const std::string& piece, bool blank_before) {
    const std::string joined =
        current.empty() ? piece : current + (blank_before ? " " : "") + piece;
    if (current.empty() || measure(joined) <= max_width) {
      current = joined;
    } else {
      out.push_back(std::move(current));
      current = piece;
    }
  };
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    const std::string word = line.substr(start, end - start);
    if (!word.empty()) {
      if (measure(word) <= max_width) {
        place(word, true);
      } else {
        bool first = true;
        for (const std::string& piece : WordPieces(word, max_width, measure)) {
          place(piece, first);
          first = false;
        }
      }
    }
    start = end + 1;
  }
  out.push_back(std::move(current));
  std::string text;
  for (size_t i = 0; i < out.size(); ++i) text += (i == 0 ? "" : "\n") + out[i];
  return text;
}

}  // namespace

std::string WrapText(const std::string& text, int max_width, const TextMeasure& measure) {
  if (max_width <= 0) return text;
  std::string wrapped;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    wrapped += measure(line) <= max_width ? line : WrapLine(line, max_width, measure);
    if (end == std::string::npos) break;
    wrapped += '\n';
    start = end + 1;
  }
  return wrapped;
}

}  // namespace sk::ui
