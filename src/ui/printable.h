// Text for a terminal: control bytes in a catalog text or a file name must not reach it, as
// they could move the cursor, rewrite earlier lines or change the terminal's settings.
#ifndef STOWKEEPER_UI_PRINTABLE_H_
#define STOWKEEPER_UI_PRINTABLE_H_

#include <string>
#include <string_view>

namespace sk::ui {

// The text with every control character but tab and line feed replaced by "?": the bytes
// 0x00 to 0x1F, 0x7F, and (where text is UTF-8) the forms of U+0080 to U+009F, which
// terminals also obey.
std::string PrintableText(std::string_view text);

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_PRINTABLE_H_
