#pragma once
// The main window: the mission list and the controller of both pipelines.
//
// The window's original controls and handlers keep their designer names:
//   frm  a window (TfrmMain, frmAbout)      lsv  the list view (lsvList)
//   suf  the skinned frame (sufMain)        sui  a skinned-control handler
//   ppm  a popup menu (ppmTray)                  ("suitempbtnStopClick")
//   btn button, edt edit box, chk check box, cmb drop-down list, lbl label,
//   ulb link label, spe spin box, mem multi-line text (the other windows)
//   A trailing "1" (GroupBox1, Show1, Exit1) is the designer's numbering of
//   the first control of its kind; "<control><Event>" names a handler
//   (btnGoClick: btnGo was clicked).
// Everything added since follows the project's own style: lowerCamel
// members (rowMenu, retryAction) and verb-first methods (ShowRowMenu).

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "missions/HandOffMessage.h"
#include "missions/MissionHost.h"
#include "missions/UrlBatch.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QModelIndex;
class QPoint;
class QPushButton;
class QTableView;

namespace quillmarsh {

class DesktopNotifier;
class DownloadHistory;
class IniFile;
class LinkLabel;
class ScrollCanvas;
class SignInAsker;
class SkinnedFrame;

class TfrmMain : public QWidget, public MissionHost {
  Q_OBJECT
 public:
  TfrmMain();
  ~TfrmMain() override;

  // Controls.
  SkinnedFrame* sufMain;
  // Holds every control below the title bar; scrolls on a small screen.
  ScrollCanvas* scroller;
  QGroupBox* GroupBox1;
  QLabel* lblUrl;
  QLineEdit* edtUrl;
  QPushButton* btnPaste;
  QLabel* lblOutput;
  LinkLabel* lblOutDir;
  QPushButton* btnOutput;
  QCheckBox* chkConvert;
  QComboBox* cmbFormat;
  QLabel* Label3;
  QComboBox* cmbPriority;
  QPushButton* btnGo;
  QTableView* lsvList;
  QPushButton* btnClear;
  QPushButton* btnRemove;
  QPushButton* btnReset;
  QPushButton* btnStop;
  QPushButton* btnAbout;
  QPushButton* btnTest;
  QPushButton* btnLoad;
  QMenu* ppmTray;
  QAction* Show1;
  QAction* Exit1;
  // The list's row menu.
  QMenu* rowMenu;
  QAction* openFileAction;
  QAction* openFolderAction;
  QAction* copyAddressAction;
  QAction* pauseAction;
  QAction* resumeAction;
  QAction* retryAction;
  QAction* removeAction;
  // The menu of the list's empty area.
  QMenu* listMenu;
  QAction* forgetHistoryAction;

  // Start-up.
  void FormCreate();
  void InitMain();
  void InitSettings();
  void LoadConvertOptions();

  // Settings and mission file.
  void LoadSettings();
  void SaveSettings() override;
  void ClearIni();
  IniFile* SettingsFile() const { return ini_.get(); }
  // True once the user confirmed closing (possibly during start-up).
  bool CloseConfirmed() const { return closing_; }

  // Missions.
  int addLsvItem(const std::string& url, const std::string& status, std::int32_t progress,
                 const std::string& size, const std::string& videoName, const std::string& fileName,
                 bool doConvert, const std::string& format, const std::string& priority);
  bool UrlExists(const std::string& url) const;
  void StartDownload() override;
  void StartConvert() override;
  // A list's videos are added once the worker's hand-over is over.
  void ListFound(FoundList list) override;
  // Adds a list's videos with the list mission's choices, asking first
  // when there are more than 25; those already in the list or downloaded
  // before are passed over, with one message.
  void AddListedVideos(FoundList list);
  // Starts the waiting downloads, then the waiting conversions, guarded.
  void StartWaitingWork();
  void closeAllThreads();

  // Handlers.
  void btnGoClick();
  void btnPasteClick();
  void ApplicationEvents1Activate();
  void suitempbtnLoadClick();
  void ImportUrlFile(const QString& fileName);
  void suitempbtnOutputClick();
  void btnResetClick();
  void suitempbtnRemoveClick();
  void suitempbtnClearClick();
  void suitempbtnStopClick();
  void lsvListClick();
  void btnAboutClick();
  void sufMainTitleBarHelpBtnClick();
  void Show1Click() {}
  void Exit1Click();
  void FormCloseQuery(bool& canClose);
  // Log-out, shutdown or Ctrl-C in a terminal: the close that the user
  // confirmed by ending the session. Nothing waits for an answer: a refused
  // save goes to the report and the close goes on.
  void CloseForSignal();

