#include "app/Tocdialog.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "app/Fileviewerform.h"
#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Positiondialog.h"
#include "app/Texts.h"
#include "recovery/Isoextracter.h"

namespace {

QString WithTrackNo(const char* format, int trackNo) {
  char text[256];
  std::snprintf(text, sizeof text, format, trackNo);
  return QString::fromUtf8(text);
}

// A track's failure, with the reason its engine gave, if any.
QString TrackFailed(int trackNo, bool audio) {
  return WithReason(WithTrackNo(txt::kMsgTrackFailedN, trackNo),
                    audio ? AudioRipper.GetFailure() : IsoExtracter.GetFailure());
}

// The words of a note on a track: the checked tracks' messages name the track.
QString NoteText(const TTrackExtractJob::TNote& note) {
  using TNotice = TTrackExtractJob::TNotice;
  const int trackNo = note.Track.TrackNo;
  switch (note.What) {
    case TNotice::TypeMismatch:
      return note.Checked ? WithTrackNo(txt::kMsgTypeMismatchN, trackNo) : Text(txt::kMsgTypeMismatch);
    case TNotice::NoFileSystem:
      return note.Checked ? WithTrackNo(txt::kMsgNoFileSystemN, trackNo) : Text(txt::kMsgNoFileSystem);
    case TNotice::EmptyTrack:
      return WithTrackNo(txt::kMsgEmptyTrackN, trackNo);
    case TNotice::FolderFailed:
      return Text(txt::kMsgFolderFailed) + QString::fromStdString(note.Folder);
    case TNotice::Failed:
      break;
  }
  return TrackFailed(trackNo, /*audio=*/TTrackExtractJob::Classify(note.Track) == TTrackExtractJob::TKind::Audio);
}

}  // namespace

TTocDlg::TTocDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      Picker(this) {
  setWindowTitle(Text(txt::kTocDlgCaption));
  setFont(FormFont());
  CreateActions();
  CreateControls();
}

void TTocDlg::CreateActions() {
  const auto action = [this](QAction*& slot, const char* caption, auto handler) {
    slot = new QAction(Text(caption), this);
    connect(slot, &QAction::triggered, this, handler);
  };
  action(FileSaveList, txt::kFileSaveList, [this] { FileSaveListExecute(); });
  action(FileLoadList, txt::kFileLoadList, [this] { FileLoadListExecute(); });
  action(CheckAll, txt::kCheckAll, [this] { CheckAllExecute(); });
  action(UncheckAll, txt::kUncheckAll, [this] { UncheckAllExecute(); });
  action(ExtractSingle, txt::kExtractSingle, [this] { ExtractSingleExecute(); });
  action(ExtractMulti, txt::kExtractMulti, [this] { ExtractMultiExecute(); });
  CheckAll->setIcon(style()->standardIcon(QStyle::SP_DialogYesButton));
  UncheckAll->setIcon(style()->standardIcon(QStyle::SP_DialogNoButton));
}

void TTocDlg::CreateControls() {
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu(Text(txt::kMenuFile));
  file->addActions({FileSaveList, FileLoadList});
  QMenu* settings = menu->addMenu(Text(txt::kMenuSettings));
  if (QnlMainFrm)
    settings->addActions({QnlMainFrm->SettingsDrive, QnlMainFrm->SettingsFilesystem, QnlMainFrm->SettingsPlugin});

  TrackList = new QTreeWidget(this);
  TrackList->setFont(FixedFont());
  TrackList->setRootIsDecorated(false);
  TrackList->setUniformRowHeights(true);
  TrackList->setExpandsOnDoubleClick(false);
  QStringList headers;
  for (const char* text : txt::kTrackColumns) headers << Text(text);
  TrackList->setHeaderLabels(headers);
  TrackList->header()->setFont(FormFont());
  for (int k = 0; k < headers.size(); ++k) TrackList->setColumnWidth(k, 75);
  TrackList->setMinimumSize(7 * 75 + 24, 220);
  connect(TrackList, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { EditTrack(TrackList->indexOfTopLevelItem(item)); });

  const auto glyph = [this](QAction* action) {
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return button;
  };
  auto* checks = new QHBoxLayout;
  checks->addWidget(glyph(CheckAll));
  checks->addWidget(glyph(UncheckAll));
  checks->addStretch();
  ExtractSingleBtn = new QPushButton(Text(txt::kExtractSingle), this);
  ExtractMultiBtn = new QPushButton(Text(txt::kExtractMulti), this);
  CloseBtn = new QPushButton(Text(txt::kTocCloseButton), this);
  connect(ExtractSingleBtn, &QPushButton::clicked, ExtractSingle, &QAction::trigger);
  connect(ExtractMultiBtn, &QPushButton::clicked, ExtractMulti, &QAction::trigger);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ExtractSingleBtn);
  buttons->addWidget(ExtractMultiBtn);
  buttons->addStretch();
  buttons->addWidget(CloseBtn);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addLayout(checks);
  layout->addWidget(TrackList);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border, as wide as the columns
}

void TTocDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TTocDlg::FormShow() {
  TrackList->clear();
  for (size_t i = 0; i < CdTracks.size(); ++i) {
    auto* item = new QTreeWidgetItem(TrackList);
    item->setCheckState(0, Qt::Unchecked);
    ShowRow(static_cast<int>(i));
  }
  FitWidth();
}

