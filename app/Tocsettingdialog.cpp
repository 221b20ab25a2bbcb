#include "app/Tocsettingdialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Msfedit.h"
#include "app/Texts.h"
#include "sector/Address.h"

TTocSettingDlg::TTocSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kTocSettingCaption));
  setFont(FormFont());
  CreateControls();
  ConnectControls();
}

void TTocSettingDlg::CreateControls() {
  ManualCk = new QCheckBox(Text(txt::kTocManualCheck), this);
  LeadoutCk = new QCheckBox(Text(txt::kTocLeadoutCheck), this);
  SearchGrp = new QGroupBox(Text(txt::kTocSearchGroup), this);
  SearchFastRb = new QRadioButton(Text(txt::kTocSearchFast), SearchGrp);
  SearchAllRb = new QRadioButton(Text(txt::kTocSearchAll), SearchGrp);
  Label1 = new QLabel(Text(txt::kTocLastAddress), SearchGrp);
  LastAdrMSFEdit = NewMsfEdit(SearchGrp);
  LastAdrMSFEdit->installEventFilter(this);
  LastAdrUpBtn = new QToolButton(SearchGrp);
  LastAdrUpBtn->setArrowType(Qt::UpArrow);
  LastAdrDownBtn = new QToolButton(SearchGrp);
  LastAdrDownBtn->setArrowType(Qt::DownArrow);
  MaxLeadoutLbl = new QLabel(Text(txt::kTocEndCondition), SearchGrp);
  MaxLeadoutEdit = new QSpinBox(SearchGrp);
  MaxLeadoutEdit->setRange(1, 600);
  Label2 = new QLabel(Text(txt::kTocFrames), SearchGrp);
  NoDlgCk = new QCheckBox(Text(txt::kTocNoDialog), this);
  OkBtn = new QPushButton(Text(txt::kOkButton), this);
  OkBtn->setDefault(true);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);

  auto* arrows = new QVBoxLayout;
  arrows->setSpacing(0);
  arrows->addWidget(LastAdrUpBtn);
  arrows->addWidget(LastAdrDownBtn);
  auto* group = new QGridLayout(SearchGrp);
  group->addWidget(SearchFastRb, 0, 0, 1, 2);
  group->addWidget(SearchAllRb, 0, 2, 1, 2);
  group->addWidget(Label1, 1, 0);
  group->addWidget(LastAdrMSFEdit, 1, 1);
  group->addLayout(arrows, 1, 2);
  group->addWidget(MaxLeadoutLbl, 2, 0);
  group->addWidget(MaxLeadoutEdit, 2, 1);
  group->addWidget(Label2, 2, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OkBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  for (QWidget* w : {static_cast<QWidget*>(ManualCk), static_cast<QWidget*>(LeadoutCk),
                     static_cast<QWidget*>(SearchGrp), static_cast<QWidget*>(NoDlgCk)})
    layout->addWidget(w);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TTocSettingDlg::ConnectControls() {
  connect(ManualCk, &QCheckBox::toggled, this, [this] { UpdateSearchControls(); });
  connect(LeadoutCk, &QCheckBox::toggled, this, [this] { UpdateSearchControls(); });
  connect(SearchFastRb, &QRadioButton::toggled, this, [this] { UpdateEndConditionControls(); });
  connect(SearchAllRb, &QRadioButton::toggled, this, [this] { UpdateEndConditionControls(); });
  connect(LastAdrMSFEdit, &QLineEdit::textEdited, this, [this] { LastAdrMSFEditChange(); });
  connect(LastAdrUpBtn, &QToolButton::clicked, this, [this] { LastAdrUdClick(/*up=*/true); });
  connect(LastAdrDownBtn, &QToolButton::clicked, this, [this] { LastAdrUdClick(/*up=*/false); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TTocSettingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TTocSettingDlg::FormShow() {
  ManualCk->setChecked(Manual);
  LeadoutCk->setChecked(Leadout);
  UpdateSearchControls();
  WorkLastAddress = LastAddress;
  ShowLastAddress();
  MaxLeadoutEdit->setValue(static_cast<int16_t>(MaxLeadout & 0xFFFF));
  (FastSearch ? SearchFastRb : SearchAllRb)->setChecked(true);
  NoDlgCk->setChecked(NoDialog);
}

void TTocSettingDlg::OkBtnClick() {
  Manual = ManualCk->isChecked();
  Leadout = LeadoutCk->isChecked();
  FastSearch = SearchFastRb->isChecked();
  LastAddress = WorkLastAddress;
  MaxLeadout = static_cast<int16_t>(MaxLeadoutEdit->value());
  NoDialog = NoDlgCk->isChecked();
  accept();
}

void TTocSettingDlg::ShowLastAddress() {
  WorkLastAddress = std::clamp<int64_t>(WorkLastAddress, 0, kMaxLastAddress);
  ShowEditText(LastAdrMSFEdit, MsfText(WorkLastAddress));
}

void TTocSettingDlg::LastAdrMSFEditChange() {
  WorkLastAddress = MsfTextToFrames(LastAdrMSFEdit->displayText());
  ShowLastAddress();
}

void TTocSettingDlg::LastAdrUdClick(bool up) {
  WorkLastAddress += up ? 1 : -1;
  ShowLastAddress();
}

bool TTocSettingDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LastAdrMSFEdit && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) LastAdrUdClick(key == Qt::Key_Up);
  }
  return QDialog::eventFilter(watched, event);
}

void TTocSettingDlg::UpdateSearchControls() {
  const bool search = ManualCk->isChecked() || LeadoutCk->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(SearchGrp), static_cast<QWidget*>(SearchAllRb),
                     static_cast<QWidget*>(SearchFastRb), static_cast<QWidget*>(Label1),
                     static_cast<QWidget*>(LastAdrMSFEdit), static_cast<QWidget*>(LastAdrUpBtn),
                     static_cast<QWidget*>(LastAdrDownBtn)})
    w->setEnabled(search);
  UpdateEndConditionControls();
}

void TTocSettingDlg::UpdateEndConditionControls() {
  const bool search = ManualCk->isChecked() || LeadoutCk->isChecked();
  const bool enabled = search && SearchAllRb->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(MaxLeadoutLbl), static_cast<QWidget*>(MaxLeadoutEdit),
                     static_cast<QWidget*>(Label2)})
    w->setEnabled(enabled);
}
