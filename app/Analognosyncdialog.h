#pragma once
// Asked when the recording holds no sync header at all: cancel, or descramble by
// force from a chosen offset.
#include "app/Analogviewdialog.h"

class QRadioButton;

class TANoSyncDlg : public TAnalogViewDlg {
  Q_OBJECT

 public:
  explicit TANoSyncDlg(QWidget* parent = nullptr);

  QRadioButton* CancelRb;
  QRadioButton* SpecifyRb;

  void OkBtnClick() override;

 protected:
  void FormShow() override;
};

extern TANoSyncDlg* ANoSyncDlg;
