#pragma once
// The plug in window; its controls are not built yet.
#include "app/Dialogshell.h"

class TPluginSettingDlg : public TDialogShell {
 public:
  explicit TPluginSettingDlg(QWidget* parent = nullptr) : TDialogShell(txt::kPluginSettingCaption, parent) {}
};
