#include "app/AboutDialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Forms.h"
#include "app/Texts.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                            Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(txt::kAboutCaption));
  setFont(FormFont());
  auto* product = new QLabel(QString::fromUtf8(txt::kAboutProduct), this);
  QFont big = product->font();
  big.setPixelSize(24);
  big.setBold(true);
  product->setFont(big);
  auto* description = new QLabel(QString::fromUtf8(txt::kAboutDescription), this);
  auto* copyright = new QLabel(QString::fromUtf8(txt::kAboutCopyright), this);
  WebSiteBtn = new QPushButton(QString::fromUtf8(txt::kAboutWebSite), this);
  OkBtn = new QPushButton(QString::fromUtf8(txt::kAboutOk), this);
  OkBtn->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(WebSiteBtn);
  buttons->addStretch();
  buttons->addWidget(OkBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(product);
  layout->addWidget(description);
  layout->addWidget(copyright);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(WebSiteBtn, &QPushButton::clicked, this, [this] { WebSiteBtnClick(); });
  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::WebSiteBtnClick() { QDesktopServices::openUrl(QUrl(QString::fromUtf8(txt::kWebSiteUrl))); }
