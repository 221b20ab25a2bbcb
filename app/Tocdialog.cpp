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
#include <filesystem>

#include "app/Fileviewerform.h"
#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Positiondialog.h"
#include "app/Texts.h"
#include "recovery/Isoextracter.h"
#include "sector/Datasector.h"

namespace fs = std::filesystem;

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

bool Taken(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool MakeFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
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

bool TTocDlg::AskScan() {
  QApplication::beep();
  return QMessageBox::critical(this, QString(), Text(txt::kMsgNoVolume), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool TTocDlg::AskScanDamaged() {
  const std::string damage = DamageText(IsoExtracter.GetDamage());
  if (damage.empty()) return false;
  return PlainBox(this, QMessageBox::Critical, QString::fromStdString(damage + "\n" + txt::kMsgScanDamaged),
                  QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
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

TTocDlg::TTrackKind TTocDlg::Classify(const TCdTrack& track) {
  switch (track.FileSystem) {
    case fsCdda:
    case fsCddaEmph:
      return track.DataType == dtAudio ? TTrackKind::Audio : TTrackKind::TypeMismatch;
    case fsIso9660:
      return track.DataType >= dtMode1 && track.DataType <= dtMode2Formless ? TTrackKind::Data
                                                                             : TTrackKind::TypeMismatch;
    default:
      return TTrackKind::NoFileSystem;
  }
}

bool TTocDlg::CheckRange(const TCdTrack& track) {
  if (track.Tail > track.Head) return true;
  Error(WithTrackNo(txt::kMsgEmptyTrackN, track.TrackNo));
  return false;
}

std::string TTocDlg::FreeTrackName(const std::string& folder, int trackNo, const char* extension) {
  char base[32];
  std::snprintf(base, sizeof base, "Track%.2d", trackNo);
  std::string name = (fs::path(folder) / (std::string(base) + extension)).string();
  for (int n = 1; Taken(name); ++n) {
    char numbered[48];
    std::snprintf(numbered, sizeof numbered, "%s_%.2d%s", base, n, extension);
    name = (fs::path(folder) / numbered).string();
  }
  return name;
}

void TTocDlg::ShowViewer(std::string& folder) {
  FileViewer->Folder = folder;
  FileViewer->exec();
  folder = FileViewer->Folder;
}

TTocDlg::TEnd TTocDlg::EndOf(TWorkerOutcome outcome) {
  switch (outcome) {
    case woDone:
      return TEnd::Extracted;
    case woCancelled:
      return TEnd::Stopped;
    default:
      return TEnd::Failed;
  }
}

TTocDlg::TEnd TTocDlg::Rip(size_t index, const std::string& wav) {
  QnlMainFrm->RipAudioTrack(index, wav);
  return EndOf(QnlMainFrm->GetLastOutcome());
}

TTocDlg::TEnd TTocDlg::RunScan(size_t index, const std::string& folder) {
  if (!MakeFolder(folder)) {
    Error(Text(txt::kMsgFolderFailed) + QString::fromStdString(folder));
    return TEnd::Stopped;
  }
  QnlMainFrm->ExtractFiles(index, folder);
  const TEnd end = EndOf(QnlMainFrm->GetLastOutcome());
  if (end == TEnd::Extracted) TellDamage(this, IsoExtracter.GetDamage());
  return end;
}

// Single: the viewer's folder is FileExtractDir and the scan asks for its folder.
// Multi: both use the track's own folder.
TTocDlg::TEnd TTocDlg::ExtractData(size_t index, std::string folder, bool multi) {
  TEnd end = TEnd::Extracted;
  std::string& viewerFolder = multi ? folder : FileExtractDir;
  const bool volume = ReadPvd && QnlMainFrm->ReadFileSystem(index);
  // A volume that lacks directory sectors is told, with the scan offered in its place.
  const bool scan = !ReadPvd || (volume ? AskScanDamaged() : AskScan());
  if (volume && !scan) {
    if (multi) MakeFolder(folder);  // where the viewer offers to copy the track's files
    ShowViewer(viewerFolder);
  } else if (scan) {
    bool chosen = true;
    if (!multi) {
      Picker.InitialDir = FileExtractDir;
      chosen = Picker.Execute();
      if (chosen) folder = FileExtractDir = Picker.Directory;
    }
    if (chosen) {
      IsoExtracter.Clear();  // the scan lists the track afresh, not beside a volume's tree
      end = RunScan(index, folder);
    }
    // After the question the list shows whether or not a folder was chosen; with the volume
    // read switched off, no folder ends it.
    if (ListOnly && (chosen || ReadPvd)) ShowViewer(viewerFolder);
  }
  // The tree belongs to this track only: the next scan must not add to it.
  IsoExtracter.Clear();
  return end;
}

void TTocDlg::ExtractSingleExecute() {
  const int index = SelectedRow(TrackList);
  if (index < 0 || static_cast<size_t>(index) >= CdTracks.size()) return;
  const auto i = static_cast<size_t>(index);
  const TCdTrack track = CdTracks[i];
  TEnd end = TEnd::Extracted;
  switch (Classify(track)) {
    case TTrackKind::Audio: {
      if (!CheckRange(track)) return;
      const std::string wav = AskSaveFile(this, {CddaDir, "", txt::kWaveFilter, txt::kWaveExtension},
                                          /*mayReplace=*/false);
      if (wav.empty()) return;
      CddaDir = FolderOf(wav);
      end = Rip(i, wav);
      break;
    }
    case TTrackKind::Data:
      if (!CheckRange(track)) return;
      end = ExtractData(i, {}, /*multi=*/false);
      break;
    case TTrackKind::TypeMismatch:
      return Error(Text(txt::kMsgTypeMismatch));
    case TTrackKind::NoFileSystem:
      return Error(Text(txt::kMsgNoFileSystem));
  }
  if (end == TEnd::Failed) Error(TrackFailed(track.TrackNo, /*audio=*/Classify(track) == TTrackKind::Audio));
}

void TTocDlg::ExtractMultiExecute() {
  Picker.InitialDir = MultiDir;
  if (!Picker.Execute()) return;
  MultiDir = Picker.Directory;
  const std::string folder = MultiDir;
  for (int i = 0; i < TrackList->topLevelItemCount(); ++i) {
    if (TrackList->topLevelItem(i)->checkState(0) != Qt::Checked || static_cast<size_t>(i) >= CdTracks.size())
      continue;
    const auto index = static_cast<size_t>(i);
    const TCdTrack track = CdTracks[index];
    const TTrackKind kind = Classify(track);
    if (kind == TTrackKind::TypeMismatch) return Error(WithTrackNo(txt::kMsgTypeMismatchN, track.TrackNo));
    if (kind == TTrackKind::NoFileSystem) return Error(WithTrackNo(txt::kMsgNoFileSystemN, track.TrackNo));
    if (!CheckRange(track)) return;
    const TEnd end = kind == TTrackKind::Audio
                         ? Rip(index, FreeTrackName(folder, track.TrackNo, ".wav"))
                         : ExtractData(index, FreeTrackName(folder, track.TrackNo, ""), /*multi=*/true);
    // The tracks after a failed or cancelled one are not extracted; a failure says where
    // the run stopped.
    if (end == TEnd::Failed) Error(TrackFailed(track.TrackNo, /*audio=*/kind == TTrackKind::Audio));
    if (end != TEnd::Extracted) return;
  }
}
