#pragma once
// The audio options (de-emphasis, volume) and the ISO 9660 options of the volume read
// and the recovery scan. Copies the options in when shown and back on OK; Cancel changes
// nothing.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

class TIsoSettingDlg : public QDialog {
 public:
  static constexpr int kZeroGivenBytes = 13;  // "指定 bytes"

  explicit TIsoSettingDlg(QWidget* parent = nullptr);

  void FormShow();
  void OkBtnClick();
  void IsoPvdCkClick();
  void IsoDetectDirCkClick();
  void IsoUsePluginCkClick();
  void IsoZeroCmbChange();

  QTabWidget* Pages = nullptr;
  QCheckBox* DeEmphCk = nullptr;
  QSpinBox* VolEdit = nullptr;
  QCheckBox* IsoPvdCk = nullptr;
  QCheckBox* IsoSvdCk = nullptr;
  QCheckBox* IsoPathTableCk = nullptr;
  QCheckBox* IsoLittleCk = nullptr;
  QCheckBox* IsoTestCk = nullptr;
  QCheckBox* IsoDetectDirCk = nullptr;
  QCheckBox* IsoDetectDirInReadCk = nullptr;
  QCheckBox* IsoUsePluginCk = nullptr;
  QCheckBox* IsoUsePluginInReadCk = nullptr;
  QLabel* IsoZeroLbl = nullptr;
  QComboBox* IsoZeroCmb = nullptr;
  QSpinBox* IsoZeroEdit = nullptr;
  QCheckBox* IsoErrDivCk = nullptr;
  QCheckBox* IsoTailZeroCk = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* CreateCddaPage();
  QWidget* CreateIsoPage();
  void ConnectControls();
  void ApplyZeroRule();
};
