#pragma once
// The file system window; its controls are not built yet.
#include "app/Dialogshell.h"

class TIsoSettingDlg : public TDialogShell {
 public:
  explicit TIsoSettingDlg(QWidget* parent = nullptr) : TDialogShell(txt::kIsoSettingCaption, parent) {}
};
