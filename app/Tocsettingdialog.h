#pragma once
// Options of the track-list detection: ignore the TOC (manual search), search beyond the
// TOC's lead-out, the kind of search, where it ends, and whether Start shows this window.
// Copies the options in when shown and back on OK; Cancel changes nothing.
#include <QDialog>
#include <cstdint>

#include "sector/Address.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

class TTocSettingDlg : public QDialog {
 public:
  static constexpr int64_t kMaxLastAddress = kLastFrame;

  explicit TTocSettingDlg(QWidget* parent = nullptr);

  void FormShow();
  void OkBtnClick();
  void ShowLastAddress();
  void LastAdrMSFEditChange();
  void LastAdrUdClick(bool up);
  void UpdateSearchControls();
  void UpdateEndConditionControls();
  int64_t GetWorkLastAddress() const { return WorkLastAddress; }


  QCheckBox* ManualCk = nullptr;
  QCheckBox* LeadoutCk = nullptr;
  QGroupBox* SearchGrp = nullptr;
  QRadioButton* SearchFastRb = nullptr;
  QRadioButton* SearchAllRb = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* LastAdrMSFEdit = nullptr;
  QToolButton* LastAdrUpBtn = nullptr;
  QToolButton* LastAdrDownBtn = nullptr;
  QLabel* MaxLeadoutLbl = nullptr;
  QSpinBox* MaxLeadoutEdit = nullptr;
  QLabel* Label2 = nullptr;
  QCheckBox* NoDlgCk = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectControls();
  int64_t WorkLastAddress = 0;
};
