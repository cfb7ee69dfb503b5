#pragma once
// The About box.

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillmarsh {

class LinkLabel;
class SkinnedFrame;

// The publisher's name and addresses (neutral, under the reserved example domain).
inline constexpr const char* kPublisherName = "Quillmarsh Project";
inline constexpr const char* kWebsiteAddress = "https://www.example.org/quillmarsh";
inline constexpr const char* kContactAddress = "https://www.example.org/quillmarsh/contact";
inline constexpr const char* kHomePageAddress = "https://www.example.org/quillmarsh/help";

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  TfrmAbout();

  SkinnedFrame* suiForm1;
  QLabel* lblAppName;
  QLabel* Label4;
  LinkLabel* ulbWebsite;
  LinkLabel* ulbContactUs;
  QLabel* Label1;
  QPushButton* btnOK;

  void btnOKClick() { close(); }
};

extern TfrmAbout* frmAbout;

}  // namespace quillmarsh
