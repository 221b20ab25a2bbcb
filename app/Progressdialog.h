#pragma once
// The one progress window every long operation shows while its worker runs: elapsed
// time, a bar and Cancel. Reports arrive on the worker's thread and are applied, in
// order, on the user-interface thread.
#include <QDialog>
#include <deque>
#include <functional>
#include <mutex>

#include "worker/Progressmodel.h"
#include "worker/Workerprotocol.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TProgressDlg : public QDialog, public IProgressView {
 public:
  explicit TProgressDlg(QWidget* parent = nullptr);

  void SetText(std::string_view text) override;
  // Any thread: queues the report and returns at once. The first report of a batch posts
  // one call to the user-interface thread, which applies the batch in order; the worker
  // never touches a control.
  void Deliver(TProgressEvent event) override;
  void ShowModalUntilClosed() override;

  void FormShow();
  void TimerTimer();
  void CancelBtnClick();

  // What Cancel, Esc and the close button ask for: every engine to stop its worker.
  std::function<void()> CancelRequest;

  const TProgressModel& GetModel() const { return Model; }

  QLabel* TimeLbl1 = nullptr;
  QLabel* TimeLbl = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QPushButton* CancelBtn = nullptr;
  QTimer* Timer = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  // Esc and the window's close button cancel like Cancel while a worker runs: the
  // window may close only when the worker has ended.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void PostDrain();
  void Drain();
  void Close();
  void Render();

  TProgressModel Model;
  bool Running = false;
  std::mutex QueueLock;
  std::deque<TProgressEvent> Queue;
};
