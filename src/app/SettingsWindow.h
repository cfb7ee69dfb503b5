#pragma once
// The settings window ("Settings…"): whose sign-in downloads use and each
// site's answer, the speed limit, keeping the site extractor current, and
// how many downloads and conversions run at once. Everything is kept in
// the settings file when the user presses OK.

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace quillmarsh {

class IniFile;
class SkinnedFrame;

class TfrmSettings : public QDialog {
  Q_OBJECT
 public:
  // forgetHistory: what "Forget the download history" does (asks first).
  TfrmSettings(IniFile& ini, QWidget* parent, std::function<void()> forgetHistory = {});

  SkinnedFrame* sufSettings;
  QComboBox* cmbSignIn;
  QLineEdit* edtCookieFile;
  QPushButton* btnCookieFile;
  QListWidget* lstSites;
  QPushButton* btnForget;
  QPushButton* btnForgetHistory;
  QLineEdit* edtSpeedLimit;
  QCheckBox* chkUpdateExtractor;
  QSpinBox* speDownloads;
  QSpinBox* speConversions;
  QPushButton* btnOK;
  QPushButton* btnCancel;

  // Keeps what the window shows; false (and a message box) when the
  // settings file refuses it or the speed limit is not one.
  bool Save();
  void btnForgetClick();
  void btnOKClick();

 private:
  void buildControls();
  void load();

  IniFile& ini_;
  std::function<void()> forgetHistory_;
};

// The limits the settings file keeps, into the diagnostics window's two
// fields (1 to 16; without a saved value they stay as they are).
void LoadSavedLimits(const IniFile& ini);

// Opens the settings window over parent, modally.
void ShowSettings(IniFile& ini, QWidget* parent, std::function<void()> forgetHistory = {});

}  // namespace quillmarsh
