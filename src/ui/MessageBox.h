#pragma once
// ShowMessageBox: the program's modal message box, drawn with the current
// skin (read from the skin file at every call).

#include <QString>
#include <functional>

namespace quillmarsh {

enum class MsgKind { Warning, Error, Information, Confirmation, None };

// Standard buttons, combinable; a box shows at most three of them, in the
// order Yes, No, OK, Cancel, Abort, Retry, Ignore.
enum MsgButton : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
};

// Results: the standard code of the pressed button.
enum MsgResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7
};

struct MessageBoxRequest {
  QString caption;
  QString message;
  MsgKind kind;
  unsigned buttons;
  unsigned defaultButton = 0;  // 0: the toolkit's choice
};

// `defaultButton` (one of `buttons`) is what Enter presses; 0 leaves the
// choice to the toolkit.
int ShowMessageBox(const QString& caption, const QString& message, MsgKind kind, unsigned buttons,
                   unsigned defaultButton = 0);

// The toolkit's own unskinned box with an OK button and no owner window, for
// the times when there is no skin to draw with (or no window yet).
void ShowPlainMessageBox(const QString& caption, const QString& message, MsgKind kind);

// The buttons a box shows, in display order (at most three).
std::vector<MsgButton> VisibleButtons(unsigned buttons);
int ResultOf(MsgButton button);

// Tests answer boxes through this seam: when set, it is called instead of
// showing the box, and its result is returned.
using MessageBoxAnswerer = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

}  // namespace quillmarsh
