#pragma once
// Asks once per site whether a download that failed for want of a sign-in
// may use the user's sign-in from a browser on this computer: "Yes" retries
// the site's failed missions with that browser's cookies, "No" leaves them
// failed; either answer is remembered in the settings file, so the site is
// never asked again (the settings window can forget it).

#include <QObject>
#include <map>
#include <set>
#include <string>

namespace quillmarsh {

class TfrmMain;

class SignInAsker : public QObject {
 public:
  explicit SignInAsker(TfrmMain& window);

  // A mission's status changed. The question waits until the hand-over
  // that changed it has returned (it is queued), so no worker waits on the
  // user.
  void MissionStatusChanged(int row);

 private:
  void Ask(const std::string& site);
  // Retries the site's failed missions once their downloaders have ended.
  void RetrySite(const std::string& site, int triesLeft);

  TfrmMain& window_;
  std::set<std::string> asking_;
  std::map<std::string, std::set<std::string>> failedUrls_;  // site -> addresses
  // Downloads started while their site had no answer yet.
  std::set<std::string> startedUnanswered_;
};

}  // namespace quillmarsh
