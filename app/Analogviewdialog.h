#pragma once
// What the three sync dialogs share: the message, the OK button, and the hex view of
// 2352 bytes of the recording at a chosen offset, optionally descrambled.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

class TAnalogViewDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAnalogViewDlg(QWidget* parent = nullptr);

  QLabel* MessageLbl;
  QPushButton* OkBtn;
  QLineEdit* ViewEdit;
  QPushButton* Button2;
  QCheckBox* ScrambleCk;
  QPlainTextEdit* ViewMemo;

  int ViewOffset = 0;
  // The caller's offset before the dialog is shown; the user's choice after it.
  int Offset = 0;

  void ViewEditChange();
  void Button2Click();
  // Closing the window or Escape answers as the cancel choice, result 1.
  void reject() override;

 protected:
  // Every show: the offset in the edit, the memo cleared.
  void showEvent(QShowEvent* event) override;
  virtual void FormShow();
  // The radio buttons go between the message and the OK button.
  QVBoxLayout* ChoiceLayout;
  virtual void OkBtnClick() = 0;
};
