// Long message texts broken into lines that fit a width, for message boxes whose toolkit
// would otherwise make them as wide as their longest line: a question that names a long
// path must still fit the screen.
#ifndef STOWKEEPER_UI_TEXT_WRAP_H_
#define STOWKEEPER_UI_TEXT_WRAP_H_

#include <functional>
#include <string>

namespace sk::ui {

// The width of a piece of text as the toolkit draws it, in pixels.
using TextMeasure = std::function<int(const std::string& text)>;

// The text with line breaks added so that no line is wider than max_width: lines break at
// blanks; a word too wide for a line of its own (a path) breaks after its separators ("\",
// "/"), and one that has none where it would help, between two characters (never inside a
// UTF-8 sequence). The text's own line breaks stay; blanks at a break are dropped.
std::string WrapText(const std::string& text, int max_width, const TextMeasure& measure);

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_TEXT_WRAP_H_
