#include "app/Analogsynclostdialog.h"

#include <QLabel>

#include "app/Analogradio.h"

TASyncLostDlg* ASyncLostDlg = nullptr;

TASyncLostDlg::TASyncLostDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", QStringLiteral("イメージの作成を中断する"));
  ContinueRb = AddRadio(this, ChoiceLayout, "ContinueRb", QStringLiteral("強引にスクランブルを解除を行って続行する"));
  NoScrambleRb = AddRadio(this, ChoiceLayout, "NoScrambleRb", QStringLiteral("スクランブル解除を行わずに続行する"));
  SearchRb = AddRadio(this, ChoiceLayout, "SearchRb", QStringLiteral("次の同期ヘッダを検索する"));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb", QStringLiteral("セクタ位置を指定する"));
  CancelRb->setChecked(true);
}

void TASyncLostDlg::FormShow() {
  MessageLbl->setText(QString::asprintf("オフセット 0x%.8x で同期ヘッダを見失いました", Offset));
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
