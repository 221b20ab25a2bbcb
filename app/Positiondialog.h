#pragma once
// The track properties window; its controls are not built yet.
#include "app/Dialogshell.h"

class TTrackDlg : public TDialogShell {
 public:
  explicit TTrackDlg(QWidget* parent = nullptr) : TDialogShell(txt::kTrackDlgCaption, parent) {}
};
