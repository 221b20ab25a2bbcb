#pragma once
// The About box: the program's name and purpose, and a button to its web page.
#include <QDialog>

class QPushButton;

class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  void WebSiteBtnClick();

  QPushButton* WebSiteBtn = nullptr;
  QPushButton* OkBtn = nullptr;
};
