#include "app/Mainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>

#include "app/AboutDialog.h"
#include "app/Analogform.h"
#include "app/Drivesettingdialog.h"
#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Krdirdlg.h"
#include "app/Isosettingdialog.h"
#include "app/Listtexts.h"
#include "app/Pluginsettingdialog.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "app/Tocdialog.h"
#include "app/Tocsettingdialog.h"
#include "app/Tracklistfile.h"

namespace fs = std::filesystem;

namespace {

// An error that escapes an action is shown, as the message loop shows what reaches it.
template <typename F>
void Guarded(QWidget* owner, F&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    QMessageBox::critical(owner, Text(txt::kProgramTitle), UnexpectedErrorText(e));
  }
}

template <typename Dialog>
void ShowModal(Dialog* dialog) {
  if (dialog) dialog->exec();
}

}  // namespace

TQnlMainFrm::TQnlMainFrm(QWidget* parent)
    : QMainWindow(parent), Locations{GetSettingsFolder(), GetProgramFolder()} {
  setWindowTitle(Text(txt::kMainCaption));
  setFont(FormFont());
  CreateActions();
  CreateMenus();
  CreateControls();
  SetDefaultSettings();
  FillDriveList();
  LoadSettings();
  const fs::path help = Locations.ProgramFolder / txt::kHelpFile;
  std::error_code ec;
  HelpFile = fs::is_regular_file(help, ec) ? help.string() : std::string();
  ToolAnalog->setEnabled(false);
  ChooseTrackListToLoad = [this](const std::string& dir) { return AskTrackListFile(dir); };
}

void TQnlMainFrm::CreateActions() {
  const auto action = [this](QAction*& slot, const char* caption, auto handler) {
    slot = new QAction(Text(caption), this);
    connect(slot, &QAction::triggered, this, [this, handler] { Guarded(this, handler); });
  };
  action(FileLoadList, txt::kFileLoadList, [this] { FileLoadListExecute(); });
  action(FileExit, txt::kFileExit, [this] { close(); });
  action(SettingsDrive, txt::kSettingsDrive, [] { ShowModal(DrvSettingDlg); });
  action(SettingsToc, txt::kSettingsToc, [] { ShowModal(TocSettingDlg); });
  action(SettingsFilesystem, txt::kSettingsFilesystem, [] { ShowModal(IsoSettingDlg); });
  action(SettingsPlugin, txt::kSettingsPlugin, [] { ShowModal(PluginSettingDlg); });
  action(ToolViewer, txt::kToolViewer, [] {});
  action(ToolAnalog, txt::kToolAnalog, [] {
    AnalogFrm->setWindowModality(Qt::ApplicationModal);
    AnalogFrm->show();
  });
  action(ToolDamyToc, txt::kToolDamyToc, [] {});
  action(ToolQuickErase, txt::kToolQuickErase, [] {});
  action(ToolPrepare, txt::kToolPrepare, [this] { ToolPrepareExecute(); });
  action(HelpContents, txt::kHelpContents, [this] { HelpExecute(); });
  action(HelpKeyword, txt::kHelpKeyword, [this] { HelpExecute(); });
  action(HelpAbout, txt::kHelpAbout, [] { ShowModal(AboutBox); });
  // Tools that have no handler are shown disabled.
  for (QAction* idle : {ToolViewer, ToolDamyToc, ToolQuickErase}) idle->setEnabled(false);
}

void TQnlMainFrm::CreateMenus() {
  QMenu* file = menuBar()->addMenu(Text(txt::kMenuFile));
  file->addActions({FileLoadList, FileExit});
  QMenu* settings = menuBar()->addMenu(Text(txt::kMenuSettings));
  settings->addActions({SettingsDrive, SettingsToc, SettingsFilesystem, SettingsPlugin});
  QMenu* tool = menuBar()->addMenu(Text(txt::kMenuTool));
  tool->addActions({ToolViewer, ToolAnalog, ToolDamyToc, ToolQuickErase, ToolPrepare});
  QMenu* help = menuBar()->addMenu(Text(txt::kMenuHelp));
  help->addActions({HelpContents, HelpKeyword, HelpAbout});
}

void TQnlMainFrm::CreateControls() {
  auto* central = new QWidget(this);
  DrvCmb = new QComboBox(central);
  DrvCmb->setEditable(false);
  DrvCmb->setFont(FixedFont());
  DrvCmb->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  Button1 = new QPushButton(Text(txt::kStartButton), central);
  Button1->setDefault(true);
  CheckBox1 = new QCheckBox(Text(txt::kWizardCheck), central);
  CheckBox1->setEnabled(false);
  auto* row = new QHBoxLayout;
  row->addWidget(DrvCmb, 1);
  row->addWidget(Button1);
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(row);
  layout->addWidget(CheckBox1);
  layout->addStretch();
  setCentralWidget(central);
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button1Click(); }); });
  setMinimumWidth(399);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TQnlMainFrm::FillDriveList() {
  DrvCmb->clear();
  const uint32_t count = CdRoms.Enumerate(4, false);
  for (uint32_t i = 0; i < count; ++i) {
    const TKrCdRom* drive = CdRoms.GetCdRom(i);
    if (drive == nullptr) break;
    DrvCmb->addItem(QString::fromStdString(DriveLineText(*drive, CdRoms.IsAspiAvailable(i))));
  }
  if (DrvCmb->count() > 0) DrvCmb->setCurrentIndex(0);
}

