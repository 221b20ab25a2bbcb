#include "app/Analognosyncdialog.h"

#include <QLabel>

#include "app/Analogradio.h"

TANoSyncDlg* ANoSyncDlg = nullptr;

TANoSyncDlg::TANoSyncDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  MessageLbl->setText(QStringLiteral("同期ヘッダを発見できませんでした"));
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", QStringLiteral("イメージの作成をキャンセルする"));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb",
                       QStringLiteral("セクタ位置を指定して強引にスクランブル解除を行う"));
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
