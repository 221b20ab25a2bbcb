#pragma once
// Asked when a sector of the recording has no sync header: stop, go on descrambling
// by force or as read, search the next sync header, or go on at a chosen offset.
// The choice is kept from one showing to the next.
#include "app/Analogviewdialog.h"

class QRadioButton;

class TASyncLostDlg : public TAnalogViewDlg {
  Q_OBJECT

 public:
  explicit TASyncLostDlg(QWidget* parent = nullptr);

  QRadioButton* CancelRb;
  QRadioButton* ContinueRb;
  QRadioButton* NoScrambleRb;
  QRadioButton* SearchRb;
  QRadioButton* SpecifyRb;

  void OkBtnClick() override;

 protected:
  void FormShow() override;
};

extern TASyncLostDlg* ASyncLostDlg;
