#pragma once
// Answering a file or folder dialog as a user does: the full path typed into the name box,
// then the dialog's own accept, which checks the choice.
#include <gtest/gtest.h>

#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <string>

namespace app_test {

// selectFile() alone is not enough: it leaves the name box untouched while the box has the
// keyboard focus, and whether it has it yet depends on when the window was activated, so
// under load the dialog would be accepted with an empty name and stay open.
inline void AnswerFileDialog(QFileDialog& dialog, const std::string& path) {
  auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
  if (name == nullptr) {
    ADD_FAILURE() << "a file dialog without its name box";
    return static_cast<QDialog&>(dialog).reject();
  }
  name->setText(QString::fromStdString(path));
  static_cast<QDialog&>(dialog).accept();
}

}  // namespace app_test
