// The exclusions window on the headless toolkit: what it shows, and what OK keeps.
#include "shell/exclusions_window.h"

#include <gtest/gtest.h>

#include "jobs/create/exclusions.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using ui::EventType;
using ui::HeadlessToolkit;

constexpr int kWindow = ui::kJobWindow;

class ExclusionsWindowTest : public ::testing::Test {
 protected:
  ExclusionsWindowTest() : t(tmp.Internal("backups\\")) {
    tmp.MakeFolder("backups");
    tmp.MakeFolder("config");
    t.app.SettingsFolder = tmp.Internal("config\\");
    OpenMainWindow(t.desk);
  }
  // Types text into the field, then clicks control.
  void Answer(const std::string& text, int control) {
    t.tk.on_wait = [this, text, control](HeadlessToolkit& tk) {
      shown = tk.FindWindow(kWindow)->controls.at(kExclusionsField).text;
      tk.SetText(kWindow, kExclusionsField, text);
      return ui::Event{EventType::kLeftClick, kWindow, control};
    };
  }
  std::string Source() const { return tmp.Internal("src\\"); }

  TempFolder tmp;
  TestApp t;
  std::string shown;  // the field's text when the window opened
};

TEST_F(ExclusionsWindowTest, OkKeepsAndSavesTheLinesCancelAndBadPatternsKeepNothing) {
  ASSERT_TRUE(SetExclusions(t.app, Source(), {"*.tmp"}));
  Answer("*.tmp\n\n  node_modules/  \r\nbuild/\n", kExclusionsOkButton);
  ExclusionsWindow(t.desk, Source());
  EXPECT_EQ(shown, "*.tmp\n");
  EXPECT_NE(t.tk.closed.back().controls.at(kExclusionsField).def.style & ui::kStyleMultiLine, 0u);
  EXPECT_EQ(ExclusionsOf(t.app, Source()),
            (std::vector<std::string>{"*.tmp", "node_modules/", "build/"}));
  EXPECT_NE(tmp.Read("config/Settings.ini").find(" = *.tmp;node_modules/;build/\r\n"),
            std::string::npos);
  EXPECT_TRUE(t.tk.FindWindow(ui::kMainWindow)->enabled);

  Answer("other/", kExclusionsCancelButton);
  ExclusionsWindow(t.desk, Source());
  EXPECT_EQ(ExclusionsOf(t.app, Source()).size(), 3u);

  // A bad line is named and the window stays; Cancel then leaves the list as it was.
  int waits = 0;
  t.tk.on_wait = [&waits](HeadlessToolkit& tk) {
    if (++waits > 1) return ui::Event{EventType::kLeftClick, kWindow, kExclusionsCancelButton};
    tk.SetText(kWindow, kExclusionsField, "good/\n[bad\n");
    return ui::Event{EventType::kLeftClick, kWindow, kExclusionsOkButton};
  };
  const size_t messages = t.tk.messages.size();
  ExclusionsWindow(t.desk, Source());
  ASSERT_EQ(t.tk.messages.size(), messages + 1);
  EXPECT_NE(t.tk.messages.back().text.find("[bad"), std::string::npos);
  EXPECT_EQ(waits, 2);
  EXPECT_EQ(ExclusionsOf(t.app, Source()).size(), 3u);
}

}  // namespace
}  // namespace sk
