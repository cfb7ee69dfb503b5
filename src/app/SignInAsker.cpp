#include "app/SignInAsker.h"

#include <QTimer>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "missions/SignInSettings.h"
#include "pipeline/RowActions.h"
#include "shared/BrowserProfiles.h"
#include "shared/IniFile.h"
#include "shared/SiteName.h"
#include "ui/MessageBox.h"

namespace quillmarsh {
namespace {

// A retry waits for the failed mission's downloader to end: 100 ms steps,
// up to 30 s.
constexpr int kRetryTries = 300;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

SignInAsker::SignInAsker(TfrmMain& window) : QObject(&window), window_(window) {}

void SignInAsker::MissionStatusChanged(int row) {
  MissionModel& missions = window_.Missions();
  IniFile* ini = window_.SettingsFile();
  if (ini == nullptr || window_.CloseConfirmed() || !missions.isValidRow(row) ||
      ReadSignInChoice(*ini).mode != SignInChoice::Mode::AskEachSite) {
    return;
  }
  const std::string& url = missions.url(row);
  const std::string site = SiteOfHost(HostOfUrl(url));
  const auto answer = AnswerFor(*ini, site);
  // A download that started before the site's answer ran without its
  // sign-in; should it fail, the answer still applies to it.
  if (missions.status(row) == Status::Downloading) {
    if (!answer) startedUnanswered_.insert(url);
    return;
  }
  if (missions.status(row) != Status::ErrorInDownload || !SignInCouldMend(missions.reason(row)) ||
      site.empty()) {
    return;
  }
  const bool unanswered = startedUnanswered_.erase(url) > 0;
  if (answer) {
    if (unanswered && *answer != kAnsweredNo) {
      failedUrls_[site].insert(url);
      RetrySite(site, kRetryTries);
    }
    return;
  }
  failedUrls_[site].insert(url);
  if (asking_.insert(site).second) {
    QTimer::singleShot(0, this, [this, site] { Ask(site); });
  }
}

void SignInAsker::Ask(const std::string& site) {
  const auto browsers = BrowsersWithProfile();
  IniFile* ini = window_.SettingsFile();
  if (browsers.empty() || ini == nullptr || window_.CloseConfirmed()) {
    asking_.erase(site);
    failedUrls_.erase(site);
    return;
  }
  const Browser& browser = *browsers.front();
  const QString name = FromUtf8(site);
  const QString message = QStringLiteral("%1 asks you to sign in. Use your sign-in from %2 for %1?")
                              .arg(name, FromUtf8(std::string(browser.display)));
  const bool yes = ShowMessageBox(QString::fromUtf8(kAppTitle), message, MsgKind::Confirmation,
                                  mbYes | mbNo) == mrYes;
  asking_.erase(site);
  try {
    RememberAnswer(*ini, site, yes ? std::string(browser.name) : std::string(kAnsweredNo));
  } catch (const IniWriteError& e) {
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromUtf8(e.what()), MsgKind::Error, mbOK);
  }
  if (yes) {
    RetrySite(site, kRetryTries);
  } else {
    failedUrls_.erase(site);
  }
}

void SignInAsker::RetrySite(const std::string& site, int triesLeft) {
  if (window_.CloseConfirmed()) return;
  MissionModel& missions = window_.Missions();
  std::set<std::string>& urls = failedUrls_[site];
  bool retried = false;
  for (int row = 0; row < missions.count(); ++row) {
    if (urls.count(missions.url(row)) == 0) continue;
    if (RetryRow(missions, window_.Pipeline(), row)) {
      urls.erase(missions.url(row));
      retried = true;
    } else if (missions.status(row) != Status::ErrorInDownload) {
      urls.erase(missions.url(row));  // it moved on without us
    }
  }
  if (retried) window_.StartWaitingWork();
  if (urls.empty() || triesLeft == 0) {
    failedUrls_.erase(site);
    return;
  }
  QTimer::singleShot(100, this, [this, site, triesLeft] { RetrySite(site, triesLeft - 1); });
}

}  // namespace quillmarsh
