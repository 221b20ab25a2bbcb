#pragma once
// Answers modal windows from a script: each step runs on the next modal window shown
// and must close it.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

class ModalScript {
 public:
  using Step = std::function<void(QWidget*)>;
  explicit ModalScript(std::vector<Step> steps) : Steps(std::move(steps)) {
    QObject::connect(&Timer, &QTimer::timeout, [this] { Poll(); });
    Timer.start(5);
  }
  size_t StepsRun() const { return Next; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || Next >= Steps.size()) return;
    Steps[Next++](modal);
  }

  std::vector<Step> Steps;
  size_t Next = 0;
  QTimer Timer;
};
