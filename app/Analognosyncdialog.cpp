#include "app/Analognosyncdialog.h"

#include <QLabel>

#include "app/Analogradio.h"
#include "app/Formkit.h"
#include "app/Texts.h"

TANoSyncDlg* ANoSyncDlg = nullptr;

TANoSyncDlg::TANoSyncDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  MessageLbl->setText(Text(txt::kAnalogNoSync));
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", Text(txt::kAnalogCancelImage));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb",
                       Text(txt::kAnalogForceFromSector));
}

void TANoSyncDlg::FormShow() {
  CancelRb->setChecked(true);
  Offset = 0;
  ViewOffset = 0;
  TAnalogViewDlg::FormShow();
}

void TANoSyncDlg::OkBtnClick() {
  if (SpecifyRb->isChecked()) {
    Offset = ViewOffset;
    done(2);
  } else {
    done(1);
  }
}
