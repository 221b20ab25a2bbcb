#include "app/Msfedit.h"

#include <QLineEdit>
#include <algorithm>

#include "sector/Address.h"

namespace {

int TwoDigits(const QString& text, int position) {
  bool ok = false;
  const int value = text.mid(position, 2).trimmed().toInt(&ok);
  return ok && value >= 0 ? value : 0;
}

}  // namespace

QLineEdit* NewMsfEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setInputMask("99:99:99;_");
  return edit;
}

QLineEdit* NewFramesEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setInputMask("9999999; ");
  return edit;
}

int64_t MsfTextToFrames(const QString& text) {
  const int minute = TwoDigits(text, 0);
  const int second = std::min(TwoDigits(text, 3), 59);
  const int frame = std::min(TwoDigits(text, 6), 74);
  return int64_t{minute} * kFramesPerMinute + second * kFramesPerSecond + frame;
}

QString PaddedFramesText(int64_t frames) { return QString::number(frames).rightJustified(7, '0'); }

QString MsfText(int64_t frames) { return QString::fromStdString(FramesToMsfText(frames)); }

void ShowEditText(QLineEdit* edit, const QString& text) {
  if (edit->displayText() == text) return;
  const int cursor = edit->cursorPosition();
  edit->setText(text);
  edit->setCursorPosition(cursor);
}
