#pragma once
// The file viewer window; its controls are not built yet.
#include "app/Dialogshell.h"

class TFileViewer : public TDialogShell {
 public:
  explicit TFileViewer(QWidget* parent = nullptr) : TDialogShell(txt::kFileViewerCaption, parent) {}
};
