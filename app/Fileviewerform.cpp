#include "app/Fileviewerform.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "platform/OutputFile.h"
#include "recovery/Isoextracter.h"
#include "recovery/Outputname.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kDirectoryFlag = 0x02;

bool IsDirectory(const TExtractedFile& entry) { return (entry.DirRecord.GetFileFlags() & kDirectoryFlag) != 0; }

const TExtractedFile* EntryOf(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<const TExtractedFile*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

// `name` in `folder` made safe, numbered when something of that name is there already
// (a rebuilt directory can list one name twice).
std::string FreePath(const std::string& folder, const std::string& name) {
  const std::string leaf = SafeLeafName(name);
  std::error_code ec;
  std::string path = (fs::path(folder) / leaf).string();
  for (unsigned n = 1; fs::exists(fs::symlink_status(path, ec)); ++n)
    path = (fs::path(folder) / platform::NumberedName(leaf, n)).string();
  return path;
}

}  // namespace

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

  DiscTree = new QTreeWidget(this);
  DiscTree->setHeaderHidden(true);
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
  connect(DiscTree, &QTreeWidget::currentItemChanged, this, [this] { DiscTreeChange(); });
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
  DiscTree->clear();
}

void TFileViewer::BuildTree() {
  ClearAll();
  auto* root = new QTreeWidgetItem(DiscTree, {QString::fromStdString(IsoExtracter.GetVolumeLabel())});
  root->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&IsoExtracter.Root)));
  root->setIcon(0, style()->standardIcon(QStyle::SP_DriveCDIcon));
  for (const TExtractedFile& child : IsoExtracter.Root.Children) AddDirectoryNode(child, root);
  root->setExpanded(true);
  DiscTree->setCurrentItem(root);
}

void TFileViewer::AddDirectoryNode(const TExtractedFile& entry, QTreeWidgetItem* parent) {
  if (!IsDirectory(entry)) return;
  auto* node = new QTreeWidgetItem(parent, {QString::fromStdString(entry.Name)});
  node->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&entry)));
  node->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
  for (const TExtractedFile& child : entry.Children) AddDirectoryNode(child, node);
}

void TFileViewer::DiscTreeChange() {
  const TExtractedFile* folder = EntryOf(DiscTree->currentItem());
  if (!folder) return;
  FileList->clear();
  Rows.clear();
  for (const TExtractedFile& child : folder->Children) {
    if (IsDirectory(child)) continue;
    Rows.push_back(&child);
    auto* item = new QTreeWidgetItem(FileList);
    for (int k = 0; k < FileList->columnCount(); ++k)
      item->setText(k, QString::fromStdString(FileColumnText(child, k)));
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

bool TFileViewer::CopyFile(const TExtractedFile& entry, const std::string& path) {
  const TWorkerOutcome outcome = ProgressDlg->Run([&] { return IsoExtracter.ReadListedFile(entry, path); });
  if (outcome == woDone) {
    Damaged.Add(IsoExtracter.GetDamage());
    return true;
  }
  if (outcome == woCancelled) return false;  // the user stopped it: nothing to tell
  const QString failed = Text(txt::kMsgCopyFailed) + QString::fromStdString(path);
  QMessageBox::critical(this, QString(), WithReason(failed, IsoExtracter.GetFailure()));
  return false;
}

bool TFileViewer::MakeFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (fs::is_directory(folder, ec)) return true;
  QMessageBox::critical(this, QString(), Text(txt::kMsgFolderFailed) + QString::fromStdString(folder));
  return false;
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
  Damaged = {};
  if (CopyFile(entry, path)) TellDamage(this, Damaged);
}

void TFileViewer::FileReadMultiExecute() {
  const QList<QTreeWidgetItem*> folders = DiscTree->selectedItems();
  if (folders.isEmpty() || !EntryOf(folders.front())) return;
  Picker.InitialDir = Folder;
  if (!Picker.Execute()) return;
  Folder = Picker.Directory;
  if (!MakeFolder(Folder)) return;
  // Copies run behind the modal progress window; between them only painting is done, so
  // the list cannot change under the loop.
  const std::vector<const TExtractedFile*> rows = Rows;
  Damaged = {};
  bool copied = true;
  for (size_t i = 0; i < rows.size() && copied; ++i) {
    if (FileList->topLevelItem(static_cast<int>(i))->checkState(0) != Qt::Checked) continue;
    const std::string path = FreePath(Folder, rows[i]->Name);
    setWindowTitle(QString::fromStdString(path));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    copied = CopyFile(*rows[i], path);
  }
  setWindowTitle(Text(txt::kFileViewerCaption));
  if (copied) TellDamage(this, Damaged);
}

void TFileViewer::FileReadAllExecute() {
  Picker.InitialDir = Folder;
  if (!Picker.Execute()) return;
  Folder = Picker.Directory;
  Damaged = {};
  if (ReadDirectory(IsoExtracter.Root, Folder)) TellDamage(this, Damaged);
}

bool TFileViewer::ReadDirectory(const TExtractedFile& entry, const std::string& folder) {
  if (!MakeFolder(folder)) return false;
  for (const TExtractedFile& child : entry.Children) {
    const bool ok = IsDirectory(child) ? ReadDirectory(child, FreePath(folder, child.Name))
                                       : CopyFile(child, FreePath(folder, child.Name));
    if (!ok) return false;
  }
  return true;
}
