#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "ui/Skin.h"

namespace quillmarsh {

namespace {
constexpr MsgButton kOrder[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore};

MessageBoxAnswerer& answerer() {
  static MessageBoxAnswerer a;
  return a;
}

QMessageBox::StandardButton standardButton(MsgButton b) {
  switch (b) {
    case mbYes:
      return QMessageBox::Yes;
    case mbNo:
      return QMessageBox::No;
    case mbOK:
      return QMessageBox::Ok;
    case mbCancel:
      return QMessageBox::Cancel;
    case mbAbort:
      return QMessageBox::Abort;
    case mbRetry:
      return QMessageBox::Retry;
    case mbIgnore:
      return QMessageBox::Ignore;
  }
  return QMessageBox::NoButton;
}

QMessageBox::Icon iconOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return QMessageBox::Warning;
    case MsgKind::Error:
      return QMessageBox::Critical;
    case MsgKind::Information:
      return QMessageBox::Information;
    case MsgKind::Confirmation:
      return QMessageBox::Question;
    case MsgKind::None:
      return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

std::vector<MsgButton> VisibleButtons(unsigned buttons) {
  std::vector<MsgButton> shown;
  for (MsgButton b : kOrder)
    if ((buttons & b) && shown.size() < 3) shown.push_back(b);
  return shown;
}

int ResultOf(MsgButton button) {
  switch (button) {
    case mbOK:
      return mrOk;
    case mbCancel:
      return mrCancel;
    case mbAbort:
      return mrAbort;
    case mbRetry:
      return mrRetry;
    case mbIgnore:
      return mrIgnore;
    case mbYes:
      return mrYes;
    case mbNo:
      return mrNo;
  }
  return mrNone;
}

void SetMessageBoxAnswerer(MessageBoxAnswerer a) {
  answerer() = std::move(a);
}
void ShowPlainMessageBox(const QString& caption, const QString& message, MsgKind kind) {
  if (answerer()) {
    answerer()(MessageBoxRequest{caption, message, kind, mbOK});
    return;
  }
  QMessageBox(iconOf(kind), caption, message, QMessageBox::Ok).exec();
}

int ShowMessageBox(const QString& caption, const QString& message, MsgKind kind, unsigned buttons,
                   unsigned defaultButton) {
  if (answerer())
    return answerer()(MessageBoxRequest{caption, message, kind, buttons, defaultButton});

  QMessageBox box(iconOf(kind), caption, message, QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setStyleSheet(LoadSkin(CurrentSkinFile()));
  box.setTextFormat(Qt::PlainText);
  std::vector<std::pair<QAbstractButton*, MsgButton>> made;
  for (MsgButton b : VisibleButtons(buttons)) {
    QPushButton* button = box.addButton(standardButton(b));
    if (b == defaultButton) box.setDefaultButton(button);
    made.emplace_back(button, b);
  }
  if (made.empty()) made.emplace_back(box.addButton(QMessageBox::Ok), mbOK);
  box.exec();
  for (const auto& [button, code] : made)
    if (box.clickedButton() == button) return ResultOf(code);
  // Closed without a button: the escape answer, as the toolkit picks it.
  if (buttons & mbCancel) return mrCancel;
  if (buttons & mbNo) return mrNo;
  return ResultOf(made.back().second);
}

}  // namespace quillmarsh
