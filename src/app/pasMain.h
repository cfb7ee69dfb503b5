#pragma once
// The main window: the mission list and the controller of both pipelines.

#include <QWidget>
#include <memory>
#include <string>

#include "missions/MissionHost.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTableView;

namespace quillmarsh {

class IniFile;
class LinkLabel;
class SkinnedFrame;

class TfrmMain : public QWidget, public MissionHost {
  Q_OBJECT
 public:
  TfrmMain();
  ~TfrmMain() override;

  // Controls.
  SkinnedFrame* sufMain;
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

  // MissionHost.
  MissionModel& Missions() override { return *missions_; }
  PipelineState& Pipeline() override { return pipeline_; }
  std::string ProgramDir() const override;
  std::string OutputDir() const override;
  void WriteReport(const std::string& text) override;
  void WriteLog(const std::string& text) override;
  int DownloadLimit() const override;
  int ConvertLimit() const override;
  void SetDownloadingButtons() override;
  void RepaintList() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildControls();
  // Runs a user action, showing a refused settings write in an error box.
  void guarded(const std::function<void()>& action);

  MissionModel* missions_;
  PipelineState pipeline_;
  std::unique_ptr<IniFile> ini_;
  bool closing_ = false;
  // Saving before the stored missions are loaded would overwrite them
  // with an empty list.
  bool missionsLoaded_ = false;
};

// Window placement: (screen - window - extra) div 2, truncating toward zero.
int CentredPosition(int screenSize, int windowSize, int extra = 0);

}  // namespace quillmarsh
