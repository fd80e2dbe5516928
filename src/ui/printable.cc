#include "ui/printable.h"

namespace sk::ui {
namespace {

// Text is UTF-8 on Linux; in a Windows code page the same two bytes are ordinary letters.
#ifdef _WIN32
constexpr bool kUtf8 = false;
#else
constexpr bool kUtf8 = true;
#endif

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\t' || byte == '\n') {
      printable += text[i];
    } else if (byte < 0x20 || byte == 0x7F) {
      printable += '?';
    } else if (kUtf8 && byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      printable += '?';
      ++i;
    } else {
      printable += text[i];
    }
  }
  return printable;
}

}  // namespace sk::ui
