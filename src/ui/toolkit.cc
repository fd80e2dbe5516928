#include "ui/toolkit.h"

namespace sk::ui {

std::vector<std::string> RowColumns(const std::string& row_text) {
  std::vector<std::string> columns;
  size_t start = 0;
  for (;;) {
    const size_t end = row_text.find('\n', start);
    columns.push_back(row_text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return columns;
    start = end + 1;
  }
}

std::string RowColumn(const std::string& row_text, int column) {
  if (column < 0) return "";
  size_t start = 0;
  for (int i = 0; i < column; ++i) {
    start = row_text.find('\n', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  const size_t end = row_text.find('\n', start);
  return row_text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool IsWebAddress(const std::string& target) {
  return target.starts_with("http://") || target.starts_with("https://");
}

}  // namespace sk::ui
