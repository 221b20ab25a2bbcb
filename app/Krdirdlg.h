#pragma once
// The folder picker and the file pickers of the windows. Each opens on a given folder
// and returns nothing when the user cancels; the windows are the platform's own widgets
// (not native ones) so that tests can answer them.
#include <string>

class QWidget;

class TKrDirectoryDialog {
 public:
  explicit TKrDirectoryDialog(QWidget* owner) : Owner(owner) {}

  // The folder shown when the picker opens; empty or missing: the picker's default.
  std::string InitialDir;
  std::string Title;
  // The folder chosen by the last successful Execute.
  std::string Directory;

  // False when cancelled; Directory then keeps its value.
  bool Execute();

 private:
  QWidget* Owner;
};

// `filter` in the "Name|*.x|All|*.*" form of the program's texts.
struct TFileChoice {
  std::string InitialDir;
  std::string FileName;
  const char* Filter = "";
  const char* DefaultExt = "";
};

// An existing file to open; empty when cancelled.
std::string AskOpenFile(QWidget* owner, const TFileChoice& choice);
// A name to save under; empty when cancelled. With `mayReplace` false a name that exists
// is refused with a message and the dialog asks again, so nothing is ever replaced.
std::string AskSaveFile(QWidget* owner, const TFileChoice& choice, bool mayReplace);

// "Name|*.x|All|*.*" as the platform's dialogs write filters: "Name (*.x);;All (*)".
std::string DialogFilter(const char* vclFilter);

// The folder of a chosen file, without a trailing separator (except for the root).
std::string FolderOf(const std::string& path);
