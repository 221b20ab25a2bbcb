#pragma once
// The track list of the current disc, one checkable line per track. Extraction, editing
// and the list's own file commands are not built yet.
#include <QDialog>

class QTreeWidget;
class QPushButton;

class TTocDlg : public QDialog {
 public:
  explicit TTocDlg(QWidget* parent = nullptr);
  // Fills the list from CdTracks, every line unchecked.
  void FormShow();

  QTreeWidget* TrackList = nullptr;
  QPushButton* CloseBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};
