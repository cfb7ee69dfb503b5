#include "support/BoxRecorder.h"

namespace quillmarsh {

BoxRecorder::BoxRecorder(int answer) : answer_(answer) {
  SetMessageBoxAnswerer([this](const MessageBoxRequest& r) {
    boxes_ << r.caption + QLatin1Char('|') + r.message;
    return (r.buttons & mbYes) ? answer_ : int(mrOk);
  });
}

BoxRecorder::~BoxRecorder() {
  SetMessageBoxAnswerer(nullptr);
}

}  // namespace quillmarsh
