#include "app/Analogsynclostdialog.h"

#include <QLabel>

#include "app/Analogradio.h"
#include "app/Formkit.h"
#include "app/Texts.h"

TASyncLostDlg* ASyncLostDlg = nullptr;

TASyncLostDlg::TASyncLostDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", Text(txt::kAnalogAbortImage));
  ContinueRb = AddRadio(this, ChoiceLayout, "ContinueRb", Text(txt::kAnalogForceContinue));
  NoScrambleRb = AddRadio(this, ChoiceLayout, "NoScrambleRb", Text(txt::kAnalogPlainContinue));
  SearchRb = AddRadio(this, ChoiceLayout, "SearchRb", Text(txt::kAnalogNextSync));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb", Text(txt::kAnalogSpecifySector));
  CancelRb->setChecked(true);
}

void TASyncLostDlg::FormShow() {
  MessageLbl->setText(QString::asprintf(txt::kAnalogSyncLost, Offset));
  ViewOffset = Offset;
  TAnalogViewDlg::FormShow();
}

void TASyncLostDlg::OkBtnClick() {
  if (SpecifyRb->isChecked()) {
    Offset = ViewOffset;
    done(5);
  } else if (SearchRb->isChecked()) {
    done(4);
  } else if (NoScrambleRb->isChecked()) {
    done(3);
  } else {
    done(ContinueRb->isChecked() ? 2 : 1);
  }
}
