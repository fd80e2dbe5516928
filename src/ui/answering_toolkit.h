// A toolkit that answers every question itself ("--yes" and "--no" on the command line) and
// hands everything else to the toolkit it wraps.
#ifndef STOWKEEPER_UI_ANSWERING_TOOLKIT_H_
#define STOWKEEPER_UI_ANSWERING_TOOLKIT_H_

#include <string>

#include "ui/toolkit.h"

namespace sk::ui {

class AnsweringToolkit : public Toolkit {
 public:
  // answer: kYes or kNo. A Yes/No/Cancel question answered No keeps the job going (only
  // that one thing is left alone), as a user's No does. With echo, each question and its
  // answer are shown through inner as a message that needs no answer (the terminal prints
  // it); without, they go unseen (a desktop would wait for a click on it).
  AnsweringToolkit(Toolkit& inner, Answer answer, bool echo)
      : inner_(inner), answer_(answer), echo_(echo) {}

  SK_TOOLKIT_WINDOW_METHODS
  bool Notify(const std::string& title, const std::string& text, Icon icon) override {
    return inner_.Notify(title, text, icon);
  }

 private:
  Toolkit& inner_;
  Answer answer_;
  bool echo_;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_ANSWERING_TOOLKIT_H_
