// An address that was a list of videos: its videos become missions.
#include <QTimer>
#include <unordered_map>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "missions/MissionStatus.h"
#include "missions/UrlBatch.h"
#include "ui/MessageBox.h"

namespace quillmarsh {

namespace {
// Longer lists are added only when the user says so.
constexpr std::size_t kAddWithoutAsking = 25;

// What the list left out, for the message that follows the adding.
std::string ListNote(const FoundList& list) {
  std::string note;
  if (list.skipped > 0)
    note = std::to_string(list.skipped) +
           " entries of the list have no web address and were left out.";
  if (list.cut) {
    if (!note.empty()) note += ' ';
    note += "The list holds more than " + std::to_string(kMaxListEntries) +
            " videos; only the first " + std::to_string(kMaxListEntries) + " were read.";
  }
  return note;
}
}  // namespace

void TfrmMain::ListFound(FoundList list) {
  // Out of the worker's hand-over: the question may wait for the user.
  QTimer::singleShot(
      0, this, [this, list = std::move(list)]() mutable { AddListedVideos(std::move(list)); });
}

void TfrmMain::AddListedVideos(FoundList list) {
  if (closing_ || list.videos.empty()) return;
  const std::size_t count = list.videos.size();
  if (count > kAddWithoutAsking &&
      ShowMessageBox(QString::fromUtf8(kAppTitle),
                     QStringLiteral("This address is a list of %1 videos. Add them all?")
                         .arg(static_cast<qulonglong>(count)),
                     MsgKind::Confirmation, mbYes | mbNo) != mrYes)
    return;
  std::vector<std::string> urls;
  std::unordered_map<std::string, std::string> titles;
  for (ListedVideo& video : list.videos) {
    urls.push_back(video.url);
    titles.emplace(video.url, std::move(video.title));
  }
  const UrlBatch batch = SortOutNewUrls(
      *missions_, urls, [this](const std::string& url) { return DownloadedBefore(url); });
  int first = -1, last = -1;
  for (const std::string& url : batch.fresh) {
    last = addLsvItem(url, std::string(Status::WaitForDownload), 0, {}, titles[url], {},
                      list.doConvert, list.format, list.priority);
    if (first < 0) first = last;
  }
  if (first >= 0) ShowNewRows(first, last);
  std::string message = PassedOverMessage(batch);
  if (const std::string note = ListNote(list); !note.empty())
    message += (message.empty() ? "" : " ") + note;
  if (!message.empty())
    ShowMessageBox(QString::fromUtf8(kAppTitle), QString::fromStdString(message),
                   MsgKind::Information, mbOK);
  StartWaitingWork();
}

}  // namespace quillmarsh
