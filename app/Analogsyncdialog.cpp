#include "app/Analogsyncdialog.h"

#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Analogradio.h"

TASyncDlg* ASyncDlg = nullptr;

TASyncDlg::TASyncDlg(QWidget* parent) : TAnalogViewDlg(parent) {
  CancelRb = AddRadio(this, ChoiceLayout, "CancelRb", QStringLiteral("イメージの作成をキャンセルする"));
  ContinueRb = AddRadio(this, ChoiceLayout, "ContinueRb", QStringLiteral("この位置からイメージを作成する"));
  SpecifyRb = AddRadio(this, ChoiceLayout, "SpecifyRb", QStringLiteral("セクタ位置を指定する"));
}

void TASyncDlg::FormShow() {
  MessageLbl->setText(QString::asprintf("オフセット 0x%.8x に同期ヘッダを発見しました", Offset));
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
