#pragma once
// The main window: the drive box, Start and the menus. It loads the settings files when
// it is made and saves them when it closes; every disc operation first selects the drive
// shown in the drive box and copies the options it needs into the engine.
#include <QMainWindow>
#include <functional>
#include <string>

#include "app/Settingsfiles.h"
#include "worker/Progresscodes.h"

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;

class TQnlMainFrm : public QMainWindow {
 public:
  explicit TQnlMainFrm(QWidget* parent = nullptr);

  void FillDriveList();
  void LoadSettings();
  void SaveSettings();
  // Selects the drive of the drive box; false (with a beep) when there is none.
  bool UseSelectedDrive();
  bool SaveTrackList(const std::string& fileName);
  bool LoadTrackList(const std::string& fileName);
  // Hand one track of CdTracks to an engine with the options it needs; true when the
  // engine's operation succeeded.
  bool RipAudioTrack(size_t trackIndex, const std::string& wavFileName);
  bool ReadFileSystem(size_t trackIndex);
  bool ExtractFiles(size_t trackIndex, const std::string& folder);
  // How the last rip or scan ended: a run the user cancelled is no failure to report.
  TWorkerOutcome GetLastOutcome() const { return LastOutcome; }

  void Button1Click();
  void FileLoadListExecute();
  void ToolPrepareExecute();
  void HelpExecute();

  // The track-list file the user picks to load; empty when cancelled. The main window
  // asks with a file dialog; tests answer instead.
  std::function<std::string(const std::string& initialDir)> ChooseTrackListToLoad;

  QComboBox* DrvCmb = nullptr;
  QPushButton* Button1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QAction* FileLoadList = nullptr;
  QAction* FileExit = nullptr;
  QAction* SettingsDrive = nullptr;
  QAction* SettingsToc = nullptr;
  QAction* SettingsFilesystem = nullptr;
  QAction* SettingsPlugin = nullptr;
  QAction* ToolViewer = nullptr;
  QAction* ToolAnalog = nullptr;
  QAction* ToolDamyToc = nullptr;
  QAction* ToolQuickErase = nullptr;
  QAction* ToolPrepare = nullptr;
  QAction* HelpContents = nullptr;
  QAction* HelpKeyword = nullptr;
  QAction* HelpAbout = nullptr;

  const std::string& GetHelpFile() const { return HelpFile; }

 protected:
  // FormClose: the settings are saved whenever the window closes.
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateControls();
  std::string AskTrackListFile(const std::string& initialDir);

  TSettingsLocations Locations;
  std::string HelpFile;
  TWorkerOutcome LastOutcome = woFailed;
};
