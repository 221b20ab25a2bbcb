#include "app/Isosettingdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Texts.h"

namespace {

// Controls set from 32-bit options show the low 16 bits, as a 16-bit up-down would.
int Low16(int32_t value) { return static_cast<int16_t>(value & 0xFFFF); }

}  // namespace

TIsoSettingDlg::TIsoSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kIsoSettingCaption));
  setFont(FormFont());
  Pages = new QTabWidget(this);
  Pages->addTab(CreateCddaPage(), Text(txt::kIsoTabs[0]));
  Pages->addTab(CreateIsoPage(), Text(txt::kIsoTabs[1]));
  OkBtn = new QPushButton(Text(txt::kOkButton), this);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Pages);
  layout->addLayout(ButtonRow({OkBtn, CancelBtn}));
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ConnectControls();
}

QWidget* TIsoSettingDlg::CreateCddaPage() {
  auto* page = new QWidget(this);
  DeEmphCk = new QCheckBox(Text(txt::kDeEmphCheck), page);
  VolEdit = NewSpin(page, 0, 100);
  auto* volume = new QHBoxLayout;
  volume->addWidget(new QLabel(Text(txt::kVolumeLabel), page));
  volume->addWidget(VolEdit);
  volume->addWidget(new QLabel(Text(txt::kPercent), page));
  volume->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(DeEmphCk);
  layout->addLayout(volume);
  layout->addStretch();
  return page;
}

QWidget* TIsoSettingDlg::CreateIsoPage() {
  auto* page = new QWidget(this);
  const auto check = [page](QCheckBox*& box, const char* text) { box = new QCheckBox(Text(text), page); };
  check(IsoPvdCk, txt::kIsoPvdCheck);
  check(IsoSvdCk, txt::kIsoSvdCheck);
  check(IsoPathTableCk, txt::kIsoPathTableCheck);
  check(IsoLittleCk, txt::kIsoLittleCheck);
  check(IsoTestCk, txt::kIsoTestCheck);
  check(IsoDetectDirCk, txt::kIsoDetectDirCheck);
  check(IsoDetectDirInReadCk, txt::kIsoInReadCheck);
  check(IsoUsePluginCk, txt::kIsoUsePluginCheck);
  check(IsoUsePluginInReadCk, txt::kIsoInReadCheck);
  check(IsoErrDivCk, txt::kIsoErrDivCheck);
  check(IsoTailZeroCk, txt::kIsoTailZeroCheck);
  IsoZeroLbl = new QLabel(Text(txt::kIsoZeroLabel), page);
  IsoZeroCmb = NewCombo(page, txt::kIsoZeroItems);
  IsoZeroEdit = NewSpin(page, 1, 2352);

  auto* grid = new QGridLayout(page);
  int row = 0;
  const auto add = [&](QWidget* w, int indent) { grid->addWidget(w, row++, indent, 1, 3 - indent); };
  add(IsoPvdCk, 0);
  add(IsoSvdCk, 1);
  add(IsoPathTableCk, 1);
  add(IsoLittleCk, 0);
  add(IsoTestCk, 0);
  add(IsoDetectDirCk, 0);
  add(IsoDetectDirInReadCk, 1);
  add(IsoUsePluginCk, 0);
  add(IsoUsePluginInReadCk, 1);
  auto* zero = new QHBoxLayout;
  zero->addWidget(IsoZeroLbl);
  zero->addWidget(IsoZeroCmb);
  zero->addWidget(IsoZeroEdit);
  zero->addStretch();
  grid->addLayout(zero, row++, 0, 1, 3);
  add(IsoErrDivCk, 0);
  add(IsoTailZeroCk, 0);
  grid->setColumnMinimumWidth(0, 16);
  return page;
}

