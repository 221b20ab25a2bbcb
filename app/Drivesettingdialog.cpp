#include "app/Drivesettingdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Texts.h"

namespace {

// A number box with its unit label behind it.
QHBoxLayout* WithUnit(QSpinBox* spin, QLabel* unit) {
  auto* row = new QHBoxLayout;
  row->addWidget(spin);
  if (unit) row->addWidget(unit);
  row->addStretch();
  return row;
}

// A spin box shows what a 16-bit up-down would: the low 16 bits, signed.
int Low16(uint32_t value) { return static_cast<int16_t>(value & 0xFFFF); }
uint32_t FromSpin(const QSpinBox* spin) { return static_cast<uint32_t>(static_cast<int32_t>(spin->value())); }

void SetCombo(QComboBox* combo, uint32_t index) {
  combo->setCurrentIndex(index < static_cast<uint32_t>(combo->count()) ? static_cast<int>(index) : -1);
}
uint32_t FromCombo(const QComboBox* combo) { return static_cast<uint32_t>(std::max(combo->currentIndex(), 0)); }

// A number box for a field of the settings record, with the field's range.
QSpinBox* NewSpinFor(QWidget* parent, TSettingField field) {
  const TSettingRange& range = RangeOf(field);
  return NewSpin(parent, static_cast<int>(range.Low), static_cast<int>(range.High));
}

}  // namespace

TDrvSettingDlg::TDrvSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kDrvSettingCaption));
  setFont(FormFont());
  DrvTab = new QTabBar(this);
  DrvTab->setExpanding(false);
  Pages = new QTabWidget(this);
  Pages->addTab(CreateGeneralPage(), Text(txt::kDrvPages[0]));
  Pages->addTab(CreateDataPage(), Text(txt::kDrvPages[1]));
  Pages->addTab(CreateAudioPage(), Text(txt::kDrvPages[2]));
  Pages->addTab(CreateErrorPage(), Text(txt::kDrvPages[3]));
  OkBtn = new QPushButton(Text(txt::kOkButton), this);
  ApplyBtn = new QPushButton(Text(txt::kApplyButton), this);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(DrvTab);
  layout->addWidget(CreateInformation());
  layout->addWidget(Pages);
  layout->addLayout(ButtonRow({OkBtn, ApplyBtn, CancelBtn}));
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ConnectControls();

  // The drive list is settled before the windows are made and never changes afterwards.
  for (uint32_t i = 0; i < CdRoms.GetCount(); ++i) {
    const TKrCdRom* drive = CdRoms.GetCdRom(i);
    if (drive == nullptr) break;
    DrvTab->addTab(QString::fromStdString(drive->GetDriveName()));
  }
  if (DrvTab->count() > 0) DrvTab->setCurrentIndex(0);
}

QWidget* TDrvSettingDlg::CreateInformation() {
  auto* group = new QGroupBox(Text(txt::kInfoGroup), this);
  VendorLbl = new QLabel(group);
  ProductLbl = new QLabel(group);
  RevLbl = new QLabel(group);
  AspiLbl = new QLabel(group);
  SptiCk = new QCheckBox(Text(txt::kSptiCheck), group);
  CapBtn = new QPushButton(Text(txt::kCapabilities), group);
  auto* grid = new QGridLayout(group);
  const char* captions[] = {txt::kVendorLabel, txt::kProductLabel, txt::kRevLabel, txt::kAspiIdLabel};
  QLabel* values[] = {VendorLbl, ProductLbl, RevLbl, AspiLbl};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(new QLabel(Text(captions[i]), group), i, 0);
    grid->addWidget(values[i], i, 1);
  }
  grid->addWidget(SptiCk, 4, 0, 1, 2);
  grid->addWidget(CapBtn, 4, 2);
  grid->setColumnStretch(1, 1);
  return group;
}

QWidget* TDrvSettingDlg::CreateGeneralPage() {
  auto* page = new QWidget(this);
  BcdCk = new QCheckBox(Text(txt::kBcdCheck), page);
  SubQCmdCmb = NewCombo(page, txt::kSubQCmds);
  SpeedCk = new QCheckBox(Text(txt::kSpeedCheck), page);
  SpeedCmb = new QComboBox(page);
  SpeedCmb->addItem(Text(txt::kSpeedNone));
  SpeedCmb->setMinimumContentsLength(16);
  SpdBtn = new QPushButton(Text(txt::kSpeedDetect), page);
  IntervalEdit = NewSpinFor(page, &TDriveSetting::Interval);
  auto* speed = new QHBoxLayout;
  speed->addWidget(SpeedCmb);
  speed->addWidget(SpdBtn);
  auto* form = new QFormLayout(page);
  form->addRow(BcdCk);
  form->addRow(Text(txt::kSubQCmdLabel), SubQCmdCmb);
  form->addRow(SpeedCk, speed);
  form->addRow(Text(txt::kIntervalLabel), WithUnit(IntervalEdit, new QLabel(Text(txt::kMsec), page)));
  return page;
}

