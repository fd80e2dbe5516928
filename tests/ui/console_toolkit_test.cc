#include "ui/console/console_toolkit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace sk::ui {
namespace {

constexpr int kJob = 1;

ControlDef Def(int id, ControlKind kind, int x, int y, int width, int height,
               const std::string& text = "") {
  ControlDef def;
  def.id = id;
  def.kind = kind;
  def.x = x;
  def.y = y;
  def.width = width;
  def.height = height;
  def.text = text;
  return def;
}

WindowDef Titled(const std::string& title) {
  WindowDef def;
  def.title = title;
  return def;
}

// A console whose input is a pipe holding `input` (then the end of input) and whose output
// is a temporary file.
class ConsoleToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override { ConsoleToolkit::ClearInterrupt(); }
  void TearDown() override {
    ConsoleToolkit::ClearInterrupt();
    if (input_fd_ >= 0) close(input_fd_);
    if (output_) std::fclose(output_);
  }

  ConsoleToolkit& Console(const std::string& input, bool terminal_input,
                          bool terminal_output = false) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    input_fd_ = fds[0];
    output_ = std::tmpfile();
    console_ =
        std::make_unique<ConsoleToolkit>(input_fd_, output_, terminal_input, terminal_output);
    return *console_;
  }

  std::string Output() {
    std::fflush(output_);
    std::rewind(output_);
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, output_)) > 0) text.append(buffer, got);
    return text;
  }

  // A job window like the create job's: a progress bar, a Cancel button, and a time field
  // inside its titled frame.
  static void OpenJobWindow(ConsoleToolkit& console) {
    console.OpenWindow(kJob, Titled("Backup wird erstellt..."));
    console.AddControl(kJob, Def(5, ControlKind::kFrame, 15, 70, 347, 49, "Verstrichene Zeit"));
    console.AddControl(kJob, Def(7, ControlKind::kText, 30, 87, 318, 20, "Unbekannt"));
    console.AddControl(kJob, Def(8, ControlKind::kText, 30, 300, 318, 20, "outside every frame"));
    console.AddControl(kJob, Def(30, ControlKind::kProgressBar, 30, 194, 318, 20));
    console.SetRange(kJob, 30, 0, 200);
    console.AddControl(kJob, Def(31, ControlKind::kButton, 131, 235, 122, 25, "Abbrechen"));
  }

  // The restore parameters window: two options, OK and Cancel.
  static void OpenParametersWindow(ConsoleToolkit& console) {
    console.OpenWindow(kJob, Titled("Wiederherstellungs Parameter"));
    console.AddControl(kJob, Def(40, ControlKind::kOption, 24, 18, 284, 20, "Komplett"));
    console.AddControl(kJob, Def(41, ControlKind::kOption, 24, 41, 284, 20, "Nur der Ordner"));
    console.AddControl(kJob, Def(42, ControlKind::kButton, 118, 80, 90, 25, "OK"));
    console.AddControl(kJob, Def(43, ControlKind::kButton, 216, 80, 90, 25, "Abbrechen"));
    console.SetValue(kJob, 40, 1);
  }

  int input_fd_ = -1;
  std::FILE* output_ = nullptr;
  std::unique_ptr<ConsoleToolkit> console_;
};

