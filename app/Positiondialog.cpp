#include "app/Positiondialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Msfedit.h"
#include "app/Texts.h"

namespace {

// The decimal edits keep the previous value for text that is no number.
int64_t FramesOf(const QLineEdit* edit, int64_t previous) {
  bool ok = false;
  const int32_t value = edit->displayText().trimmed().toInt(&ok);
  return ok ? value : previous;
}

}  // namespace

TTrackDlg::TTrackDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kTrackDlgCaption));
  setFont(FormFont());
  CreateControls();
  ConnectControls();
}

void TTrackDlg::CreateControls() {
  TypeCmb = NewCombo(this, txt::kTrackTypes);
  SysCmb = NewCombo(this, txt::kTrackSystems);
  FromEdit = NewFramesEdit(this);
  FromMSFEdit = NewMsfEdit(this);
  ToEdit = NewFramesEdit(this);
  ToMSFEdit = NewMsfEdit(this);
  LengthEdit = NewFramesEdit(this);
  LengthMSFEdit = NewMsfEdit(this);
  LengthEdit->setReadOnly(true);
  LengthMSFEdit->setReadOnly(true);
  TrackStartUp = NewArrow(this, Qt::UpArrow);
  TrackStartDown = NewArrow(this, Qt::DownArrow);
  TrackEndUp = NewArrow(this, Qt::UpArrow);
  TrackEndDown = NewArrow(this, Qt::DownArrow);
  OkBtn = new QPushButton(Text(txt::kOkButton), this);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);
  for (QLineEdit* edit : {FromEdit, FromMSFEdit, ToEdit, ToMSFEdit}) edit->installEventFilter(this);

  auto* grid = new QGridLayout;
  const auto arrows = [](QToolButton* up, QToolButton* down) {
    auto* box = new QVBoxLayout;
    box->setSpacing(0);
    box->addWidget(up);
    box->addWidget(down);
    return box;
  };
  grid->addWidget(new QLabel(Text(txt::kTrackTypeLabel), this), 0, 0);
  grid->addWidget(TypeCmb, 0, 1, 1, 2);
  grid->addWidget(new QLabel(Text(txt::kTrackFromLabel), this), 1, 0);
  grid->addWidget(FromEdit, 1, 1);
  grid->addWidget(FromMSFEdit, 1, 2);
  grid->addLayout(arrows(TrackStartUp, TrackStartDown), 1, 3);
  grid->addWidget(new QLabel(Text(txt::kTrackToLabel), this), 2, 0);
  grid->addWidget(ToEdit, 2, 1);
  grid->addWidget(ToMSFEdit, 2, 2);
  grid->addLayout(arrows(TrackEndUp, TrackEndDown), 2, 3);
  grid->addWidget(new QLabel(Text(txt::kTrackLengthLabel), this), 3, 0);
  grid->addWidget(LengthEdit, 3, 1);
  grid->addWidget(LengthMSFEdit, 3, 2);
  grid->addWidget(new QLabel(Text(txt::kTrackSysLabel), this), 4, 0);
  grid->addWidget(SysCmb, 4, 1, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(ButtonRow({OkBtn, CancelBtn}));
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TTrackDlg::ConnectControls() {
  // textEdited fires for the user's typing only; the handlers show every value they set.
  connect(FromEdit, &QLineEdit::textEdited, this, [this] { FromEditChange(); });
  connect(FromMSFEdit, &QLineEdit::textEdited, this, [this] { FromMSFEditChange(); });
  connect(ToEdit, &QLineEdit::textEdited, this, [this] { ToEditChange(); });
  connect(ToMSFEdit, &QLineEdit::textEdited, this, [this] { ToMSFEditChange(); });
  connect(TrackStartUp, &QToolButton::clicked, this, [this] { TrackStartUdClick(/*up=*/true); });
  connect(TrackStartDown, &QToolButton::clicked, this, [this] { TrackStartUdClick(/*up=*/false); });
  connect(TrackEndUp, &QToolButton::clicked, this, [this] { TrackEndUdClick(/*up=*/true); });
  connect(TrackEndDown, &QToolButton::clicked, this, [this] { TrackEndUdClick(/*up=*/false); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TTrackDlg::LoadTrack(int32_t index) {
  TrackIndex = index;
  const TCdTrack& track = CdTracks.at(static_cast<size_t>(index));
  StartAddress = track.Head;
  EndAddress = track.Tail;
  TypeCmb->setCurrentIndex(track.DataType < TypeCmb->count() ? track.DataType : 0);
  SysCmb->setCurrentIndex(track.FileSystem < SysCmb->count() ? track.FileSystem : 0);
}

void TTrackDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

// Showing clamps nothing: a start below 00:02:00 stays until the user touches it.
void TTrackDlg::FormShow() {
  ShowStart();
  ShowEnd();
  UpdateLength();
}

void TTrackDlg::ShowStart() {
  ShowEditText(FromEdit, PaddedFramesText(StartAddress));
  ShowEditText(FromMSFEdit, MsfText(StartAddress));
}

void TTrackDlg::ShowEnd() {
  ShowEditText(ToEdit, PaddedFramesText(EndAddress));
  ShowEditText(ToMSFEdit, MsfText(EndAddress));
}

void TTrackDlg::UpdateLength() {
  ShowEditText(LengthEdit, PaddedFramesText(EndAddress - StartAddress));
  ShowEditText(LengthMSFEdit, MsfText(EndAddress - StartAddress));
}

void TTrackDlg::ClampStart() {
  StartAddress = StartAddress < EndAddress ? std::max(StartAddress, MinAddress) : EndAddress;
  ShowStart();
  // Raising the start to its minimum must not leave it beyond the end: a track stored
  // with its end first would be read backwards.
  if (EndAddress < StartAddress) {
    EndAddress = StartAddress;
    ShowEnd();
  }
  UpdateLength();
}

void TTrackDlg::ClampEnd() {
  EndAddress = EndAddress > MaxAddress ? MaxAddress : std::max(EndAddress, StartAddress);
  ShowEnd();
  if (StartAddress > EndAddress) {  // a start loaded beyond the highest end
    StartAddress = EndAddress;
    ShowStart();
  }
  UpdateLength();
}

void TTrackDlg::FromEditChange() {
  StartAddress = FramesOf(FromEdit, StartAddress);
  ClampStart();
}

void TTrackDlg::FromMSFEditChange() {
  StartAddress = MsfTextToFrames(FromMSFEdit->displayText());
  ClampStart();
}

void TTrackDlg::ToEditChange() {
  EndAddress = FramesOf(ToEdit, EndAddress);
  ClampEnd();
}

void TTrackDlg::ToMSFEditChange() {
  EndAddress = MsfTextToFrames(ToMSFEdit->displayText());
  ClampEnd();
}

void TTrackDlg::TrackStartUdClick(bool up) {
  StartAddress = up ? std::min(StartAddress + 1, EndAddress) : std::max(StartAddress - 1, MinAddress);
  ClampStart();
}

void TTrackDlg::TrackEndUdClick(bool up) {
  EndAddress = up ? std::min(EndAddress + 1, MaxAddress) : std::max(EndAddress - 1, StartAddress);
  ClampEnd();
}

bool TTrackDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool start = watched == FromEdit || watched == FromMSFEdit;
    const bool end = watched == ToEdit || watched == ToMSFEdit;
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && (start || end)) {
      if (start) TrackStartUdClick(key == Qt::Key_Up);
      if (end) TrackEndUdClick(key == Qt::Key_Up);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TTrackDlg::OkBtnClick() {
  if (TrackIndex >= 0 && static_cast<size_t>(TrackIndex) < CdTracks.size()) {
    TCdTrack& track = CdTracks[static_cast<size_t>(TrackIndex)];
    track.Head = StartAddress;
    track.Tail = EndAddress;
    track.DataType = static_cast<uint8_t>(TypeCmb->currentIndex());
    track.FileSystem = static_cast<uint8_t>(SysCmb->currentIndex());
  }
  accept();
}