QWidget* TDrvSettingDlg::CreateDataPage() {
  auto* page = new QWidget(this);
  ReadCmdCmb = NewCombo(page, txt::kDataReadCmds);
  DataReadAtOnceEdit = NewSpinFor(page, &TDriveSetting::DataReadAtOnce);
  ExtCmdCmb = NewCombo(page, txt::kDataReadCmds);
  Edit1 = NewSpinFor(page, &TDriveSetting::ExtReadAtOnce);
  ReadAsAudioCk = new QCheckBox(Text(txt::kReadAsAudioCheck), page);
  auto* form = new QFormLayout(page);
  form->addRow(Text(txt::kReadCmdLabel), ReadCmdCmb);
  form->addRow(Text(txt::kFramesLabel), WithUnit(DataReadAtOnceEdit, nullptr));
  form->addRow(Text(txt::kExtCmdLabel), ExtCmdCmb);
  form->addRow(Text(txt::kFramesLabel), WithUnit(Edit1, nullptr));
  form->addRow(ReadAsAudioCk);
  return page;
}

QWidget* TDrvSettingDlg::CreateAudioPage() {
  auto* page = new QWidget(this);
  DaeCmdCmb = NewCombo(page, txt::kDaeCmds);
  CdgLbl = new QLabel(Text(txt::kCdgLabel), page);
  CdgCmb = NewCombo(page, txt::kCdgModes);
  ReadAtOnceEdit = NewSpinFor(page, &TDriveSetting::ReadAtOnce);
  OverlapEdit = NewSpinFor(page, &TDriveSetting::Overlaps);
  CompareEdit = NewSpinFor(page, &TDriveSetting::Compares);
  OffsetEdit = NewSpinFor(page, &TDriveSetting::OffsetSamples);
  auto* form = new QFormLayout(page);
  form->addRow(Text(txt::kReadCmdLabel), DaeCmdCmb);
  form->addRow(CdgLbl, CdgCmb);
  form->addRow(Text(txt::kFramesLabel), WithUnit(ReadAtOnceEdit, nullptr));
  form->addRow(Text(txt::kOverlapLabel), WithUnit(OverlapEdit, nullptr));
  form->addRow(Text(txt::kCompareLabel), WithUnit(CompareEdit, nullptr));
  form->addRow(Text(txt::kOffsetLabel), WithUnit(OffsetEdit, nullptr));
  // The karaoke mode is kept in the settings but not offered.
  CdgLbl->hide();
  CdgCmb->hide();
  return page;
}

QWidget* TDrvSettingDlg::CreateErrorPage() {
  auto* page = new QWidget(this);
  FastErrorSkipCk = new QCheckBox(Text(txt::kFastErrorSkipCheck), page);
  TransferBlockCk = new QCheckBox(Text(txt::kTransferBlockCheck), page);
  RetryCountCk = new QCheckBox(Text(txt::kRetryCountCheck), page);
  RetryCountEdit = NewSpinFor(page, &TDriveSetting::RetryCount);
  SoftEccCk = new QCheckBox(Text(txt::kSoftEccCheck), page);
  SoftEccEdit = NewSpinFor(page, &TDriveSetting::SoftEccRetryCount);
  ForceTypeCk = new QCheckBox(Text(txt::kForceTypeCheck), page);
  auto* grid = new QGridLayout(page);
  grid->addWidget(FastErrorSkipCk, 0, 0, 1, 3);
  grid->addWidget(TransferBlockCk, 1, 0, 1, 3);
  grid->addWidget(RetryCountCk, 2, 0, 1, 2);
  grid->addWidget(RetryCountEdit, 2, 2);
  grid->addWidget(SoftEccCk, 3, 0, 1, 2);
  grid->addWidget(SoftEccEdit, 3, 2);
  grid->addWidget(ForceTypeCk, 4, 1, 1, 2);
  grid->setColumnMinimumWidth(0, 16);
  grid->setRowStretch(5, 1);
  return page;
}

