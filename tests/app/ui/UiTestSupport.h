#pragma once
// Driving the windows in tests: a script that acts on each modal window as it comes up,
// the sample damaged disc in an emulated drive, and a fresh settings folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Forms.h"
#include "app/Global.h"
#include "emulator/EmulatedDrive.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TestDrive.h"

namespace ui_test {

// Acts on the modal windows in the order they are expected. A step gets the window and
// returns true once it is done with it (false: call again on the next poll). A modal
// window no step expects, or a run past the time limit, fails the test and is closed. A
// window that came up and closed between two polls (a progress window whose worker ended
// at once) still counts: its step runs on it closed.
class ModalScript {
 public:
  using Step = std::function<bool(QWidget*)>;

  ModalScript() {
    Clock.start();
    Timer.setInterval(5);
    QObject::connect(&Timer, &QTimer::timeout, [this] { Poll(); });
    Timer.start();
    Watcher.Hidden = [this](QWidget* w) {
      if (w != Current && w != Handled) Gone.emplace_back(w);
    };
    qApp->installEventFilter(&Watcher);
  }
  ~ModalScript() { EXPECT_TRUE(Steps.empty()) << Steps.size() << " expected window(s) never came up"; }

  template <typename T>
  ModalScript& On(std::function<bool(T*)> act) {
    Steps.push_back([act](QWidget* w) { return act(static_cast<T*>(w)); });
    Types.push_back([](QWidget* w) { return dynamic_cast<T*>(w) != nullptr; });
    return *this;
  }
  // The window shows; `act` runs once on it.
  template <typename T>
  ModalScript& Once(std::function<void(T*)> act) {
    return On<T>([act](T* w) {
      act(w);
      return true;
    });
  }

  std::vector<std::string> Seen;  // captions of the windows that came up, in order

 private:
  // Tells of the modal windows that close.
  struct HideWatcher : QObject {
    std::function<void(QWidget*)> Hidden;
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* w = qobject_cast<QWidget*>(watched);
      if (event->type() == QEvent::Hide && w && w->isWindow() && w->isModal()) Hidden(w);
      return false;
    }
  };

  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (Clock.elapsed() > kLimitMs) return GiveUp(w);
    CatchUp();
    if (w == nullptr || !w->isVisible()) {
      Handled = nullptr;
      return;
    }
    if (w == Handled) return;
    if (Steps.empty() || !Types.front()(w)) return Unexpected(w);
    if (Current != w) Seen.push_back(w->windowTitle().toStdString()), Current = w;
    if (!Steps.front()(w)) return;
    Steps.erase(Steps.begin());
    Types.erase(Types.begin());
    Handled = w;
    Current = nullptr;
  }
  // The steps of the windows that came and went unpolled.
  void CatchUp() {
    for (; !Gone.empty(); Gone.erase(Gone.begin())) {
      QWidget* gone = Gone.front();
      if (!gone || Steps.empty() || !Types.front()(gone)) continue;
      Seen.push_back(gone->windowTitle().toStdString());
      Steps.front()(gone);
      Steps.erase(Steps.begin());
      Types.erase(Types.begin());
    }
  }
  void Unexpected(QWidget* w) {
    ADD_FAILURE() << "unexpected window: " << w->windowTitle().toStdString();
    Handled = w;
    if (auto* dialog = dynamic_cast<QDialog*>(w)) dialog->reject();
  }
  void GiveUp(QWidget* w) {
    if (!TimedOut) ADD_FAILURE() << "the windows did not finish in time";
    TimedOut = true;
    CancelAll();
    if (auto* dialog = dynamic_cast<QDialog*>(w)) dialog->reject();
  }

  static constexpr qint64 kLimitMs = 120000;
  QTimer Timer;
  QElapsedTimer Clock;
  std::vector<Step> Steps;
  std::vector<std::function<bool(QWidget*)>> Types;
  // Guarded: a window made where a closed one lay is a new window, not one already handled.
  QPointer<QWidget> Handled;
  QPointer<QWidget> Current;
  std::vector<QPointer<QWidget>> Gone;
  HideWatcher Watcher;
  bool TimedOut = false;
};

// The columns of `list` too narrow for some text they show at the list's font: the list
// would cut it.
inline std::vector<int> CutColumns(QTreeWidget* list) {
  std::vector<int> cut;
  const QAbstractItemView* view = list;  // where Qt's own measure of a column is public
  for (int k = 0; k < list->columnCount(); ++k)
    if (view->sizeHintForColumn(k) > list->columnWidth(k)) cut.push_back(k);
  return cut;
}

// A window the user cannot resize.
inline bool FixedSize(const QWidget* window) { return window->minimumSize() == window->maximumSize(); }

// The sample disc of scripts/make-sample-disc.sh, built from files made by real tools,
// in an emulated drive.
inline std::shared_ptr<emu::EmulatedDrive> SampleDiscDrive(const test_support::TempDir& dir) {
  const std::string name = (dir / "sample").string();
  const std::string command =
      std::string(QNL_SOURCE_DIR "/scripts/make-sample-disc.sh '") + name + "' '" QNL_DISCBUILD "' >/dev/null";
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "cannot make the sample disc: " << command;
    return nullptr;
  }
  auto disc = test_support::LoadedDisc(name + ".ccd");
  return disc ? std::make_shared<emu::EmulatedDrive>(disc) : nullptr;
}

// Settings in a folder of the test's own; the windows made afresh and destroyed at the end.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", Config.Path.c_str(), 1);
    app_test::ResetGlobals();
  }
  void TearDown() override {
    DestroyForms();
    app_test::ResetGlobals();
  }

  static std::vector<std::vector<std::string>> RowTexts(QTreeWidget* list) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      std::vector<std::string> row;
      for (int k = 0; k < list->columnCount(); ++k) row.push_back(list->topLevelItem(i)->text(k).toStdString());
      rows.push_back(row);
    }
    return rows;
  }

  test_support::TempDir Config{"qnl-config"};
};

}  // namespace ui_test
