#pragma once
// Shows the tree of files the ISO extracter built from a data track (a volume read or a
// recovery scan) as a folder tree and a file list, and copies out the selected file, the
// checked files of the shown folder, or the whole tree. Nothing already on disk is
// replaced: a name that is taken gets a number. What the copies of one command could not
// read is told once after them.
#include <QDialog>
#include <string>
#include <vector>

#include "app/Krdirdlg.h"
#include "recovery/Extractjob.h"

class QAction;
class QTreeView;
class QTreeWidget;
class TFolderTreeModel;

class TFileViewer : public QDialog {
 public:
  explicit TFileViewer(QWidget* parent = nullptr);

  // The last output folder; the caller sets it before showing and reads it after.
  std::string Folder;

  void FormShow();
  void FormClose();
  void ClearAll();
  void BuildTree();
  void DiscTreeChange();
  void FileReadExecute();
  void FileReadMultiExecute();
  void FileReadAllExecute();
  void FileCheckAllExecute();
  void FileUncheckAllExecute();
  // Copies the entry's children into `folder` (made when missing), depth first. False at
  // the first folder or file that fails, after telling the user which, or that the user
  // cancels.
  bool ReadDirectory(const TExtractedFile& entry, const std::string& folder);

  const std::vector<const TExtractedFile*>& GetRows() const { return Rows; }

  QTreeView* DiscTree = nullptr;  // over FolderModel
  TFolderTreeModel* FolderModel = nullptr;
  QTreeWidget* FileList = nullptr;
  QAction* FileRead = nullptr;
  QAction* FileReadMulti = nullptr;
  QAction* FileReadAll = nullptr;
  QAction* FileCheckAll = nullptr;
  QAction* FileUncheckAll = nullptr;
  QAction* FileClose = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void CreateActions();
  void CreateControls();
  // A copy job whose messages are this window's.
  TFileCopyJob NewJob();
  void SetCheckAll(bool checked);

  std::vector<const TExtractedFile*> Rows;
  TKrDirectoryDialog Picker;
};
