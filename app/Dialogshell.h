#pragma once
// A modal window with its caption and OK / Cancel, for the settings and viewer windows
// whose controls are not built yet: the menus that open them work, and OK / Cancel give
// the results their callers test.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Forms.h"
#include "app/Texts.h"

class TDialogShell : public QDialog {
 public:
  TDialogShell(const char* caption, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(caption));
    setFont(FormFont());
    Buttons = new QDialogButtonBox(this);
    OkBtn = Buttons->addButton(QString::fromUtf8(txt::kOkButton), QDialogButtonBox::AcceptRole);
    CancelBtn = Buttons->addButton(QString::fromUtf8(txt::kCancelButton), QDialogButtonBox::RejectRole);
    OkBtn->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  }

  QDialogButtonBox* Buttons = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};
