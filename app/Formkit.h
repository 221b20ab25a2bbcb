#pragma once
// Small builders the dialogs share: texts from the one texts place, combos with their
// items, number boxes with their ranges, arrow buttons and the row of dialog buttons.
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <exception>
#include <initializer_list>

#include "app/Messagetexts.h"
#include "app/Texts.h"

inline QString Text(const char* text) { return QString::fromUtf8(text); }

// A failure message with the code's reason on the line below it.
inline QString WithReason(const QString& message, TFailureCode code) {
  const char* reason = FailureText(code);
  return *reason != '\0' ? message + "\n" + Text(reason) : message;
}

// A box whose text shows as it is (names from a disc are never markup), after a beep;
// the button pressed.
inline QMessageBox::StandardButton PlainBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
  QApplication::beep();
  QMessageBox box(icon, QString(), text, buttons, owner);
  box.setTextFormat(Qt::PlainText);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

// Tells once what a volume read, copy or scan could not read; nothing when it read all.
inline void TellDamage(QWidget* owner, const TIsoExtracter::TDamage& damage) {
  const std::string text = DamageText(damage);
  if (!text.empty()) PlainBox(owner, QMessageBox::Warning, QString::fromStdString(text));
}

// An error that reached the message loop, its own text below.
inline QString UnexpectedErrorText(const std::exception& e) {
  return Text(txt::kMsgUnexpectedError) + "\n" + QString::fromUtf8(e.what());
}

template <size_t N>
QComboBox* NewCombo(QWidget* parent, const char* const (&items)[N]) {
  auto* combo = new QComboBox(parent);
  for (const char* item : items) combo->addItem(Text(item));
  return combo;
}

inline QSpinBox* NewSpin(QWidget* parent, int low, int high) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  return spin;
}

inline QToolButton* NewArrow(QWidget* parent, Qt::ArrowType type) {
  auto* button = new QToolButton(parent);
  button->setArrowType(type);
  button->setAutoRepeat(true);
  return button;
}

// The row of the list's selected line; -1 when no line is selected. The current line
// alone (which the list keeps after a selection is cleared) is no choice.
inline int SelectedRow(const QTreeWidget* list) {
  const QList<QTreeWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

// Widens every column of `list` too narrow for its header or a text it shows at the list's
// font (the forms' widths were made for another font). No column is made narrower, so a
// width the user chose stays where the texts fit.
inline void FitColumns(QTreeWidget* list) {
  const QAbstractItemView* view = list;  // where Qt's measure of a column is public
  for (int k = 0; k < list->columnCount(); ++k)
    list->setColumnWidth(k, std::max({list->columnWidth(k), view->sizeHintForColumn(k),
                                      list->header()->sectionSizeHint(k)}));
}

// Buttons right-aligned, the first one the default.
inline QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* b : buttons) row->addWidget(b);
  if (buttons.size() > 0) (*buttons.begin())->setDefault(true);
  return row;
}
