#pragma once
// Asked when the recording holds a sync header: image from there, from a chosen
// offset, or not at all.
#include "app/Analogviewdialog.h"

class QRadioButton;

class TASyncDlg : public TAnalogViewDlg {
  Q_OBJECT

 public:
  explicit TASyncDlg(QWidget* parent = nullptr);

  QRadioButton* CancelRb;
  QRadioButton* ContinueRb;
  QRadioButton* SpecifyRb;

  void OkBtnClick() override;

 protected:
  void FormShow() override;
};

extern TASyncDlg* ASyncDlg;
