#pragma once
// The mission list: one row per mission, each row owning its record.
// Rows are addressed by zero-based index; only the user-interface thread
// touches the model.

#include <QAbstractTableModel>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "missions/TLsvData.h"

namespace quillmarsh {

// Sub-items of a row, as the list view numbers them (column - 1).
enum SubItem { SubSize = 0, SubSpeed = 1, SubEta = 2, SubUrl = 3, SubProgress = 4 };

// Columns of the list view.
enum MissionColumn { ColVideo = 0, ColSize, ColSpeed, ColEta, ColUrl, ColProgress, ColumnCount };

class MissionModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // The raw percentage of a row, for the progress delegate.
  static constexpr int ProgressRole = Qt::UserRole + 1;
  // True while the row shows that its download or conversion failed.
  static constexpr int FailedRole = Qt::UserRole + 2;

  explicit MissionModel(QObject* parent = nullptr);

  // Appends a row and returns its index.
  int addLsvItem(const std::string& url, const std::string& status, std::int32_t progress,
                 const std::string& size, const std::string& videoName, const std::string& fileName,
                 bool doConvert, const std::string& format, const std::string& priority);
  // True when some row's URL cell equals `url` byte for byte.
  bool urlExists(std::string_view url) const;

  int count() const { return static_cast<int>(rows_.size()); }
  bool isValidRow(int row) const { return row >= 0 && row < count(); }

  const std::string& caption(int row) const { return rows_[row].caption; }
  // How a message names the mission: its title, or, while the caption is
  // still the placeholder made from the address, the whole address.
  const std::string& titleOrUrl(int row) const;
  void setCaption(int row, std::string text);
  const std::string& subItem(int row, SubItem item) const { return rows_[row].subItems[item]; }
  void setSubItem(int row, SubItem item, std::string text);
  // Empties the Speed and ETA cells (work on the row has ended or paused).
  void clearSpeedAndEta(int row);
  const std::string& status(int row) const { return subItem(row, SubProgress); }
  // Any status that is no failure also drops the row's failure reason.
  void setStatus(int row, std::string text) { setSubItem(row, SubProgress, std::move(text)); }
  // Shows a failure ("[Error in download]", "[Error in convert]") and why
  // it happened, which is the Progress cell's tooltip.
  void setFailed(int row, std::string_view status, std::string reason);
  const std::string& reason(int row) const { return rows_[row].record.reason; }
  const std::string& url(int row) const { return subItem(row, SubUrl); }

  const TLsvData& record(int row) const { return rows_[row].record; }
  // Changing the record through this reference does not repaint; call
  // recordChanged(row) afterwards.
  TLsvData& record(int row) { return rows_[row].record; }
  void setProgress(int row, std::int32_t percent);
  // Lets the row wait to be tried again (or forgets that it does, with an
  // empty wait); its tooltip tells when. A status other than waiting,
  // downloading or failing in download forgets it too.
  void setRetryWait(int row, RetryWait wait);
  // Stop: no row waits to be tried again; each waits as usual.
  void cancelRetryWaits();
  void recordChanged(int row);

  // Removes the given rows (any order, duplicates allowed) with their records.
  void removeRowsAt(std::vector<int> rows);
  void clear();

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static int columnWidth(int column);

 Q_SIGNALS:
  // A row's status text became a different text (not when a row is added).
  void statusChanged(int row);
  // A row began or ended waiting to be tried again.
  void retryWaitsChanged();

 private:
  struct Row {
    explicit Row(TLsvData r) : record(std::move(r)) {}
    std::string caption;
    std::array<std::string, 5> subItems;
    TLsvData record;
  };
  void emitRowChanged(int row, int firstColumn, int lastColumn);

  std::vector<Row> rows_;
};

}  // namespace quillmarsh
