#pragma once
// The track list of the current disc, one checkable line per track. From here the user
// edits a track, saves or loads the list, and extracts the selected track or every
// checked one: audio tracks become WAV files, ISO 9660 tracks a browsable volume or the
// files of a recovery scan. A failed or refused extraction is always told, with its
// reason; one the user cancelled is not. What a scan or a volume read could not read is
// told once after it.
#include <QDialog>
#include <string>

#include "app/Krdirdlg.h"
#include "sector/Cdtrack.h"
#include "worker/Progresscodes.h"

class QAction;
class QPushButton;
class QToolButton;
class QTreeWidget;

class TTocDlg : public QDialog {
 public:
  // How a track's file system and data type let it be extracted.
  enum class TTrackKind { Audio, Data, TypeMismatch, NoFileSystem };
  static TTrackKind Classify(const TCdTrack& track);

  explicit TTocDlg(QWidget* parent = nullptr);

  // Fills the list from CdTracks, every line unchecked.
  void FormShow();
  void FileSaveListExecute();
  void FileLoadListExecute();
  void CheckAllExecute();
  void UncheckAllExecute();
  void ExtractSingleExecute();
  void ExtractMultiExecute();
  // Opens the track properties of a line and shows the edits after OK.
  void EditTrack(int index);

  // The first free "<folder>/Track03.wav", "Track03_01.wav", ... (or, for a data track,
  // a folder "Track03", "Track03_01", ...): neither a file nor a folder of that name exists.
  static std::string FreeTrackName(const std::string& folder, int trackNo, const char* extension);

  QTreeWidget* TrackList = nullptr;
  QAction* FileSaveList = nullptr;
  QAction* FileLoadList = nullptr;
  QAction* CheckAll = nullptr;
  QAction* UncheckAll = nullptr;
  QAction* ExtractSingle = nullptr;
  QAction* ExtractMulti = nullptr;
  QPushButton* ExtractSingleBtn = nullptr;
  QPushButton* ExtractMultiBtn = nullptr;
  QPushButton* CloseBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateActions();
  void CreateControls();
  void ShowRow(int index);
  // Every text whole, the window as wide as its columns.
  void FitWidth();
  void SetCheckAll(bool checked);
  // The beep and the error box every message of the list comes with.
  void Error(const QString& text);
  bool AskScan();
  // After a volume read that lacks directory sectors: tells what and asks whether to scan.
  // False when nothing was lacking.
  bool AskScanDamaged();
  // How one track's extraction ended: a failure still to be told, or stopped (cancelled
  // by the user, or a failure told already). Either ends a run over the checked tracks.
  enum class TEnd { Extracted, Failed, Stopped };
  static TEnd EndOf(TWorkerOutcome outcome);
  TEnd Rip(size_t index, const std::string& wav);
  // Extracts data track `index`. `folder` empty: asks for one.
  TEnd ExtractData(size_t index, std::string folder, bool multi);
  TEnd RunScan(size_t index, const std::string& folder);
  void ShowViewer(std::string& folder);
  // True when the track can be read at all; otherwise tells the user.
  bool CheckRange(const TCdTrack& track);

  TKrDirectoryDialog Picker;
};
