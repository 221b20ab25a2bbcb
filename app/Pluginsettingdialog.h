#pragma once
// The plug-in folder, and for each plug-in loaded from it whether the recovery scan asks
// it and in which order (rows are dragged one neighbour at a time). OK applies the order
// and the checks; Cancel leaves the plug-ins as they were when the window opened, also
// after Search or Browse loaded another folder.
#include <QDialog>
#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeWidget;

class TPluginSettingDlg : public QDialog {
 public:
  explicit TPluginSettingDlg(QWidget* parent = nullptr);

  void FormShow();
  void FormClose();
  void OkBtnClick();
  void SearchBtnClick();
  void BrowseBtnClick();
  void ClearList();
  void FillList();
  void ApplyOrder();
  // Row drags as the mouse gives them: press on a row, moves, release.
  void PluginListMouseDown(int row, bool leftButton, bool doubleClick);
  void PluginListMouseMove(int row);
  void PluginListMouseUp();

  const std::vector<unsigned>& GetDisplayOrder() const { return DisplayOrder; }

  QLineEdit* PathEdit = nullptr;
  QPushButton* BrowseBtn = nullptr;
  QPushButton* SearchBtn = nullptr;
  QTreeWidget* PluginList = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoadFrom(const std::string& directory);
  void ShowRow(int row);
  void RestoreOpened();

  std::vector<unsigned> DisplayOrder;
  bool Dragging = false;
  int DragRow = -1;
  // The folder, order and flags the window opened with, put back on Cancel when Search or
  // Browse loaded another set.
  std::string OpenedDirectory;
  std::vector<std::pair<std::string, bool>> OpenedOrder;
  bool Reloaded = false;
};
