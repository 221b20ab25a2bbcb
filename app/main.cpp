// Quarnel: the windows are made in their start-up order and the main window runs until
// it closes; an error that escapes start-up or the loop is shown once.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Mainform.h"
#include "app/Texts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(Text(txt::kProgramTitle));
  InstallFontSubstitutes();
  int result = 0;
  try {
    CreateForms();
    QnlMainFrm->show();
    result = QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, Text(txt::kProgramTitle), UnexpectedErrorText(e));
    result = 0;
  }
  DestroyForms();
  return result;
}
