#pragma once
// The recorded-audio imaging window: pick a WAV recording of a data track and the name
// of the image to write, then run; the sync dialogs are asked where the sync is missing.
#include <QWidget>

#include "audio/Analogfile.h"
#include "audio/Analogimage.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class TAnalogFrm : public QWidget {
  Q_OBJECT

 public:
  explicit TAnalogFrm(QWidget* parent = nullptr);

  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QLabel* AnalogPalthLbl;
  QLineEdit* AnalogFileNameEdit;
  QPushButton* Button2;
  QLabel* Label1;
  QLineEdit* ImagePathEdit;
  QPushButton* Button3;
  QPushButton* Button1;
  QFileDialog* WavOpenDlg;
  QFileDialog* ImageSaveDlg;

  void Button2Click();
  void Button3Click();
  void Button1Click();
  // 1 when the image was written, 0 otherwise.
  int MakeImage();
  int SearchSync(int start);
  int ReadData(int offset, int count, uint8_t* destination);

  // The outcome of the last run, for whoever needs more than MakeImage's 0 or 1.
  const TImageResult& LastResult() const { return Result; }

 private:
  void CreateFileDialogs();
  void ShowOpenError();
  void ShowImageError();

  TAnalogFile AnalogFile;
  TImageResult Result;
};

extern TAnalogFrm* AnalogFrm;