void TQnlMainFrm::LoadSettings() {
  const int32_t selection = LoadSettingsFiles(Locations, DrvCmb->count());
  if (selection >= 0) DrvCmb->setCurrentIndex(selection);
}

void TQnlMainFrm::SaveSettings() { SaveSettingsFiles(Locations, DrvCmb->currentIndex()); }

void TQnlMainFrm::closeEvent(QCloseEvent* event) {
  SaveSettings();
  QMainWindow::closeEvent(event);
}

bool TQnlMainFrm::UseSelectedDrive() {
  // Without a drive the engines would run on a drive never assigned to them.
  if (SelectDrive(DrvCmb->currentIndex())) return true;
  QApplication::beep();
  return false;
}

bool TQnlMainFrm::SaveTrackList(const std::string& fileName) { return ::SaveTrackList(fileName); }

bool TQnlMainFrm::LoadTrackList(const std::string& fileName) {
  // The disc end is read from the drive of the drive box, wherever another window (the
  // speed detection) left the shared drive utility.
  return ::LoadTrackList(fileName, /*driveSelected=*/SelectDrive(DrvCmb->currentIndex()));
}

bool TQnlMainFrm::RipAudioTrack(size_t trackIndex, const std::string& wavFileName) {
  LastOutcome = woFailed;
  if (!UseSelectedDrive() || trackIndex >= CdTracks.size()) return false;
  AudioRipper.DeEmph = DeEmph ? 1 : 0;
  AudioRipper.Volume = Volume;
  AudioRipper.FileName = wavFileName;
  AudioRipper.SetProgressView(ProgressDlg);
  LastOutcome = ProgressDlg->Run([trackIndex] { return AudioRipper.StartRip(CdTracks[trackIndex]); });
  return LastOutcome == woDone;
}

bool TQnlMainFrm::ReadFileSystem(size_t trackIndex) {
  if (!UseSelectedDrive() || trackIndex >= CdTracks.size()) return false;
  IsoExtracter.ReadSvd = ReadSvd;
  IsoExtracter.ReadTable = ReadTable;
  IsoExtracter.LittleEndian = LittleEndian;
  IsoExtracter.SetProgressView(ProgressDlg);
  return IsoExtracter.ReadVolume(CdTracks[trackIndex]);
}

bool TQnlMainFrm::ExtractFiles(size_t trackIndex, const std::string& folder) {
  LastOutcome = woFailed;
  if (!UseSelectedDrive() || trackIndex >= CdTracks.size()) return false;
  TIsoExtracter& e = IsoExtracter;
  e.LittleEndian = LittleEndian, e.ListOnly = ListOnly, e.DetectDir = DetectDir;
  e.DetectDirInReading = DetectDirInReading, e.UsePlugin = UsePlugin, e.UsePluginInReading = UsePluginInReading;
  e.TailZeroMode = TailZeroMode, e.TailZeroVal = TailZeroVal, e.DivAtErr = DivAtErr, e.DelTailZero = DelTailZero;
  e.Folder = folder;
  e.SetProgressView(ProgressDlg);
  LastOutcome = ProgressDlg->Run([trackIndex] { return IsoExtracter.ExtractFiles(CdTracks[trackIndex]); });
  return LastOutcome == woDone;
}

void TQnlMainFrm::Button1Click() {
  if (!UseSelectedDrive()) return;
  if (!NoDialog && TocSettingDlg->exec() != QDialog::Accepted) return;
  TocDetector.Options = TTocOptions{Manual, Leadout, FastSearch, LastAddress, MaxLeadout};
  TocDetector.SetProgressView(ProgressDlg);
  const uint32_t found = TocDetector.Detect();
  // The list alone would show a disc without the tracks the failed search was to find.
  if (TocDetector.GetFailure() != fcNone) {
    QApplication::beep();
    QMessageBox::warning(this, Text(txt::kMainCaption),
                         WithReason(Text(txt::kMsgSearchFailed), TocDetector.GetFailure()));
  }
  if (found != 0) TocDlg->exec();
}

void TQnlMainFrm::FileLoadListExecute() {
  SelectDrive(DrvCmb->currentIndex());  // a list can be loaded, looked at and saved without a drive
  const std::string file = ChooseTrackListToLoad(TrackDir);
  if (file.empty()) return;
  TrackDir = fs::path(file).parent_path().string();
  // The list is cleared before the file is read: a file that cannot be read must say so.
  if (!LoadTrackList(file)) {
    QApplication::beep();
    QMessageBox::critical(this, Text(txt::kMainCaption), Text(txt::kTrackListLoadError));
  }
  if (!CdTracks.empty()) TocDlg->exec();
}

std::string TQnlMainFrm::AskTrackListFile(const std::string& initialDir) {
  return AskOpenFile(this, {initialDir, "", txt::kTrackListFilterMain, txt::kTrackListExtension});
}

void TQnlMainFrm::ToolPrepareExecute() {
  if (UseSelectedDrive()) DriveUtility.SpinUp(0);
}

void TQnlMainFrm::HelpExecute() {
  if (!HelpFile.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(HelpFile)));
}
