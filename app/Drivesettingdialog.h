#pragma once
// The drive window; its controls are not built yet.
#include "app/Dialogshell.h"

class TDrvSettingDlg : public TDialogShell {
 public:
  explicit TDrvSettingDlg(QWidget* parent = nullptr) : TDialogShell(txt::kDrvSettingCaption, parent) {}
};
