// The worker protocol with the progress window: reports reach the window in order on the
// user-interface thread, every end closes it, and Cancel, Esc and the close button stop
// a running worker without closing the window under it. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/Progressdialog.h"
#include "tests/app/ui/UiTestSupport.h"

namespace {

using ui_test::ModalScript;

class ProgressWindow : public ::testing::Test {
 protected:
  TProgressDlg Dialog;
  TWorkerHead Head;
};

TEST_F(ProgressWindow, ReportsReachTheWindowInOrderAndTheEndClosesIt) {
  struct Case {
    const char* Name;
    std::function<void(TWorkerHead&)> Work;
    TWorkerOutcome Outcome;
    int32_t Maximum, Position;
    std::string Status;
  };
  const Case cases[] = {
      {"steps and texts",
       [](TWorkerHead& h) {
         h.Notify(pcSetRange, 40);
         for (int i = 0; i < 30; ++i) h.Notify(i % 2 ? pcStep : pcStepIt);
         h.Notify(pcSetText, 0, "Track 02");
         h.Notify(pcSetPosition, 35);
         h.Notify(pcSetText, 0, "Track 03");
         h.Notify(static_cast<TProgressCode>(10), 99);  // unknown: nothing
       },
       woDone, 40, 40, "Track 03"},
      {"ends before the window shows", [](TWorkerHead&) {}, woDone, 1, 1, "Ripping Track 01..."},
      {"a range of 0 then a step",
       [](TWorkerHead& h) {
         h.Notify(pcSetRange, 0);
         h.Notify(pcStep);
       },
       woDone, 0, 0, "Ripping Track 01..."},
      {"fails", [](TWorkerHead& h) { h.Fail(); }, woFailed, 1, 1, "Ripping Track 01..."},
      {"throws", [](TWorkerHead&) { throw std::runtime_error("drive gone"); }, woFailed, 1, 0, "Ripping Track 01..."},
  };
  for (const Case& c : cases) {
    TWorkerJob job;
    job.Work = [&] { c.Work(Head); };
    EXPECT_EQ(Dialog.Run([&] { return LaunchWorker(Head, Dialog, "Ripping Track 01...", std::move(job)); }), c.Outcome)
        << c.Name;
    const TProgressModel& m = Dialog.GetModel();
    EXPECT_FALSE(Dialog.isVisible()) << c.Name;
    EXPECT_TRUE(m.IsCloseRequested()) << c.Name;
    EXPECT_EQ(m.GetMaximum(), c.Maximum) << c.Name;
    EXPECT_EQ(m.GetShownPosition(), c.Position) << c.Name;
    EXPECT_EQ(m.GetStatusText(), c.Status) << c.Name;
    EXPECT_EQ(Dialog.ProgressBar->value(), c.Position) << c.Name;
    EXPECT_EQ(Dialog.TimeLbl->text().toStdString(), "00:00") << c.Name;
    EXPECT_EQ(Head.GetState(), wsIdle) << c.Name;
  }
}

TEST_F(ProgressWindow, CancelEscAndTheCloseButtonStopARunningWorker) {
  enum class Press { Cancel, CancelTwice, Esc, CloseButton };
  for (Press press : {Press::Cancel, Press::CancelTwice, Press::Esc, Press::CloseButton}) {
    Dialog.CancelRequest = [this] { Head.Cancel(); };  // this head, not the program's engines
    int steps = 0;
    TWorkerJob job;
    job.Work = [&] {
      while (Head.KeepGoing()) {
        Head.Notify(pcStep);
        ++steps;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    };
    bool stillShown = false;
    ModalScript script;
    script.On<TProgressDlg>([&](TProgressDlg* d) {
      if (Head.GetState() != wsRunning || d->GetModel().GetPosition() < 3) return false;
      switch (press) {
        case Press::Cancel: d->CancelBtn->click(); break;
        case Press::CancelTwice: d->CancelBtn->click(), d->CancelBtn->click(); break;
        case Press::Esc: QTest::keyClick(d, Qt::Key_Escape); break;
        case Press::CloseButton: d->close(); break;
      }
      stillShown = d->isVisible();
      return true;
    });
    EXPECT_EQ(Dialog.Run([&] { return LaunchWorker(Head, Dialog, "Searching tracks...", std::move(job)); }),
              woCancelled);
    EXPECT_TRUE(stillShown) << static_cast<int>(press);
    EXPECT_FALSE(Dialog.isVisible());
    EXPECT_EQ(Head.GetState(), wsIdle);
    EXPECT_GE(steps, 3);
  }
  // An operation that refuses before it starts a run failed, whatever the last run did.
  EXPECT_EQ(Dialog.Run([] { return false; }), woFailed);
}

}  // namespace