TEST_F(ConsoleToolkitTest, WithoutATerminalQuestionsTakeTheAnswerThatChangesNothing) {
  ConsoleToolkit& console = Console("j\nj\nj\n", /*terminal_input=*/false);
  EXPECT_EQ(console.MessageBox("Frage", "Ersetzen ?", Icon::kQuestion, Buttons::kYesNo),
            Answer::kNo);
  EXPECT_EQ(console.MessageBox("Frage", "Datei ?", Icon::kQuestion, Buttons::kYesNoCancel),
            Answer::kCancel);
  EXPECT_EQ(console.MessageBox("Frage", "Weiter ?", Icon::kQuestion, Buttons::kOkCancel),
            Answer::kCancel);
  EXPECT_EQ(console.MessageBox("Info", "Fertig", Icon::kWarning, Buttons::kOk), Answer::kOk);
  const std::string output = Output();
  EXPECT_NE(output.find("Frage: Ersetzen ?\n  -> Nein (no terminal to ask on)\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("Frage: Datei ?\n  -> Abbrechen (no terminal"), std::string::npos);
  EXPECT_NE(output.find("Info: Fertig\n"), std::string::npos);
}

TEST_F(ConsoleToolkitTest, OnATerminalTheUserAnswersInTheCatalogsWords) {
  ConsoleToolkit& console = Console("vielleicht\n J \nnein\nA\ny\nC\n", /*terminal_input=*/true);
  const auto ask = [&](Buttons buttons) {
    return console.MessageBox("Frage", "?", Icon::kQuestion, buttons);
  };
  EXPECT_EQ(ask(Buttons::kYesNo), Answer::kYes);  // an unknown word asks again
  EXPECT_EQ(ask(Buttons::kYesNo), Answer::kNo);   // whole words count too
  EXPECT_EQ(ask(Buttons::kYesNoCancel), Answer::kCancel);
  EXPECT_EQ(ask(Buttons::kYesNoCancel), Answer::kYes);  // English letters are understood
  EXPECT_EQ(ask(Buttons::kYesNoCancel), Answer::kCancel);
  EXPECT_EQ(ask(Buttons::kYesNoCancel), Answer::kCancel);  // end of input: nothing changes
  const std::string output = Output();
  EXPECT_NE(output.find("[J]a / [N]ein / [A]bbrechen? "), std::string::npos) << output;
  EXPECT_NE(output.find("(end of input)"), std::string::npos);
}

TEST_F(ConsoleToolkitTest, FrenchWordsAreOffered) {
  ConsoleToolkit& console = Console("o\nn\n", /*terminal_input=*/true);
  console.SetWords({"OK", "Annuler", "Oui", "Non"});
  EXPECT_EQ(console.MessageBox("Question", "?", Icon::kQuestion, Buttons::kYesNo), Answer::kYes);
  EXPECT_EQ(console.MessageBox("Question", "?", Icon::kQuestion, Buttons::kYesNo), Answer::kNo);
  EXPECT_NE(Output().find("[O]ui / [N]on? "), std::string::npos);
}

TEST_F(ConsoleToolkitTest, AnInterruptBecomesAClickOnTheJobWindowsCancelButton) {
  ConsoleToolkit& console = Console("", false);
  EXPECT_FALSE(console.WasInterrupted());
  ConsoleToolkit::Interrupt();
  // No job window yet (the scan runs first): the click waits for one.
  EXPECT_EQ(console.PollEvent().type, EventType::kNone);
  EXPECT_TRUE(console.WasInterrupted());
  OpenJobWindow(console);
  EXPECT_EQ(console.PollEvent(), (Event{EventType::kLeftClick, kJob, 31}));
  EXPECT_EQ(console.PollEvent().type, EventType::kNone);  // one click per interrupt
  EXPECT_TRUE(console.WasInterrupted());
}

TEST_F(ConsoleToolkitTest, ACancelButtonIsKnownByItsTextToo) {
  ConsoleToolkit& console = Console("", false);
  console.OpenWindow(kJob, Titled("Daten Vergleichen..."));
  console.AddControl(kJob, Def(12, ControlKind::kButton, 0, 0, 10, 10, "Weiter"));
  console.AddControl(kJob, Def(13, ControlKind::kButton, 0, 0, 10, 10, "Abbrechen"));
  ConsoleToolkit::Interrupt();
  EXPECT_EQ(console.PollEvent(), (Event{EventType::kLeftClick, kJob, 13}));
}

TEST_F(ConsoleToolkitTest, ButtonsAreKnownByTheirRolesWhateverTheirIdsAndTexts) {
  ConsoleToolkit& console = Console("", false);
  console.OpenWindow(kJob, Titled("Wiederherstellungs Parameter"));
  console.AddControl(kJob, Def(7, ControlKind::kOption, 24, 18, 284, 20, "Komplett"));
  ControlDef go = Def(90, ControlKind::kButton, 118, 80, 90, 25, "Los");
  go.style = kRoleDefault;
  ControlDef stop = Def(91, ControlKind::kButton, 216, 80, 90, 25, "Halt");
  stop.style = kRoleCancel;
  console.AddControl(kJob, go);
  console.AddControl(kJob, stop);
  console.SetValue(kJob, 7, 1);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 7}));
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 90}));
  ConsoleToolkit::Interrupt();
  EXPECT_EQ(console.PollEvent(), (Event{EventType::kLeftClick, kJob, 91}));
}

TEST_F(ConsoleToolkitTest, AnInterruptedQuestionTakesTheAnswerThatChangesNothing) {
  ConsoleToolkit& console = Console("j\n", /*terminal_input=*/true);
  ConsoleToolkit::Interrupt();
  EXPECT_EQ(console.MessageBox("Frage", "?", Icon::kQuestion, Buttons::kYesNo), Answer::kNo);
  EXPECT_NE(Output().find("-> Nein (interrupted)"), std::string::npos);
  // The job still learns of it at its next poll.
  OpenJobWindow(console);
  EXPECT_EQ(console.PollEvent(), (Event{EventType::kLeftClick, kJob, 31}));
}

