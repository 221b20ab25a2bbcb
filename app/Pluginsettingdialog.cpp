#include "app/Pluginsettingdialog.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Formkit.h"
#include "app/Forms.h"
#include "app/Global.h"
#include "app/Krdirdlg.h"
#include "app/Texts.h"

TPluginSettingDlg::TPluginSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(txt::kPluginSettingCaption));
  setFont(FormFont());
  PathEdit = new QLineEdit(this);
  BrowseBtn = new QPushButton(Text(txt::kBrowseButton), this);
  SearchBtn = new QPushButton(Text(txt::kSearchButton), this);
  PluginList = new QTreeWidget(this);
  PluginList->setRootIsDecorated(false);
  PluginList->setUniformRowHeights(true);
  PluginList->setSelectionMode(QAbstractItemView::SingleSelection);
  QStringList headers;
  for (const char* text : txt::kPluginColumns) headers << Text(text);
  PluginList->setHeaderLabels(headers);
  PluginList->header()->setSectionsMovable(false);
  for (int k = 0; k < 4; ++k) PluginList->setColumnWidth(k, txt::kPluginColumnWidths[k]);
  PluginList->viewport()->installEventFilter(this);
  OkBtn = new QPushButton(Text(txt::kOkButton), this);
  CancelBtn = new QPushButton(Text(txt::kCancelButton), this);

  auto* path = new QHBoxLayout;
  path->addWidget(new QLabel(Text(txt::kPathLabel), this));
  path->addWidget(PathEdit, 1);
  path->addWidget(BrowseBtn);
  path->addWidget(SearchBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(path);
  layout->addWidget(PluginList, 1);
  layout->addLayout(ButtonRow({OkBtn, CancelBtn}));
  setFixedSize(542, 358);

  connect(SearchBtn, &QPushButton::clicked, this, [this] { SearchBtnClick(); });
  connect(BrowseBtn, &QPushButton::clicked, this, [this] { BrowseBtnClick(); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TPluginSettingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TPluginSettingDlg::FormShow() {
  Dragging = false;
  DragRow = -1;
  ClearList();
  FillList();
  PathEdit->setText(QString::fromStdString(PluginManager.GetDirectory()));
  OpenedDirectory = PluginManager.GetDirectory();
  OpenedOrder.clear();
  for (unsigned i = 0; i < PluginManager.GetCount(); ++i)
    OpenedOrder.emplace_back(PluginManager.GetFileName(i), PluginManager.GetEnabled(i));
  Reloaded = false;
}

void TPluginSettingDlg::done(int result) {
  if (result != QDialog::Accepted) RestoreOpened();
  FormClose();
  QDialog::done(result);
}

void TPluginSettingDlg::FormClose() { ClearList(); }

void TPluginSettingDlg::RestoreOpened() {
  if (!Reloaded) return;
  PluginManager.LoadPlugins(OpenedDirectory);
  PluginManager.ApplyOrder(OpenedOrder);
  Reloaded = false;
}

void TPluginSettingDlg::ClearList() {
  PluginList->clear();
  DisplayOrder.clear();
}

void TPluginSettingDlg::FillList() {
  for (unsigned i = 0; i < PluginManager.GetCount(); ++i) {
    DisplayOrder.push_back(i);
    auto* item = new QTreeWidgetItem(PluginList);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, PluginManager.GetEnabled(i) ? Qt::Checked : Qt::Unchecked);
    ShowRow(static_cast<int>(DisplayOrder.size()) - 1);
  }
  FitColumns(PluginList);
}

void TPluginSettingDlg::ShowRow(int row) {
  QTreeWidgetItem* item = PluginList->topLevelItem(row);
  const unsigned e = DisplayOrder[static_cast<size_t>(row)];
  const std::string texts[4] = {PluginManager.GetName(e), PluginManager.GetVersion(e), PluginManager.GetCopyright(e),
                                PluginManager.GetDescription(e)};
  for (int k = 0; k < 4; ++k) item->setText(k, QString::fromStdString(texts[k]));
}

void TPluginSettingDlg::LoadFrom(const std::string& directory) {
  ClearList();
  PluginManager.LoadPlugins(directory);
  Reloaded = true;
  FillList();
}

void TPluginSettingDlg::SearchBtnClick() { LoadFrom(PathEdit->text().toStdString()); }

void TPluginSettingDlg::BrowseBtnClick() {
  TKrDirectoryDialog picker(this);
  picker.InitialDir = PathEdit->text().toStdString();
  if (!picker.Execute()) return;
  PathEdit->setText(QString::fromStdString(picker.Directory));
  LoadFrom(picker.Directory);
}

void TPluginSettingDlg::OkBtnClick() {
  ApplyOrder();
  accept();
}

void TPluginSettingDlg::ApplyOrder() {
  std::vector<std::pair<std::string, bool>> order;
  for (size_t r = 0; r < DisplayOrder.size(); ++r)
    order.emplace_back(PluginManager.GetFileName(DisplayOrder[r]),
                       PluginList->topLevelItem(static_cast<int>(r))->checkState(0) == Qt::Checked);
  PluginManager.ApplyOrder(order);
  for (size_t r = 0; r < DisplayOrder.size(); ++r) DisplayOrder[r] = static_cast<unsigned>(r);
}

void TPluginSettingDlg::PluginListMouseDown(int row, bool leftButton, bool doubleClick) {
  Dragging = false;
  DragRow = -1;
  if (doubleClick || !leftButton || row < 0 || row >= static_cast<int>(DisplayOrder.size())) return;
  DragRow = row;
  Dragging = true;
}

void TPluginSettingDlg::PluginListMouseMove(int row) {
  if (!Dragging || row < 0 || row == DragRow) return;
  if (row > DragRow + 1 || row < DragRow - 1) {  // a jump: the drag ends where it was
    PluginListMouseUp();
    return;
  }
  std::swap(DisplayOrder[static_cast<size_t>(row)], DisplayOrder[static_cast<size_t>(DragRow)]);
  QTreeWidgetItem* a = PluginList->topLevelItem(row);
  QTreeWidgetItem* b = PluginList->topLevelItem(DragRow);
  const Qt::CheckState state = a->checkState(0);
  a->setCheckState(0, b->checkState(0));
  b->setCheckState(0, state);
  ShowRow(row);
  ShowRow(DragRow);
  PluginList->setCurrentItem(a);
  DragRow = row;
}

void TPluginSettingDlg::PluginListMouseUp() {
  Dragging = false;
  DragRow = -1;
}

bool TPluginSettingDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched != PluginList->viewport()) return QDialog::eventFilter(watched, event);
  const auto rowAt = [this](QMouseEvent* e) {
    QTreeWidgetItem* item = PluginList->itemAt(e->position().toPoint());
    return item ? PluginList->indexOfTopLevelItem(item) : -1;
  };
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* e = static_cast<QMouseEvent*>(event);
      PluginListMouseDown(rowAt(e), e->button() == Qt::LeftButton, event->type() == QEvent::MouseButtonDblClick);
      break;
    }
    case QEvent::MouseMove:
      PluginListMouseMove(rowAt(static_cast<QMouseEvent*>(event)));
      break;
    case QEvent::MouseButtonRelease:
      PluginListMouseUp();
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}
