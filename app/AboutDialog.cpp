#include "app/AboutDialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Texts.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                            Qt::WindowCloseButtonHint) {
  setWindowTitle(Text(txt::kAboutCaption));
  setFont(FormFont());
  auto* product = new QLabel(Text(txt::kAboutProduct), this);
  QFont big = product->font();
  big.setPixelSize(24);
  big.setBold(true);
  product->setFont(big);
  auto* description = new QLabel(Text(txt::kAboutDescription), this);
  auto* copyright = new QLabel(Text(txt::kAboutCopyright), this);
  WebSiteBtn = new QPushButton(Text(txt::kAboutWebSite), this);
  OkBtn = new QPushButton(Text(txt::kAboutOk), this);
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

void TAboutBox::WebSiteBtnClick() { QDesktopServices::openUrl(QUrl(Text(txt::kWebSiteUrl))); }
