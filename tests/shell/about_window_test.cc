// The About window on the headless toolkit.
#include "shell/about_window.h"

#include <gtest/gtest.h>

#include "shell/main_window.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using ui::EventType;
using ui::HeadlessToolkit;

constexpr int kWindow = ui::kJobWindow;

class AboutWindowTest : public ::testing::Test {
 protected:
  AboutWindowTest() {
    t.app.ProgramFolder = tmp.Internal();
    OpenMainWindow(t.desk);
  }
  void Click(int control) { t.tk.QueueEvent({EventType::kLeftClick, kWindow, control}); }
  const HeadlessToolkit::Window& Closed() { return *t.tk.LastClosed("About"); }

  TempFolder tmp;
  TestApp t;
};

TEST_F(AboutWindowTest, ShowsNameCreditNotesAndFitsTheList) {
  t.tk.SetValue(ui::kMainWindow, ui::kTabPanel, 1);
  bool main_enabled = true;
  t.tk.on_wait = [&](HeadlessToolkit& tk) {
    main_enabled = tk.FindWindow(ui::kMainWindow)->enabled;
    return ui::Event{EventType::kLeftClick, kWindow, kAboutOkButton};
  };
  AboutWindow(t.desk);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(t.tk.FindWindow(ui::kMainWindow)->enabled);
  EXPECT_EQ(t.tk.sounds, 1);
  // The focus goes back to the list of the tab shown.
  EXPECT_EQ(t.tk.focus_window, ui::kMainWindow);
  EXPECT_EQ(t.tk.focus_control, ui::kRestoreList);

  const HeadlessToolkit::Window& w = Closed();
  EXPECT_EQ(w.def.width, 415);
  EXPECT_EQ(w.def.height, 410);
  EXPECT_EQ(w.def.flags & ui::kWindowCloseBox, 0u);
  EXPECT_EQ(w.controls.at(kAboutIcon).value, 3);
  EXPECT_EQ(w.controls.at(kAboutName).text, "Stowkeeper Version 1.87");
  EXPECT_TRUE(w.controls.at(kAboutName).font.bold);
  EXPECT_TRUE(w.controls.at(kAboutName).font.italic);
  EXPECT_EQ(w.controls.at(kAboutName).font.points, 16);
  EXPECT_NE(w.controls.at(kAboutCredit).text.find("2007 - 2011"), std::string::npos);
  EXPECT_EQ(w.controls.at(kAboutCredit).font.points, 8);
  EXPECT_EQ(w.controls.at(kAboutNotes).items, AboutNotes());
  EXPECT_EQ(AboutNotes().size(), 11u);
  EXPECT_EQ(AboutNotes()[4], "Thanks to:");
  // 220 pixels show 12 whole rows of 17 (within borders of 2); the loop stops at the first
  // height that shows 11.
  const int rows = (220 - 4) / HeadlessToolkit::kRowHeight;
  EXPECT_EQ(w.controls.at(kAboutNotes).def.height, rows * HeadlessToolkit::kRowHeight + 4 - 1);
}

TEST_F(AboutWindowTest, OnlyOkEndsItRowsStayUnselectedAndTheLinkOpensTheReadme) {
  tmp.Write("README.md", "# Stowkeeper\n");
  t.tk.QueueEvent({EventType::kClose, kWindow, -1});
  t.tk.on_wait = [step = 0](HeadlessToolkit& tk) mutable {
    switch (step++) {
      case 0:
        tk.SetValue(kWindow, kAboutNotes, 2);
        return ui::Event{EventType::kLeftClick, kWindow, kAboutNotes};
      case 1:
        return ui::Event{EventType::kLeftClick, kWindow, kAboutLink};
      default:
        return ui::Event{EventType::kLeftClick, kWindow, kAboutOkButton};
    }
  };
  AboutWindow(t.desk);
  EXPECT_EQ(Closed().controls.at(kAboutNotes).value, -1);
  EXPECT_EQ(t.tk.documents, (std::vector<std::string>{tmp.Internal("README.md")}));
}

// A desktop on which no row ever fits must not shrink the list away.
class NoRowsToolkit : public HeadlessToolkit {
 public:
  int VisibleRowCount(int, int) override { return 0; }
};

TEST(AboutWindowFitTest, EndsWhenNoRowFits) {
  NoRowsToolkit tk;
  AppState app;
  FillDefaultTexts(app.Texts);
  Desktop desk(app, tk);
  OpenMainWindow(desk);
  tk.QueueEvent({EventType::kLeftClick, kWindow, kAboutOkButton});
  AboutWindow(desk);
  EXPECT_EQ(tk.LastClosed("About")->controls.at(kAboutNotes).def.height, 220);
}

}  // namespace
}  // namespace sk
