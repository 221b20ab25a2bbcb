#include "app/Analogviewdialog.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>
#include <vector>

#include "app/Analogform.h"
#include "app/Formkit.h"
#include "app/Texts.h"
#include "sector/Datasector.h"
#include "sector/Scramble.h"

namespace {

constexpr int kBytesPerLine = 16;

QString Hex8(int value) { return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

TAnalogViewDlg::TAnalogViewDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kProgramTitle));
  MessageLbl = new QLabel(this);
  MessageLbl->setObjectName("MessageLbl");
  OkBtn = new QPushButton(Text(txt::kAnalogOk), this);
  OkBtn->setObjectName("OkBtn");
  OkBtn->setDefault(true);
  ViewEdit = new QLineEdit(QStringLiteral("0"), this);
  ViewEdit->setObjectName("ViewEdit");
  Button2 = new QPushButton(Text(txt::kAnalogView), this);
  Button2->setObjectName("Button2");
  ScrambleCk = new QCheckBox(Text(txt::kAnalogDescramble), this);
  ScrambleCk->setObjectName("ScrambleCk");
  ViewMemo = new QPlainTextEdit(this);
  ViewMemo->setObjectName("ViewMemo");
  ViewMemo->setReadOnly(true);
  ViewMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  ViewMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ViewMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ViewMemo->setMinimumSize(560, 220);

  auto* top = new QVBoxLayout(this);
  top->addWidget(MessageLbl);
  ChoiceLayout = new QVBoxLayout;
  top->addLayout(ChoiceLayout);
  auto* okRow = new QHBoxLayout;
  okRow->addStretch();
  okRow->addWidget(OkBtn);
  top->addLayout(okRow);
  auto* viewRow = new QHBoxLayout;
  viewRow->addWidget(ViewEdit);
  viewRow->addWidget(Button2);
  viewRow->addWidget(ScrambleCk);
  viewRow->addStretch();
  top->addLayout(viewRow);
  top->addWidget(ViewMemo);

  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(ViewEdit, &QLineEdit::textEdited, this, [this] { ViewEditChange(); });
}

void TAnalogViewDlg::reject() { done(1); }

void TAnalogViewDlg::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TAnalogViewDlg::FormShow() {
  ViewEdit->setText(Hex8(ViewOffset));
  ViewMemo->clear();
}

// Offsets are kept non-negative: a value past the signed range keeps the last offset,
// as any other text that is not hexadecimal does.
void TAnalogViewDlg::ViewEditChange() {
  bool ok = false;
  const qulonglong value = ViewEdit->text().toULongLong(&ok, 16);
  if (ok && value <= static_cast<qulonglong>(std::numeric_limits<int>::max())) ViewOffset = static_cast<int>(value);
  const int caret = ViewEdit->cursorPosition();
  ViewEdit->setText(Hex8(ViewOffset));
  ViewEdit->setCursorPosition(std::min(caret, static_cast<int>(ViewEdit->text().size())));
}

// Only the bytes the recording holds are shown: near its end that is less than a sector.
void TAnalogViewDlg::Button2Click() {
  ViewMemo->clear();
  std::vector<uint8_t> bytes(kRawSectorSize, 0);
  const int count = AnalogFrm ? AnalogFrm->ReadData(ViewOffset, static_cast<int>(bytes.size()), bytes.data()) : 0;
  if (ScrambleCk->isChecked()) Descramble(bytes.data(), 0, kRawSectorSize);
  QStringList lines;
  for (int line = 0; line < count; line += kBytesPerLine) {
    QString text = QStringLiteral("%1 : ").arg(line, 4, 16, QLatin1Char('0')).toUpper();
    for (int i = line; i < std::min(count, line + kBytesPerLine); ++i)
      text += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    lines << text;
  }
  ViewMemo->setPlainText(lines.join(QLatin1Char('\n')));  // shown from its first line
}