void TTocDlg::FitWidth() {
  FitColumns(TrackList);
  TrackList->setMinimumWidth(TrackList->header()->length() + 2 * TrackList->frameWidth() +
                             TrackList->verticalScrollBar()->sizeHint().width());
}

void TTocDlg::ShowRow(int index) {
  QTreeWidgetItem* item = TrackList->topLevelItem(index);
  if (!item || static_cast<size_t>(index) >= CdTracks.size()) return;
  for (int k = 0; k < TrackList->columnCount(); ++k)
    item->setText(k, QString::fromStdString(TrackColumnText(CdTracks[static_cast<size_t>(index)], k)));
}

void TTocDlg::SetCheckAll(bool checked) {
  for (int i = 0; i < TrackList->topLevelItemCount(); ++i)
    TrackList->topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void TTocDlg::CheckAllExecute() { SetCheckAll(true); }
void TTocDlg::UncheckAllExecute() { SetCheckAll(false); }

void TTocDlg::EditTrack(int index) {
  if (index < 0 || static_cast<size_t>(index) >= CdTracks.size() || !TrackDlg) return;
  TrackDlg->LoadTrack(index);
  if (TrackDlg->exec() != QDialog::Accepted) return;
  ShowRow(index);
  FitWidth();
}

void TTocDlg::Error(const QString& text) {
  QApplication::beep();
  QMessageBox::critical(this, QString(), text);
}

// No volume read, or one that lacks what `lacking` says: scan instead?
bool TTocDlg::AskScan(const TIsoExtracter::TDamage* lacking) {
  const QString text = lacking ? QString::fromStdString(DamageText(*lacking) + "\n" + txt::kMsgScanDamaged)
                               : Text(txt::kMsgNoVolume);
  return PlainBox(this, QMessageBox::Critical, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TTocDlg::FileSaveListExecute() {
  const std::string file = AskSaveFile(this, {TrackDir, "", txt::kTrackListFilterDlg, txt::kTrackListExtension},
                                       /*mayReplace=*/true);
  if (file.empty()) return;
  TrackDir = FolderOf(file);
  // A list corrected by hand would otherwise be lost without a word.
  if (!QnlMainFrm->SaveTrackList(file)) Error(Text(txt::kMsgSaveListFailed));
}

void TTocDlg::FileLoadListExecute() {
  const std::string file = AskOpenFile(this, {TrackDir, "", txt::kTrackListFilterDlg, txt::kTrackListExtension});
  if (file.empty()) return;
  TrackDir = FolderOf(file);
  TrackList->clear();
  const bool loaded = QnlMainFrm->LoadTrackList(file);
  FormShow();
  if (!loaded) Error(Text(txt::kMsgLoadListFailed));
}

void TTocDlg::ShowViewer(std::string& folder) {
  FileViewer->Folder = folder;
  FileViewer->exec();
  folder = FileViewer->Folder;
}

TTrackExtractJob TTocDlg::NewJob() {
  TTrackExtractJob job(CdTracks, IsoExtracter);
  job.Rip = [](size_t track, const std::string& wav) {
    QnlMainFrm->RipAudioTrack(track, wav);
    return QnlMainFrm->GetLastOutcome();
  };
  job.ReadVolume = [](size_t track) { return QnlMainFrm->ReadFileSystem(track); };
  job.Scan = [](size_t track, const std::string& folder) {
    QnlMainFrm->ExtractFiles(track, folder);
    return QnlMainFrm->GetLastOutcome();
  };
  job.ChooseWave = [this] {
    const std::string wav = AskSaveFile(this, {CddaDir, "", txt::kWaveFilter, txt::kWaveExtension},
                                        /*mayReplace=*/false);
    if (!wav.empty()) CddaDir = FolderOf(wav);
    return wav;
  };
  job.ChooseFolder = [this](const std::string& initialDir) {
    Picker.InitialDir = initialDir;
    return Picker.Execute() ? Picker.Directory : std::string();
  };
  job.AskScan = [this](const TIsoExtracter::TDamage* lacking) { return AskScan(lacking); };
  job.ShowTree = [this](std::string& folder) { ShowViewer(folder); };
  job.Tell = [this](const TTrackExtractJob::TNote& note) { Error(NoteText(note)); };
  job.TellDamage = [this](const TIsoExtracter::TDamage& damage) { TellDamage(this, damage); };
  job.ReadPvd = ReadPvd;
  job.ListOnly = ListOnly;
  job.ExtractFolder = FileExtractDir;
  return job;
}

void TTocDlg::ExtractSingleExecute() {
  const int index = SelectedRow(TrackList);
  if (index < 0) return;
  TTrackExtractJob job = NewJob();
  job.ExtractSelected(static_cast<size_t>(index));
  FileExtractDir = job.ExtractFolder;
}

void TTocDlg::ExtractMultiExecute() {
  Picker.InitialDir = MultiDir;
  if (!Picker.Execute()) return;
  MultiDir = Picker.Directory;
  std::vector<size_t> checked;
  for (int i = 0; i < TrackList->topLevelItemCount(); ++i)
    if (TrackList->topLevelItem(i)->checkState(0) == Qt::Checked) checked.push_back(static_cast<size_t>(i));
  NewJob().ExtractChecked(checked, MultiDir);
}
