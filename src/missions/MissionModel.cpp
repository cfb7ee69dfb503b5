#include "missions/MissionModel.h"

#include <algorithm>

#include "missions/MissionStatus.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
struct ColumnInfo {
  const char* caption;
  int width;
};
constexpr ColumnInfo kColumns[ColumnCount] = {{"Video", 110}, {"Size", 70}, {"Speed", 80},
                                              {"ETA", 50},    {"URL", 40},  {"Progress", 130}};

QString toQ(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The last `n` characters of a UTF-8 text, never cutting one in two.
std::string LastCharacters(const std::string& text, std::size_t n) {
  std::size_t start = text.size();
  for (std::size_t kept = 0; start > 0 && kept < n; ++kept) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  }
  return text.substr(start);
}

std::string PlaceholderCaption(const std::string& url) {
  return "[url] " + LastCharacters(url, 11);
}
}  // namespace

MissionModel::MissionModel(QObject* parent) : QAbstractTableModel(parent) {}

int MissionModel::addLsvItem(const std::string& url, const std::string& status,
                             std::int32_t progress, const std::string& size,
                             const std::string& videoName, const std::string& fileName,
                             bool doConvert, const std::string& format,
                             const std::string& priority) {
  TLsvData record(url);
  record.progress = progress;
  record.fileName = fileName;
  record.doConvert = doConvert;
  record.format = format;
  record.priority = priority;

  const int row = count();
  beginInsertRows({}, row, row);
  Row& r = rows_.emplace_back(std::move(record));
  r.subItems[SubUrl] = url;
  r.subItems[SubProgress] = status;
  r.subItems[SubSize] = size;
  r.caption = Trim(videoName).empty() ? PlaceholderCaption(url) : videoName;
  endInsertRows();
  return row;
}

bool MissionModel::urlExists(std::string_view url) const {
  return std::any_of(rows_.begin(), rows_.end(),
                     [url](const Row& r) { return r.subItems[SubUrl] == url; });
}

const std::string& MissionModel::titleOrUrl(int row) const {
  // The placeholder is saved like a title, so it is known by its text.
  const Row& r = rows_[row];
  return r.caption == PlaceholderCaption(r.subItems[SubUrl]) ? r.subItems[SubUrl] : r.caption;
}

void MissionModel::setCaption(int row, std::string text) {
  rows_[row].caption = std::move(text);
  emitRowChanged(row, ColVideo, ColVideo);
}

void MissionModel::setSubItem(int row, SubItem item, std::string text) {
  std::string& cell = rows_[row].subItems[item];
  if (cell == text) return;
  cell = std::move(text);
  emitRowChanged(row, item + 1, item + 1);
  if (item != SubProgress) return;
  // Reset, waiting again or done: nothing failed any more.
  if (!Status::IsFailure(cell)) rows_[row].record.reason.clear();
  // Tries again are counted through the download's own statuses only.
  if (cell != Status::WaitForDownload && cell != Status::ErrorInDownload &&
      !Contains(cell, Status::Downloading) && rows_[row].record.retry.tries > 0)
    setRetryWait(row, {});
  Q_EMIT statusChanged(row);
}

void MissionModel::setFailed(int row, std::string_view status, std::string reason) {
  rows_[row].record.reason = std::move(reason);
  emitRowChanged(row, ColProgress, ColProgress);
  // Nothing is moving any more.
  clearSpeedAndEta(row);
  setStatus(row, std::string(status));
}

void MissionModel::clearSpeedAndEta(int row) {
  auto& cells = rows_[row].subItems;
  if (cells[SubSpeed].empty() && cells[SubEta].empty()) return;
  cells[SubSpeed].clear();
  cells[SubEta].clear();
  emitRowChanged(row, ColSpeed, ColEta);
}

void MissionModel::setProgress(int row, std::int32_t percent) {
  if (rows_[row].record.progress == percent) return;
  rows_[row].record.progress = percent;
  emitRowChanged(row, ColProgress, ColProgress);
}

void MissionModel::setRetryWait(int row, RetryWait wait) {
  RetryWait& kept = rows_[row].record.retry;
  const bool changed = kept.waiting != wait.waiting || kept.due != wait.due;
  kept = std::move(wait);
  emitRowChanged(row, ColProgress, ColProgress);
  if (changed) Q_EMIT retryWaitsChanged();
}

void MissionModel::cancelRetryWaits() {
  for (int row = 0; row < count(); ++row)
    if (rows_[row].record.retry.tries > 0) setRetryWait(row, {});
}

void MissionModel::recordChanged(int row) {
  emitRowChanged(row, ColVideo, ColProgress);
}

void MissionModel::removeRowsAt(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return !isValidRow(r); }),
             rows.end());
  if (rows.empty()) return;
  // Contiguous spans from the end, so earlier indices stay valid.
  std::size_t end = rows.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && rows[begin - 1] == rows[begin] - 1) --begin;
    const int first = rows[begin], last = rows[end - 1];
    beginRemoveRows({}, first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
    end = begin;
  }
}

void MissionModel::clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

int MissionModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count();
}

int MissionModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant MissionModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !isValidRow(index.row())) return {};
  const Row& r = rows_[index.row()];
  if (role == ProgressRole) return r.record.progress;
  if (role == FailedRole) return Status::IsFailure(r.subItems[SubProgress]);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  if (index.column() == ColVideo) return toQ(r.caption);
  if (role == Qt::ToolTipRole && index.column() == ColProgress && r.record.retry.waiting)
    return toQ(RetryTooltip(r.record.retry));
  if (role == Qt::ToolTipRole && index.column() == ColProgress && !r.record.reason.empty())
    return toQ(r.record.reason);
  return toQ(r.subItems[index.column() - 1]);
}

QVariant MissionModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumns[section].caption);
  return {};
}

Qt::ItemFlags MissionModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int MissionModel::columnWidth(int column) {
  return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

void MissionModel::emitRowChanged(int row, int firstColumn, int lastColumn) {
  Q_EMIT dataChanged(index(row, firstColumn), index(row, lastColumn));
}

}  // namespace quillmarsh
