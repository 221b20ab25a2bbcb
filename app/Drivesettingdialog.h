#pragma once
// The reading options of every listed drive, one tab per drive, edited on a working copy
// that reaches the drives' settings only through Apply or OK. Also detects the read
// speeds of the drive on the current tab.
#include <QDialog>
#include <array>
#include <cstdint>
#include <string>

#include "drive/Krcdrom.h"
#include "drive/Krcdroms.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabBar;
class QTabWidget;

class TDrvSettingDlg : public QDialog {
 public:
  static constexpr uint32_t kMaxDetectedSpeeds = 72;

  explicit TDrvSettingDlg(QWidget* parent = nullptr);

  void FormShow();
  void DrvTabChanging();
  void DrvTabChange();
  void ApplyBtnClick();
  void OkBtnClick();
  void SpdBtnClick();
  void RetryCountCkClick();
  void SoftEccCkClick();
  void StoreSettings();
  void FillSpeedCombo(int index);

  // "40x ( 7056KB )": the multiple of 176.4 kB/s, rounded up from a tenth on.
  static std::string SpeedItemText(uint32_t speed);

  const TDriveSetting& GetWorkSettings(int index) const { return WorkSettings.at(static_cast<size_t>(index)); }

  QTabBar* DrvTab = nullptr;
  QLabel* VendorLbl = nullptr;
  QLabel* ProductLbl = nullptr;
  QLabel* RevLbl = nullptr;
  QLabel* AspiLbl = nullptr;
  QCheckBox* SptiCk = nullptr;
  QPushButton* CapBtn = nullptr;
  QTabWidget* Pages = nullptr;
  QCheckBox* BcdCk = nullptr;
  QComboBox* SubQCmdCmb = nullptr;
  QCheckBox* SpeedCk = nullptr;
  QComboBox* SpeedCmb = nullptr;
  QPushButton* SpdBtn = nullptr;
  QSpinBox* IntervalEdit = nullptr;
  QComboBox* ReadCmdCmb = nullptr;
  QSpinBox* DataReadAtOnceEdit = nullptr;
  QComboBox* ExtCmdCmb = nullptr;
  QSpinBox* Edit1 = nullptr;
  QCheckBox* ReadAsAudioCk = nullptr;
  QComboBox* DaeCmdCmb = nullptr;
  QLabel* CdgLbl = nullptr;
  QComboBox* CdgCmb = nullptr;
  QSpinBox* ReadAtOnceEdit = nullptr;
  QSpinBox* OverlapEdit = nullptr;
  QSpinBox* CompareEdit = nullptr;
  QSpinBox* OffsetEdit = nullptr;
  QCheckBox* FastErrorSkipCk = nullptr;
  QCheckBox* TransferBlockCk = nullptr;
  QCheckBox* RetryCountCk = nullptr;
  QSpinBox* RetryCountEdit = nullptr;
  QCheckBox* SoftEccCk = nullptr;
  QSpinBox* SoftEccEdit = nullptr;
  QCheckBox* ForceTypeCk = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* ApplyBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* CreateInformation();
  QWidget* CreateGeneralPage();
  QWidget* CreateDataPage();
  QWidget* CreateAudioPage();
  QWidget* CreateErrorPage();
  void ConnectControls();
  void LoadControls(const TDriveSetting& s);
  void StoreControls(TDriveSetting& s) const;
  static bool IsSettingsIndex(int index) { return index >= 0 && index < static_cast<int>(kMaxCdRoms); }

  std::array<TDriveSetting, kMaxCdRoms> WorkSettings{};
  // The tab whose controls are shown: QTabBar tells of a change only after it happened.
  int ShownTab = -1;
};
