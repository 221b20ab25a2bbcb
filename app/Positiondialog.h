#pragma once
// Corrects one track of the track list before extraction: its start and end (as frame
// addresses and as minute:second:frame), its data type and its file system. OK writes
// them into the track list; Cancel leaves it alone.
#include <QDialog>
#include <cstdint>

#include "sector/Address.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

class TTrackDlg : public QDialog {
 public:
  explicit TTrackDlg(QWidget* parent = nullptr);

  // The caller guarantees 0 <= index < CdTracks.size().
  void LoadTrack(int32_t index);
  void FormShow();
  void OkBtnClick();
  void FromEditChange();
  void FromMSFEditChange();
  void ToEditChange();
  void ToMSFEditChange();
  void TrackStartUdClick(bool up);
  void TrackEndUdClick(bool up);
  void ClampStart();
  void ClampEnd();
  void UpdateLength();

  int64_t GetStartAddress() const { return StartAddress; }
  int64_t GetEndAddress() const { return EndAddress; }

  static constexpr int64_t MinAddress = kLbaOffset;  // 00:02:00
  static constexpr int64_t MaxAddress = 432234;  // 96:03:09

  QComboBox* TypeCmb = nullptr;
  QLineEdit* FromEdit = nullptr;
  QLineEdit* FromMSFEdit = nullptr;
  QToolButton* TrackStartUp = nullptr;
  QToolButton* TrackStartDown = nullptr;
  QLineEdit* ToEdit = nullptr;
  QLineEdit* ToMSFEdit = nullptr;
  QToolButton* TrackEndUp = nullptr;
  QToolButton* TrackEndDown = nullptr;
  QLineEdit* LengthEdit = nullptr;
  QLineEdit* LengthMSFEdit = nullptr;
  QComboBox* SysCmb = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  // Up and down in the start and end edits click their arrows.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectControls();
  void ShowStart();
  void ShowEnd();

  int32_t TrackIndex = 0;
  int64_t StartAddress = 0;
  int64_t EndAddress = 0;
};