void TIsoSettingDlg::ConnectControls() {
  connect(IsoPvdCk, &QCheckBox::toggled, this, [this] { IsoPvdCkClick(); });
  connect(IsoDetectDirCk, &QCheckBox::toggled, this, [this] { IsoDetectDirCkClick(); });
  connect(IsoUsePluginCk, &QCheckBox::toggled, this, [this] { IsoUsePluginCkClick(); });
  connect(IsoZeroCmb, &QComboBox::currentIndexChanged, this, [this] { IsoZeroCmbChange(); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TIsoSettingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TIsoSettingDlg::FormShow() {
  DeEmphCk->setChecked(DeEmph);
  VolEdit->setValue(Low16(Volume));
  IsoPvdCk->setChecked(ReadPvd);
  IsoSvdCk->setChecked(ReadSvd);
  IsoPathTableCk->setChecked(ReadTable);
  IsoLittleCk->setChecked(LittleEndian);
  IsoTestCk->setChecked(ListOnly);
  IsoDetectDirCk->setChecked(DetectDir);
  IsoDetectDirInReadCk->setChecked(DetectDirInReading);
  IsoUsePluginCk->setChecked(UsePlugin);
  IsoUsePluginInReadCk->setChecked(UsePluginInReading);
  // An item index outside the list shows as "分割しない", which is what the scan makes of it.
  IsoZeroCmb->setCurrentIndex(TailZeroMode >= 0 && TailZeroMode < IsoZeroCmb->count() ? TailZeroMode
                                                                                         : IsoZeroCmb->count() - 1);
  IsoZeroEdit->setValue(Low16(TailZeroVal));
  IsoErrDivCk->setChecked(DivAtErr);
  IsoTailZeroCk->setChecked(DelTailZero);
  IsoTestCk->setEnabled(true);
  IsoPvdCkClick();
}

void TIsoSettingDlg::OkBtnClick() {
  DeEmph = DeEmphCk->isChecked();
  Volume = static_cast<int16_t>(VolEdit->value());
  ReadPvd = IsoPvdCk->isChecked();
  ReadSvd = IsoSvdCk->isChecked();
  ReadTable = IsoPathTableCk->isChecked();
  LittleEndian = IsoLittleCk->isChecked();
  ListOnly = IsoTestCk->isChecked();
  DetectDir = IsoDetectDirCk->isChecked();
  DetectDirInReading = IsoDetectDirInReadCk->isChecked();
  UsePlugin = IsoUsePluginCk->isChecked();
  UsePluginInReading = IsoUsePluginInReadCk->isChecked();
  TailZeroMode = IsoZeroCmb->currentIndex();
  TailZeroVal = static_cast<int16_t>(IsoZeroEdit->value());
  DivAtErr = IsoErrDivCk->isChecked();
  DelTailZero = IsoTailZeroCk->isChecked();
  accept();
}

// With the volume read chosen, the scan's options keep their states but cannot be edited.
void TIsoSettingDlg::IsoPvdCkClick() {
  const bool pvd = IsoPvdCk->isChecked();
  IsoSvdCk->setEnabled(pvd);
  IsoPathTableCk->setEnabled(pvd);
  for (QWidget* w : std::initializer_list<QWidget*>{IsoDetectDirCk, IsoUsePluginCk, IsoZeroLbl, IsoZeroCmb,
                                                    IsoErrDivCk, IsoTailZeroCk})
    w->setEnabled(!pvd);
  IsoDetectDirCkClick();
  IsoUsePluginCkClick();
  ApplyZeroRule();
}

void TIsoSettingDlg::IsoDetectDirCkClick() {
  IsoDetectDirInReadCk->setEnabled(!IsoPvdCk->isChecked() && IsoDetectDirCk->isChecked());
}

void TIsoSettingDlg::IsoUsePluginCkClick() {
  IsoUsePluginInReadCk->setEnabled(!IsoPvdCk->isChecked() && IsoUsePluginCk->isChecked());
}

void TIsoSettingDlg::IsoZeroCmbChange() { ApplyZeroRule(); }

void TIsoSettingDlg::ApplyZeroRule() {
  IsoZeroEdit->setEnabled(!IsoPvdCk->isChecked() && IsoZeroCmb->currentIndex() == kZeroGivenBytes);
}
