#include "shell/json_output.h"

namespace sk {
namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 (overlong forms, surrogates and
// code points above U+10FFFF are not valid).
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string Readable(std::string_view text) {
  std::string result;
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      result += "\xEF\xBF\xBD";  // U+FFFD
      ++at;
    } else {
      result.append(text.substr(at, length));
      at += length;
    }
  }
  return result;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

void PutName(nlohmann::json& object, const std::string& key, const std::string& name) {
  if (IsValidUtf8(name)) {
    object[key] = name;
    return;
  }
  object[key] = Readable(name);
  object[key + "_hex"] = Hex(name);
}

std::string TakeName(const nlohmann::json& object, const std::string& key) {
  const auto hex = object.find(key + "_hex");
  if (hex == object.end()) return object.value(key, "");
  const std::string digits = hex->get<std::string>();
  std::string name;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    const int high = HexValue(digits[i]);
    const int low = HexValue(digits[i + 1]);
    if (high < 0 || low < 0) return "";
    name += static_cast<char>(high * 16 + low);
  }
  return name;
}

void WriteJson(const nlohmann::json& document, std::FILE* out) {
  std::fputs((document.dump() + "\n").c_str(), out);
}

}  // namespace sk