TEST_F(ConsoleToolkitTest, WithoutATerminalAChoiceTakesThePreselectedOption) {
  ConsoleToolkit& console = Console("2\n", /*terminal_input=*/false);
  OpenParametersWindow(console);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 40}));
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 42}));
  EXPECT_EQ(console.GetValue(kJob, 40), 1);
  EXPECT_NE(Output().find("Wiederherstellungs Parameter: Komplett (no terminal"),
            std::string::npos);
}

TEST_F(ConsoleToolkitTest, OnATerminalTheUserChoosesAnOptionOrCancels) {
  ConsoleToolkit& console = Console("7\n2\n\na\n", /*terminal_input=*/true);
  OpenParametersWindow(console);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 41}));  // 7 asks again
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 42}));
  EXPECT_EQ(console.GetValue(kJob, 40), 0);
  EXPECT_EQ(console.GetValue(kJob, 41), 1);

  OpenParametersWindow(console);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 40}));  // Enter: preselected
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 42}));

  OpenParametersWindow(console);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 43}));
  OpenParametersWindow(console);  // end of input
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kLeftClick, kJob, 43}));
  EXPECT_NE(Output().find("  2) Nur der Ordner\n"), std::string::npos);
}

TEST_F(ConsoleToolkitTest, WaitingNeverHangsWhenNothingCanHappen) {
  ConsoleToolkit& console = Console("", false);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kClose, kMainWindow, -1}));
  console.OpenWindow(kJob, Titled("Info"));
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kClose, kJob, -1}));
  console.AddTimer(kJob, 2703, 5);
  EXPECT_EQ(console.WaitEvent(), (Event{EventType::kTimer, kJob, 2703}));
}

TEST_F(ConsoleToolkitTest, WithoutATerminalProgressIsPrintedAsPlainLines) {
  ConsoleToolkit& console = Console("", false);
  OpenJobWindow(console);
  console.SetValue(kJob, 30, 100);
  console.SetText(kJob, 7, "3 Sekunde(n)");
  for (int i = 0; i < 64; ++i) console.PollEvent();
  console.SetValue(kJob, 30, 200);
  console.CloseWindow(kJob);
  EXPECT_EQ(
      Output(),
      "Backup wird erstellt...  [##########----------] 50%  Verstrichene Zeit: 3 Sekunde(n)\n"
      "Backup wird erstellt...  [####################] 100%  Verstrichene Zeit: 3 Sekunde(n)\n");
}

TEST_F(ConsoleToolkitTest, OnATerminalProgressIsOneLineRedrawnInPlace) {
  ConsoleToolkit& console = Console("", false, /*terminal_output=*/true);
  OpenJobWindow(console);
  console.SetValue(kJob, 30, 50);
  for (int i = 0; i < 64; ++i) console.PollEvent();
  console.MessageBox("Info", "Prozess wurde Abgebrochen!", Icon::kWarning, Buttons::kOk);
  console.CloseWindow(kJob);
  const std::string output = Output();
  EXPECT_EQ(output.rfind("\rBackup wird erstellt...  [#####---------------] 25%", 0), 0u) << output;
  // The message replaces the line, and the closed window leaves nothing after it.
  EXPECT_NE(output.find("\x1b[K\r\x1b[KInfo: Prozess wurde Abgebrochen!\n"), std::string::npos);
  EXPECT_TRUE(output.ends_with("Abgebrochen!\n"));
}

// Catalog texts and file names reach the terminal without the control bytes that would
// move its cursor or change its settings; tab and line feed stay.
TEST_F(ConsoleToolkitTest, NoControlBytesButTabAndLineFeedReachTheOutput) {
  ConsoleToolkit& console = Console("", false);
  console.OpenWindow(kJob, Titled("Titel\x1b]0;pwned\x07"));
  console.AddControl(kJob, Def(30, ControlKind::kProgressBar, 30, 194, 318, 20));
  console.SetValue(kJob, 30, 100);
  for (int i = 0; i < 64; ++i) console.PollEvent();
  console.MessageBox("Info\r", "a\tb\nc\x1b[2Jd\x7f\xc2\x9b\xc3\xa4", Icon::kWarning, Buttons::kOk);
  console.CloseWindow(kJob);
  const std::string output = Output();
  for (const char c : output) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 ? byte != 0x7F : (c == '\t' || c == '\n')) << static_cast<int>(byte);
  }
  EXPECT_EQ(output.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(output.find("Info?: a\tb\nc?[2Jd??\xc3\xa4\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Titel?]0;pwned?"), std::string::npos) << output;
}

}  // namespace
}  // namespace sk::ui
