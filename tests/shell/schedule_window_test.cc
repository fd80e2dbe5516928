// The schedule window's retention policy on the headless toolkit: the fields show the set's
// policy, OK keeps what they hold in the settings, a field without a count keeps the window.
#include "shell/schedule_window.h"

#include <gtest/gtest.h>

#include "platform/process.h"
#include "shell/main_window.h"
#include "shell/retention_policy.h"
#include "shell/settings.h"
#include "shell/shell_test_env.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

constexpr int kWindow = ui::kJobWindow;

TEST(ScheduleWindowTest, PolicyFieldsLoadAndSaveThePolicy) {
  testing::TempFolder tmp;
  testing::ScopedEnvironment env;
  env.Set("XDG_CONFIG_HOME", tmp.Native("config"));
  testing::TestApp t(tmp.Internal("backups\\"));
  tmp.MakeFolder("backups");
  tmp.MakeFolder("settings");
  t.app.SettingsFolder = tmp.Internal("settings\\");
  OpenMainWindow(t.desk);
  const std::string source = tmp.Internal("src\\");
  ASSERT_TRUE(SetPolicy(t.app, source, {5, 2, 7, 0, 0}));

  std::vector<std::string> shown;
  int waits = 0;
  t.tk.on_wait = [&](ui::HeadlessToolkit& tk) {
    if (++waits == 1) {
      for (int i = 0; i < 4; ++i) {
        shown.push_back(tk.FindWindow(kWindow)->controls.at(kKeepFirstField + i).text);
      }
      tk.SetText(kWindow, kKeepFirstField + 2, "four");  // refused: the window stays
    } else {
      tk.SetText(kWindow, kKeepFirstField + 1, "");
      tk.SetText(kWindow, kKeepFirstField + 2, " 4 ");
      tk.SetText(kWindow, kKeepFirstField + 3, "1000000");
    }
    return ui::Event{ui::EventType::kLeftClick, kWindow, kScheduleOkButton};
  };
  ScheduleWindow(t.desk, source);
  EXPECT_EQ(shown, (std::vector<std::string>{"5", "7", "", ""}));
  EXPECT_EQ(waits, 2);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(kTextBadKeepCount));
  // The hourly rule, which the window does not show, stays as it was.
  EXPECT_EQ(PolicyOf(t.app, source), (RetentionRules{5, 2, 0, 4, 1'000'000}));
  testing::TestApp saved;
  LoadSettings(saved.app, t.app.SettingsFolder);
  EXPECT_EQ(PolicyOf(saved.app, source), (RetentionRules{5, 2, 0, 4, 1'000'000}));
  EXPECT_TRUE(ListSchedules().empty());  // the frequency was left as it was
}

}  // namespace
}  // namespace sk
