#include "app/Fileviewerform.h"

#include <QAction>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/Foldertreemodel.h"
#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "recovery/Isoextracter.h"
#include "recovery/Outputname.h"

namespace fs = std::filesystem;

TFileViewer::TFileViewer(QWidget* parent) : QDialog(parent), Picker(this) {
  setWindowTitle(Text(txt::kFileViewerCaption));
  setFont(FormFont());
  CreateActions();
  CreateControls();
  resize(1000, 480);
}

void TFileViewer::CreateActions() {
  const auto action = [this](QAction*& slot, const char* caption, QStyle::StandardPixmap icon, auto handler) {
    slot = new QAction(style()->standardIcon(icon), Text(caption), this);
    connect(slot, &QAction::triggered, this, handler);
  };
  action(FileRead, txt::kFileRead, QStyle::SP_DialogSaveButton, [this] { FileReadExecute(); });
  action(FileReadMulti, txt::kFileReadMulti, QStyle::SP_DialogApplyButton, [this] { FileReadMultiExecute(); });
  action(FileReadAll, txt::kFileReadAll, QStyle::SP_DriveCDIcon, [this] { FileReadAllExecute(); });
  action(FileCheckAll, txt::kCheckAll, QStyle::SP_DialogYesButton, [this] { FileCheckAllExecute(); });
  action(FileUncheckAll, txt::kUncheckAll, QStyle::SP_DialogNoButton, [this] { FileUncheckAllExecute(); });
  action(FileClose, txt::kCloseButton, QStyle::SP_DialogCloseButton, [this] { reject(); });
}

void TFileViewer::CreateControls() {
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu(Text(txt::kViewerMenuFile));
  file->addActions({FileRead, FileReadMulti, FileReadAll});
  file->addSeparator();
  file->addAction(FileClose);
  QMenu* settings = menu->addMenu(Text(txt::kViewerMenuSettings));
  if (QnlMainFrm) settings->addAction(QnlMainFrm->SettingsDrive);
  auto* tools = new QToolBar(this);
  tools->addActions({FileRead, FileReadMulti, FileReadAll});
  tools->addSeparator();
  tools->addActions({FileCheckAll, FileUncheckAll});

  FolderModel = new TFolderTreeModel(this);
  FolderModel->RootIcon = style()->standardIcon(QStyle::SP_DriveCDIcon);
  FolderModel->FolderIcon = style()->standardIcon(QStyle::SP_DirIcon);
  DiscTree = new QTreeView(this);
  DiscTree->setHeaderHidden(true);
  DiscTree->setModel(FolderModel);
  FileList = new QTreeWidget(this);
  FileList->setRootIsDecorated(false);
  FileList->setUniformRowHeights(true);
  QStringList headers;
  for (const char* text : txt::kFileColumns) headers << Text(text);
  FileList->setHeaderLabels(headers);
  for (int k = 0; k < headers.size(); ++k) FileList->setColumnWidth(k, txt::kFileColumnWidths[k]);
  auto* split = new QSplitter(this);
  split->addWidget(DiscTree);
  split->addWidget(FileList);
  split->setStretchFactor(1, 3);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addWidget(tools);
  layout->addWidget(split, 1);
  connect(DiscTree->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { DiscTreeChange(); });
}

void TFileViewer::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFileViewer::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TFileViewer::FormShow() {
  setWindowTitle(Text(txt::kFileViewerCaption));
  BuildTree();
}

void TFileViewer::FormClose() { ClearAll(); }

void TFileViewer::ClearAll() {
  FileList->clear();
  Rows.clear();
  FolderModel->SetRoot(nullptr, {});
}

void TFileViewer::BuildTree() {
  ClearAll();
  FolderModel->SetRoot(&IsoExtracter.Root, QString::fromStdString(IsoExtracter.GetVolumeLabel()));
  const QModelIndex root = FolderModel->index(0, 0);
  DiscTree->expand(root);
  DiscTree->setCurrentIndex(root);
}

