// GoogleTest with a QApplication on the offscreen platform (unless one is chosen).
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "app/Forms.h"

namespace {

long ThreadCount() {
  std::error_code ec;
  const std::filesystem::directory_iterator tasks("/proc/self/task", ec);
  return ec ? 1 : std::distance(tasks, std::filesystem::directory_iterator());
}

// Qt joins its thread pools' and file dialogs' threads as the application ends, but a
// joined thread still lets go of its thread data on its way out: a leak check at exit
// that comes first takes that data for a leak. The process ends once they are gone.
void AwaitOtherThreadsGone() {
  for (int i = 0; i < 400 && ThreadCount() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int result = 0;
  {
    QApplication application(argc, argv);
    InstallFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  AwaitOtherThreadsGone();
  return result;
}
