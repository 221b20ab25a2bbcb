#include "app/Krdirdlg.h"

#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <filesystem>

#include "app/Formkit.h"
#include "app/Texts.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The platform's own dialog, opened on `initialDir` when that folder exists.
void Prepare(QFileDialog& dialog, const std::string& initialDir) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  std::error_code ec;
  if (!initialDir.empty() && std::filesystem::is_directory(initialDir, ec)) dialog.setDirectory(Q(initialDir));
}

// Centred on the window that asks and kept on its screen. Qt's own placement guesses the
// window frames, which puts the dialog off centre where the system does not report them.
void CentreOnOwner(QFileDialog& dialog) {
  const QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
  if (owner == nullptr || !owner->isVisible()) return;
  const QRect area = owner->screen()->availableGeometry();
  QRect placed(QPoint(), dialog.size());
  placed.moveCenter(owner->frameGeometry().center());
  placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
  placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
  dialog.move(placed.topLeft());
}

// Keeps Choose in step with the typed folder. The dialog looks again only when the text
// changes, so a folder made after it was typed would stay refused; the nearest existing
// folder on the typed path is watched, and a change there is a change of the text.
void FollowTypedFolder(QFileDialog& dialog, QFileSystemWatcher& watcher) {
  auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
  if (edit == nullptr) return;
  const auto watchNearest = [&dialog, &watcher, edit] {
    if (!watcher.directories().isEmpty()) watcher.removePaths(watcher.directories());
    std::filesystem::path nearest =
        std::filesystem::path(dialog.directory().absolutePath().toStdString()) / edit->text().toStdString();
    std::error_code ec;
    while (nearest.has_relative_path() && !std::filesystem::is_directory(nearest, ec)) nearest = nearest.parent_path();
    watcher.addPath(Q(nearest.string()));
  };
  QObject::connect(edit, &QLineEdit::textChanged, &watcher, watchNearest);
  QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, edit,
                   [edit] { emit edit->textChanged(edit->text()); });
}

std::string Chosen(QFileDialog& dialog) {
  CentreOnOwner(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

bool TKrDirectoryDialog::Execute() {
  QFileDialog dialog(Owner, Q(Title));
  Prepare(dialog, InitialDir);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  QFileSystemWatcher watcher;
  FollowTypedFolder(dialog, watcher);
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
    QMessageBox::critical(owner, QString(), Text(txt::kFileExists));
  }
}

std::string FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string() : folder.string();
}
