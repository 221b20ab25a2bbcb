#pragma once
// One choice of a sync dialog: a named radio button added to the dialog's choices.
#include <QRadioButton>
#include <QVBoxLayout>

inline QRadioButton* AddRadio(QWidget* dialog, QVBoxLayout* layout, const char* name, const QString& text) {
  auto* button = new QRadioButton(text, dialog);
  button->setObjectName(name);
  layout->addWidget(button);
  return button;
}
