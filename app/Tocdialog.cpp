#include "app/Tocdialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Forms.h"
#include "app/Global.h"
#include "app/Listtexts.h"
#include "app/Texts.h"

TTocDlg::TTocDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(txt::kTocDlgCaption));
  setFont(FormFont());
  TrackList = new QTreeWidget(this);
  TrackList->setFont(FixedFont());
  TrackList->setRootIsDecorated(false);
  TrackList->setUniformRowHeights(true);
  QStringList headers;
  for (const char* text : txt::kTrackColumns) headers << QString::fromUtf8(text);
  TrackList->setHeaderLabels(headers);
  TrackList->header()->setFont(FormFont());
  for (int k = 0; k < headers.size(); ++k) TrackList->setColumnWidth(k, 75);
  TrackList->setMinimumSize(7 * 75 + 24, 220);
  CloseBtn = new QPushButton(QString::fromUtf8(txt::kCloseButton), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CloseBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(TrackList);
  layout->addLayout(buttons);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TTocDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TTocDlg::FormShow() {
  TrackList->clear();
  for (const TCdTrack& track : CdTracks) {
    auto* item = new QTreeWidgetItem(TrackList);
    for (int k = 0; k < TrackList->columnCount(); ++k)
      item->setText(k, QString::fromStdString(TrackColumnText(track, k)));
    item->setCheckState(0, Qt::Unchecked);
  }
}
