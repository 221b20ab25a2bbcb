#include "app/Analogsyncdialog.h"

#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Analogradio.h"
#include "app/Formkit.h"
#include "app/Texts.h"

TASyncDlg* ASyncDlg = nullptr;

TASyncDlg::TASyncDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", Text(txt::kAnalogCancelImage));
  ContinueRb = AddRadio(this, ChoiceLayout, "ContinueRb", Text(txt::kAnalogFromHere));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb", Text(txt::kAnalogSpecifySector));
}

void TASyncDlg::FormShow() {
  MessageLbl->setText(QString::asprintf(txt::kAnalogSyncFound, Offset));
  ContinueRb->setChecked(true);
  ViewOffset = Offset;
  TAnalogViewDlg::FormShow();
}

void TASyncDlg::OkBtnClick() {
  if (SpecifyRb->isChecked()) {
    Offset = ViewOffset;
    done(3);
  } else {
    done(ContinueRb->isChecked() ? 2 : 1);
  }
}
