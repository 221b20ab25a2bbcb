#include "app/Krdirdlg.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <filesystem>

#include "app/Texts.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The platform's own dialog, opened on `initialDir` when that folder exists.
void Prepare(QFileDialog& dialog, const std::string& initialDir) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  std::error_code ec;
  if (!initialDir.empty() && std::filesystem::is_directory(initialDir, ec)) dialog.setDirectory(Q(initialDir));
}

std::string Chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

bool TKrDirectoryDialog::Execute() {
  QFileDialog dialog(Owner, Q(Title));
  Prepare(dialog, InitialDir);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  const std::string chosen = Chosen(dialog);
  std::error_code ec;
  if (chosen.empty() || !std::filesystem::is_directory(chosen, ec)) return false;
  Directory = chosen;
  return true;
}

std::string DialogFilter(const char* vclFilter) {
  const QStringList parts = QString::fromUtf8(vclFilter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace("*.*", "*").replace(';', ' ');
    // "Track list files (*.trk)" already names its pattern.
    filters << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + patterns + ")");
  }
  return filters.join(";;").toStdString();
}

std::string AskOpenFile(QWidget* owner, const TFileChoice& choice) {
  QFileDialog dialog(owner, QString(), QString(), Q(DialogFilter(choice.Filter)));
  Prepare(dialog, choice.InitialDir);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QString::fromUtf8(choice.DefaultExt));
  return Chosen(dialog);
}

std::string AskSaveFile(QWidget* owner, const TFileChoice& choice, bool mayReplace) {
  QFileDialog dialog(owner, QString(), QString(), Q(DialogFilter(choice.Filter)));
  Prepare(dialog, choice.InitialDir);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QString::fromUtf8(choice.DefaultExt));
  if (!mayReplace) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!choice.FileName.empty()) dialog.selectFile(Q(choice.FileName));
  for (;;) {
    const std::string chosen = Chosen(dialog);
    std::error_code ec;
    if (chosen.empty() || mayReplace || !std::filesystem::exists(std::filesystem::symlink_status(chosen, ec)))
      return chosen;
    QMessageBox::critical(owner, QString(), QString::fromUtf8(txt::kFileExists));
  }
}

std::string FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string() : folder.string();
}