  // Several addresses at once (a pasted or dropped text, links, a dropped
  // text file): one mission each, duplicates refused with one message,
  // the new rows shown, then both schedulers asked once.
  void AddUrlBatch(const std::vector<std::string>& urls);
  // Addresses handed over by another process (`quillmarsh URL...`, the
  // browser's host): as a batch, but duplicates are only counted in the
  // answer (no box pops up over the user's browser); refused once a close
  // has been confirmed.
  HandOffReply AddHandedUrls(const std::vector<std::string>& urls);
  // What is pasted into the URL box (its keys, its menu, the middle
  // button, "Paste URL", plain text dropped on it) is read for addresses:
  // one fills the box, several become missions, none changes nothing.
  void PasteIntoUrlBox(const QString& text);
  // Scrolls the rows first..last into view and selects them.
  void ShowNewRows(int first, int last);

  // The row menu: sets what applies to `row` (and the selection), then
  // the actions' handlers act on it.
  void ShowRowMenu(const QPoint& position);
  // The Menu key and Shift+F10: the menu of the current row, at the row.
  void ShowRowMenuFromKeyboard();
  // The menu of the list's empty area.
  void ShowListMenu(const QPoint& position);
  // The menu of the window itself (its title bar, the list's empty area):
  // "Settings…". OpenSettings shows the settings window (also Ctrl+,).
  void ShowWindowMenu(const QPoint& globalPosition);
  void OpenSettings();
  void PrepareRowMenu(int row);
  void OpenRowFile();
  void OpenRowFolder();
  void CopyRowAddress();
  // Pause ends the selected missions' work and frees their slots; Resume
  // lets them wait again. Space pauses the selection when some of it can
  // pause, else resumes it.
  void PauseSelectedRows();
  void ResumeSelectedRows();
  void PauseOrResumeSelectedRows();
  void RetrySelectedRows();
  void RemoveSelectedRows();
  void OpenDoubleClickedRow(const QModelIndex& index);
  // Remove's rule, for the button, the menu and the Delete key: nothing
  // runs (Busy clear) and a row is selected.
  bool RemoveAllowed() const;
  // The selected rows in list order.
  std::vector<int> SelectedRows() const;

  // A mission finished or failed: tells the desktop while the user looks
  // elsewhere.
  void MissionStatusChanged(int row);

  // The download history: a mission that ends "[Downloaded]" or "[Skip]
  // File Exists" is remembered. An address downloaded before whose file
  // is still there is asked about when added alone, and passed over when
  // added with others.
  void RememberDownload(int row);
  bool DownloadedBefore(const std::string& url) const;
  // True when `url` may be added: not downloaded before, or the user wants
  // it again.
  bool ConfirmDownloadAgain(const std::string& url);
  // Empties the history after asking; the list's menu on its empty area
  // offers it, a settings window may call it too.
  void ForgetDownloadHistory();
  DownloadHistory& History() { return *history_; }

  // MissionHost.
  MissionModel& Missions() override { return *missions_; }
  PipelineState& Pipeline() override { return pipeline_; }
  std::string ProgramDir() const override;
  std::string OutputDir() const override;
  void WriteReport(const std::string& text) override;
  void WriteLog(const std::string& text) override;
  int DownloadLimit() const override;
  int ConvertLimit() const override;
  std::string SpeedLimit() const override;
  void SetDownloadingButtons() override;
  void RepaintList() override;
  std::vector<std::string> SignInArguments(const std::string& url) const override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The confirmed close: save, release the settings file, stop every
  // worker. A refused save asks the user (`mayStayOpen`) whether to close
  // without saving; false when the answer is no and the window stays open.
  // A signal's close (no one to ask) goes on.
  bool SaveAndStop(bool mayStayOpen);
  void buildControls();
  void fitToWindow();
  // Places the list and the buttons below it for the canvas's size.
  void placeWithCanvas(const QSize& canvas);
  void buildRowMenu();
  // Pastes and drops into the URL box; true when the event was taken.
  bool urlBoxEvent(QEvent* event);
  void showUrlBoxMenu(const QPoint& position);
  // Adds the addresses not yet listed with the current choices and shows
  // the new rows.
  UrlBatch addFreshUrls(const std::vector<std::string>& urls);
  // Runs a user action, showing a refused settings write in an error box.
  void guarded(const std::function<void()>& action);
  MissionModel* missions_;
  PipelineState pipeline_;
  std::unique_ptr<IniFile> ini_;
  bool closing_ = false;
  // Saving before the stored missions are loaded would overwrite them
  // with an empty list.
  bool missionsLoaded_ = false;
  DesktopNotifier* notifier_;
  std::unique_ptr<DownloadHistory> history_;
  SignInAsker* signIn_;
  int menuRow_ = -1;
};

}  // namespace quillmarsh
