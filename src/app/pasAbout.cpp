#include "app/pasAbout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/AppIcon.h"
#include "ui/LinkLabel.h"
#include "ui/SkinnedFrame.h"
#include "ui/UiFont.h"

namespace quillmarsh {

TfrmAbout* frmAbout = nullptr;

namespace {
QLabel* centredLabel(QWidget* parent, const QString& text, int top, int height, int pixelSize) {
  auto* label = new QLabel(text, parent);
  label->setFont(UiFont(pixelSize));
  label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  label->setWordWrap(true);
  label->setGeometry(16, top, 293, height);
  return label;
}
}  // namespace

TfrmAbout::TfrmAbout() : QDialog(nullptr, Qt::FramelessWindowHint | Qt::Dialog) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setWindowIcon(AppIcon());
  setFont(UiFont(11));
  setFixedSize(325, 369);
  setModal(true);

  // Only the control box in the title bar: no close, minimise or maximise.
  suiForm1 = new SkinnedFrame(this, 0);
  suiForm1->setGeometry(0, 0, width(), height());
  suiForm1->setCaption(QStringLiteral("About"));

  lblAppName = centredLabel(suiForm1, QStringLiteral("Quillmarsh 1.0"), 56, 40, 21);
  lblAppName->setObjectName(QStringLiteral("lblAppName"));
  Label4 = centredLabel(suiForm1, QString::fromUtf8(kPublisherName), 108, 28, 16);

  ulbWebsite = new LinkLabel(suiForm1);
  ulbWebsite->setText(QString::fromUtf8(kWebsiteAddress));
  ulbWebsite->setLink(QString::fromUtf8(kWebsiteAddress));
  ulbWebsite->setAlignment(Qt::AlignCenter);
  ulbWebsite->setGeometry(16, 148, 293, 20);

  ulbContactUs = new LinkLabel(suiForm1);
  ulbContactUs->setText(QStringLiteral("Contact Us"));
  ulbContactUs->setLink(QString::fromUtf8(kContactAddress));
  ulbContactUs->setAlignment(Qt::AlignCenter);
  ulbContactUs->setGeometry(16, 176, 293, 20);

  Label1 = centredLabel(
      suiForm1,
      QStringLiteral("Quillmarsh uses FFmpeg licensed under the LGPLv2.1 to convert video."), 216,
      48, 11);

  btnOK = new QPushButton(QStringLiteral("OK"), suiForm1);
  btnOK->setGeometry(125, 312, 75, 25);
  connect(btnOK, &QPushButton::clicked, this, &TfrmAbout::btnOKClick);

  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
}

}  // namespace quillmarsh
