// GoogleTest with a QApplication on the offscreen platform (unless one is chosen).
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Forms.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  InstallFontSubstitutes();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
