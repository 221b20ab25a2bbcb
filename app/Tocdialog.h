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
#include "recovery/Extractjob.h"

class QAction;
class QPushButton;
class QToolButton;
class QTreeWidget;

class TTocDlg : public QDialog {
 public:
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
  // An extraction job whose questions and messages are this window's.
  TTrackExtractJob NewJob();
  bool AskScan(const TIsoExtracter::TDamage* lacking);
  void ShowViewer(std::string& folder);

  TKrDirectoryDialog Picker;
};
