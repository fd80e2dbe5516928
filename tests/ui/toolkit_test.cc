#include "ui/toolkit.h"

#include <gtest/gtest.h>

namespace sk::ui {
namespace {

TEST(RowColumnsTest, SplitsRowsAtLineBreaks) {
  EXPECT_EQ(RowColumns(""), std::vector<std::string>{""});
  EXPECT_EQ(RowColumns("a\nb\n"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(RowColumns("name\n12 KB\n01.01.2010"),
            (std::vector<std::string>{"name", "12 KB", "01.01.2010"}));
  EXPECT_EQ(RowColumn("name\n12 KB\n01.01.2010", 1), "12 KB");
  EXPECT_EQ(RowColumn("name\n12 KB", 2), "");
  EXPECT_EQ(RowColumn("name", -1), "");
}

}  // namespace
}  // namespace sk::ui
