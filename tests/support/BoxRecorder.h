#pragma once
// Answers message boxes for a test and records them.

#include <QStringList>

#include "ui/MessageBox.h"

namespace quillmarsh {

class BoxRecorder {
 public:
  explicit BoxRecorder(int answer = mrYes);
  ~BoxRecorder();
  void setAnswer(int answer) { answer_ = answer; }
  // "caption|message" of every box so far.
  const QStringList& boxes() const { return boxes_; }

 private:
  int answer_;
  QStringList boxes_;
};

}  // namespace quillmarsh