void TDrvSettingDlg::ConnectControls() {
  connect(DrvTab, &QTabBar::currentChanged, this, [this] {
    DrvTabChanging();
    DrvTabChange();
  });
  connect(RetryCountCk, &QCheckBox::toggled, this, [this] { RetryCountCkClick(); });
  connect(SoftEccCk, &QCheckBox::toggled, this, [this] { SoftEccCkClick(); });
  connect(SpdBtn, &QPushButton::clicked, this, [this] { SpdBtnClick(); });
  connect(ApplyBtn, &QPushButton::clicked, this, [this] { ApplyBtnClick(); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TDrvSettingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TDrvSettingDlg::FormShow() {
  for (uint32_t i = 0; i < CdRoms.GetCount() && i < kMaxCdRoms; ++i) WorkSettings[i] = DriveSettings[i];
  ShownTab = -1;
  DrvTabChange();
}

void TDrvSettingDlg::DrvTabChange() {
  const int index = DrvTab->currentIndex();
  const TKrCdRom* drive = index >= 0 ? CdRoms.GetCdRom(static_cast<uint32_t>(index)) : nullptr;
  VendorLbl->setText(drive ? QString::fromStdString(drive->GetVendor()) : QString());
  ProductLbl->setText(drive ? QString::fromStdString(drive->GetProduct()) : QString());
  RevLbl->setText(drive ? QString::fromStdString(drive->GetRevision()) : QString());
  QString aspi = Text(txt::kNotAvailable);
  if (drive && CdRoms.IsAspiAvailable(static_cast<uint32_t>(index))) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", drive->HaId, drive->Target, drive->Lun);
    aspi = text;
  }
  AspiLbl->setText(aspi);
  if (IsSettingsIndex(index)) {
    const auto i = static_cast<uint32_t>(index);
    SptiCk->setEnabled(CdRoms.IsAspiAvailable(i) && CdRoms.IsSptiAvailable(i));
    LoadControls(WorkSettings[i]);
    FillSpeedCombo(index);
    ShownTab = index;
  }
  RetryCountCkClick();
  SoftEccCkClick();
}

void TDrvSettingDlg::LoadControls(const TDriveSetting& s) {
  SptiCk->setChecked(s.UseSpti != 0);
  BcdCk->setChecked(s.UseBCD != 0);
  SetCombo(SubQCmdCmb, s.SubChCmd);
  SpeedCk->setChecked(s.SetReadSpeed != 0);
  IntervalEdit->setValue(Low16(s.Interval));
  SetCombo(ReadCmdCmb, s.DataReadCmd);
  DataReadAtOnceEdit->setValue(Low16(s.DataReadAtOnce));
  SetCombo(ExtCmdCmb, s.ExtReadCmd);
  Edit1->setValue(Low16(s.ExtReadAtOnce));
  ReadAsAudioCk->setChecked(s.ExtReadAsAudio != 0);
  SetCombo(DaeCmdCmb, s.DaeCmd);
  SetCombo(CdgCmb, s.CdgMode);
  ReadAtOnceEdit->setValue(Low16(s.ReadAtOnce));
  OverlapEdit->setValue(Low16(s.Overlaps));
  CompareEdit->setValue(Low16(s.Compares));
  OffsetEdit->setValue(Low16(static_cast<uint32_t>(s.OffsetSamples)));
  FastErrorSkipCk->setChecked(s.FastErrorSkip != 0);
  TransferBlockCk->setChecked(s.TransferBlock != 0);
  RetryCountCk->setChecked(s.RetryCountEnabled != 0);
  RetryCountEdit->setValue(Low16(s.RetryCount));
  SoftEccCk->setChecked(s.SoftEccEnabled != 0);
  SoftEccEdit->setValue(Low16(s.SoftEccRetryCount));
  ForceTypeCk->setChecked(s.ForceType != 0);
}

void TDrvSettingDlg::StoreControls(TDriveSetting& s) const {
  s.UseSpti = SptiCk->isChecked();
  s.UseBCD = BcdCk->isChecked();
  s.SubChCmd = FromCombo(SubQCmdCmb);
  s.Interval = FromSpin(IntervalEdit);
  s.DataReadCmd = FromCombo(ReadCmdCmb);
  s.DataReadAtOnce = FromSpin(DataReadAtOnceEdit);
  s.ExtReadCmd = FromCombo(ExtCmdCmb);
  s.ExtReadAtOnce = FromSpin(Edit1);
  s.ExtReadAsAudio = ReadAsAudioCk->isChecked();
  s.DaeCmd = FromCombo(DaeCmdCmb);
  s.CdgMode = FromCombo(CdgCmb);
  s.ReadAtOnce = FromSpin(ReadAtOnceEdit);
  s.Overlaps = FromSpin(OverlapEdit);
  s.Compares = FromSpin(CompareEdit);
  s.OffsetSamples = static_cast<int32_t>(FromSpin(OffsetEdit));
  s.FastErrorSkip = FastErrorSkipCk->isChecked();
  s.TransferBlock = TransferBlockCk->isChecked();
  s.RetryCountEnabled = RetryCountCk->isChecked();
  s.RetryCount = FromSpin(RetryCountEdit);
  s.SoftEccEnabled = SoftEccCk->isChecked();
  s.SoftEccRetryCount = FromSpin(SoftEccEdit);
  s.ForceType = ForceTypeCk->isChecked();
}

// Stores the controls of the tab shown before a change of tab (and before a commit).
void TDrvSettingDlg::DrvTabChanging() {
  if (!IsSettingsIndex(ShownTab)) return;
  const auto i = static_cast<size_t>(ShownTab);
  TDriveSetting& s = WorkSettings[i];
  StoreControls(s);
  const uint32_t speed = ReadSpeedLists[i].Get(static_cast<uint32_t>(SpeedCmb->currentIndex()));
  const TSettingRange& speeds = RangeOf(&TDriveSetting::ReadSpeed);
  const bool valid = speed >= speeds.Low && speed <= speeds.High;
  s.SetReadSpeed = valid && SpeedCk->isChecked();
  s.ReadSpeed = valid ? speed : 0;
}

void TDrvSettingDlg::StoreSettings() {
  DrvTabChanging();
  for (uint32_t i = 0; i < CdRoms.GetCount() && i < kMaxCdRoms; ++i) DriveSettings[i] = WorkSettings[i];
}

void TDrvSettingDlg::ApplyBtnClick() { StoreSettings(); }

void TDrvSettingDlg::OkBtnClick() {
  StoreSettings();
  accept();
}

void TDrvSettingDlg::RetryCountCkClick() { RetryCountEdit->setEnabled(RetryCountCk->isChecked()); }

void TDrvSettingDlg::SoftEccCkClick() {
  SoftEccEdit->setEnabled(SoftEccCk->isChecked());
  ForceTypeCk->setEnabled(SoftEccCk->isChecked());
}

std::string TDrvSettingDlg::SpeedItemText(uint32_t speed) {
  const auto x = static_cast<float>(static_cast<long double>(speed) * (1.0L / 176.4L));
  const float frac = x - std::floor(x);
  const int multiple = static_cast<int>(frac >= 0.1f ? std::ceil(x) : std::floor(x));
  char text[48];
  std::snprintf(text, sizeof text, txt::kSpeedItem, multiple, static_cast<int>(speed));
  return text;
}

void TDrvSettingDlg::FillSpeedCombo(int index) {
  SpeedCmb->clear();
  const TReadSpeedList& list = ReadSpeedLists[static_cast<size_t>(index)];
  for (uint32_t k = 0; k < list.GetCount(); ++k) SpeedCmb->addItem(QString::fromStdString(SpeedItemText(list.Get(k))));
  const bool any = SpeedCmb->count() > 0;
  SpeedCmb->setEnabled(any);
  SpeedCk->setEnabled(any);
  if (!any) {
    SpeedCk->setChecked(false);
    return;
  }
  const int found = list.FindIndex(WorkSettings[static_cast<size_t>(index)].ReadSpeed);
  SpeedCmb->setCurrentIndex(found >= 0 && found < SpeedCmb->count() ? found : 0);
}

// Runs on this thread; the window waits, as the drive answers within a few seconds.
void TDrvSettingDlg::SpdBtnClick() {
  const int index = DrvTab->currentIndex();
  if (!IsSettingsIndex(index)) return;
  const TKrCdRom* drive = CdRoms.GetCdRom(static_cast<uint32_t>(index));
  if (drive == nullptr) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The committed settings, not the working copy: the transport the drive uses now.
  DriveUtility.Assign(*drive, DriveSettings[static_cast<size_t>(index)]);
  uint32_t speeds[kMaxDetectedSpeeds] = {};
  const uint32_t n = DriveUtility.DetectReadSpeeds(*drive, kMaxDetectedSpeeds, speeds);
  TReadSpeedList& list = ReadSpeedLists[static_cast<size_t>(index)];
  list.Clear();
  for (uint32_t k = 0; k < n && k < kMaxDetectedSpeeds; ++k) list.Add(speeds[k]);
  QApplication::restoreOverrideCursor();
  FillSpeedCombo(index);
}
