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

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Texts.h"

TProgressDlg::TProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(Text(txt::kProgressCaption));
  setFont(FormFont());
  setFixedSize(358, 109);
  TimeLbl1 = new QLabel(Text(txt::kElapsedLabel), this);
  TimeLbl = new QLabel(Text(txt::kElapsedStart), this);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setRange(0, 100);
  ProgressBar->setTextVisible(false);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);
  CancelBtn->setFocusPolicy(Qt::NoFocus);
  CancelBtn->setAutoDefault(false);
  Timer = new QTimer(this);
  Timer->setInterval(TProgressModel::kTickMilliseconds);
  CancelRequest = CancelAll;

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
}

void TProgressDlg::SetText(std::string_view text) { Model.SetText(text); }

void TProgressDlg::Deliver(TProgressEvent event) {
  bool first = false;
  {
    std::lock_guard lock(QueueLock);
    first = Queue.empty();
    Queue.push_back(std::move(event));
  }
  if (first) PostDrain();  // the reports that come while a batch waits ride on its call
}

void TProgressDlg::PostDrain() {
  QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
}

void TProgressDlg::ShowModalUntilClosed() {
  Running = true;
  PostDrain();  // for the reports that came before the window
  exec();
  Running = false;
}

void TProgressDlg::Drain() {
  if (!Running) return;  // the reports wait for the window
  std::deque<TProgressEvent> batch;
  {
    std::lock_guard lock(QueueLock);
    batch.swap(Queue);
  }
  // A worker sends nothing after its closing code.
  for (const TProgressEvent& event : batch) {
    if (Model.Apply(event)) {
      Close();
      return;
    }
  }
  Render();
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

void TProgressDlg::Close() {
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