void TFileViewer::DiscTreeChange() {
  const TExtractedFile* folder = TFolderTreeModel::NodeOf(DiscTree->currentIndex());
  if (!folder) return;
  FileList->clear();
  Rows = TFileCopyJob::FilesOf(*folder);
  for (const TExtractedFile* file : Rows) {
    auto* item = new QTreeWidgetItem(FileList);
    for (int k = 0; k < FileList->columnCount(); ++k)
      item->setText(k, QString::fromStdString(FileColumnText(*file, k)));
    for (int k = 1; k < 5; ++k) item->setTextAlignment(k, Qt::AlignRight | Qt::AlignVCenter);
    item->setCheckState(0, Qt::Unchecked);
  }
  FitColumns(FileList);
}

void TFileViewer::SetCheckAll(bool checked) {
  for (int i = 0; i < FileList->topLevelItemCount(); ++i)
    FileList->topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void TFileViewer::FileCheckAllExecute() { SetCheckAll(true); }
void TFileViewer::FileUncheckAllExecute() { SetCheckAll(false); }

TFileCopyJob TFileViewer::NewJob() {
  TFileCopyJob job(IsoExtracter, *ProgressDlg);
  job.Tell = [this](TFileCopyJob::TNotice what, const std::string& path) {
    const QString where = QString::fromStdString(path);
    if (what == TFileCopyJob::TNotice::FolderFailed)
      QMessageBox::critical(this, QString(), Text(txt::kMsgFolderFailed) + where);
    else
      QMessageBox::critical(this, QString(), WithReason(Text(txt::kMsgCopyFailed) + where, IsoExtracter.GetFailure()));
  };
  job.Copying = [this](const std::string& path) { setWindowTitle(QString::fromStdString(path)); };
  return job;
}

void TFileViewer::FileReadExecute() {
  const int row = SelectedRow(FileList);
  if (row < 0 || static_cast<size_t>(row) >= Rows.size()) return;
  const TExtractedFile& entry = *Rows[static_cast<size_t>(row)];
  const TFileChoice choice{Folder, (fs::path(Folder) / SafeLeafName(entry.Name)).string(), txt::kAllFilesFilter,
                             ""};
  const std::string path = AskSaveFile(this, choice, /*mayReplace=*/false);
  if (path.empty()) return;
  // The folder the file went to is the one the user will want next time.
  Folder = FolderOf(path);
  TFileCopyJob job = NewJob();
  if (job.CopyFile(entry, path)) TellDamage(this, job.GetDamage());
}

void TFileViewer::FileReadMultiExecute() {
  const QModelIndexList folders = DiscTree->selectionModel()->selectedIndexes();
  if (folders.isEmpty() || !TFolderTreeModel::NodeOf(folders.front())) return;
  Picker.InitialDir = Folder;
  if (!Picker.Execute()) return;
  Folder = Picker.Directory;
  // The copies run behind the modal progress window, so the list cannot change under them.
  std::vector<const TExtractedFile*> checked;
  for (size_t i = 0; i < Rows.size(); ++i)
    if (FileList->topLevelItem(static_cast<int>(i))->checkState(0) == Qt::Checked) checked.push_back(Rows[i]);
  TFileCopyJob job = NewJob();
  const bool copied = job.CopyFiles(checked, Folder);
  setWindowTitle(Text(txt::kFileViewerCaption));
  if (copied) TellDamage(this, job.GetDamage());
}

void TFileViewer::FileReadAllExecute() {
  Picker.InitialDir = Folder;
  if (!Picker.Execute()) return;
  Folder = Picker.Directory;
  TFileCopyJob job = NewJob();
  if (job.CopyTree(IsoExtracter.Root, Folder)) TellDamage(this, job.GetDamage());
}

bool TFileViewer::ReadDirectory(const TExtractedFile& entry, const std::string& folder) {
  return NewJob().CopyTree(entry, folder);
}
