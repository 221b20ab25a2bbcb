#include "app/Progressdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/Forms.h"
#include "app/Global.h"
#include "app/Texts.h"

TProgressDlg::TProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QString::fromUtf8(txt::kProgressCaption));
  setFont(FormFont());
  setFixedSize(358, 109);
  TimeLbl1 = new QLabel(QString::fromUtf8(txt::kElapsedLabel), this);
  TimeLbl = new QLabel(QString::fromUtf8(txt::kElapsedStart), this);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setRange(0, 100);
  ProgressBar->setTextVisible(false);
  CancelBtn = new QPushButton(QString::fromUtf8(txt::kCancelButton), this);
  CancelBtn->setFocusPolicy(Qt::NoFocus);
  CancelBtn->setAutoDefault(false);
  Timer = new QTimer(this);
  Timer->setInterval(TProgressModel::kTickMilliseconds);
  CancelRequest = CancelAll;
  Pump = new QTimer(this);
  Pump->setInterval(kPumpMilliseconds);

  auto* time = new QHBoxLayout;
  time->addWidget(TimeLbl1);
  time->addWidget(TimeLbl);
  time->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CancelBtn);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(time);
  layout->addWidget(ProgressBar);
  layout->addLayout(buttons);

  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
  connect(Pump, &QTimer::timeout, this, [this] { Drain(); });
}

void TProgressDlg::SetText(std::string_view text) { Model.SetText(text); }

void TProgressDlg::Deliver(TProgressEvent event) {
  std::lock_guard lock(QueueLock);
  Queue.push_back(std::move(event));
}

void TProgressDlg::ShowModalUntilClosed() {
  Running = true;
  Pump->start();
  exec();
  Pump->stop();
  Running = false;
}

TWorkerOutcome TProgressDlg::Run(const std::function<bool()>& operation) {
  Outcome = woFailed;
  if (operation()) return woDone;
  return Outcome == woCancelled ? woCancelled : woFailed;
}

void TProgressDlg::Drain() {
  std::deque<TProgressEvent> batch;
  {
    std::lock_guard lock(QueueLock);
    batch.swap(Queue);
  }
  for (const TProgressEvent& event : batch) {
    if (!Running) break;  // a worker sends nothing after its closing code
    Apply(event);
  }
}

void TProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TProgressDlg::FormShow() {
  Model.Show();
  Timer->start();
  Render();
}

void TProgressDlg::TimerTimer() {
  Model.Tick();
  Render();
}

void TProgressDlg::CancelBtnClick() {
  if (CancelRequest) CancelRequest();
}

void TProgressDlg::Apply(const TProgressEvent& event) {
  if (!Model.Apply(event)) {
    Render();
    return;
  }
  Timer->stop();
  Render();
  Running = false;
  done(QDialog::Accepted);
}

void TProgressDlg::Render() {
  setWindowTitle(QString::fromStdString(Model.GetCaption()));
  TimeLbl->setText(QString::fromStdString(Model.GetTimeLabel()));
  // A maximum of 0 would turn the bar into a busy indicator; the shown position is
  // already held inside 0..maximum.
  ProgressBar->setRange(0, std::max(Model.GetMaximum(), 1));
  ProgressBar->setValue(Model.GetShownPosition());
}

void TProgressDlg::reject() {
  if (Running) {
    CancelBtnClick();
    return;
  }
  QDialog::reject();
}

void TProgressDlg::closeEvent(QCloseEvent* event) {
  if (Running) {
    CancelBtnClick();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
