#include "app/Analogform.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/Analognosyncdialog.h"
#include "app/Analogsyncdialog.h"
#include "app/Analogsynclostdialog.h"

TAnalogFrm* AnalogFrm = nullptr;

namespace {

std::filesystem::path ToPath(const QString& text) { return std::filesystem::path(QFile::encodeName(text).toStdString()); }

QString FromPath(const std::filesystem::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }

// The sync dialogs as the imaging loop's decider; a dialog not created answers cancel.
class TDialogDecider : public IAnalogSyncDecider {
 public:
  TSyncFoundChoice SyncFound(int32_t position, int32_t& offset) override {
    if (!ASyncDlg) return TSyncFoundChoice::Cancel;
    ASyncDlg->Offset = position;
    const int result = ASyncDlg->exec();
    offset = ASyncDlg->Offset;
    return static_cast<TSyncFoundChoice>(result);
  }
  TNoSyncChoice NoSync(int32_t& offset) override {
    if (!ANoSyncDlg) return TNoSyncChoice::Cancel;
    const int result = ANoSyncDlg->exec();
    offset = ANoSyncDlg->Offset;
    return static_cast<TNoSyncChoice>(result);
  }
  TSyncLostChoice SyncLost(int32_t position, int32_t& offset) override {
    if (!ASyncLostDlg) return TSyncLostChoice::Stop;
    ASyncLostDlg->Offset = position;
    const int result = ASyncLostDlg->exec();
    offset = ASyncLostDlg->Offset;
    return static_cast<TSyncLostChoice>(result);
  }
};

}  // namespace

TAnalogFrm::TAnalogFrm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("録音データのイメージ化"));
  PageControl1 = new QTabWidget(this);
  TabSheet1 = new QWidget;
  PageControl1->addTab(TabSheet1, QStringLiteral("イメージ化"));
  AnalogPalthLbl = new QLabel(QStringLiteral("録音データ"), TabSheet1);
  AnalogFileNameEdit = new QLineEdit(TabSheet1);
  Button2 = new QPushButton(QStringLiteral("参照(&B)"), TabSheet1);
  Label1 = new QLabel(QStringLiteral("イメージ名"), TabSheet1);
  ImagePathEdit = new QLineEdit(TabSheet1);
  Button3 = new QPushButton(QStringLiteral("参照(&R)"), TabSheet1);
  Button1 = new QPushButton(QStringLiteral("実行"), TabSheet1);
  PageControl1->setObjectName("PageControl1");
  TabSheet1->setObjectName("TabSheet1");
  AnalogPalthLbl->setObjectName("AnalogPalthLbl");
  AnalogFileNameEdit->setObjectName("AnalogFileNameEdit");
  Button2->setObjectName("Button2");
  Label1->setObjectName("Label1");
  ImagePathEdit->setObjectName("ImagePathEdit");
  Button3->setObjectName("Button3");
  Button1->setObjectName("Button1");

  auto* grid = new QGridLayout(TabSheet1);
  grid->addWidget(AnalogPalthLbl, 0, 0);
  grid->addWidget(AnalogFileNameEdit, 1, 0);
  grid->addWidget(Button2, 1, 1);
  grid->addWidget(Label1, 2, 0);
  grid->addWidget(ImagePathEdit, 3, 0);
  grid->addWidget(Button3, 3, 1);
  grid->addWidget(Button1, 4, 1);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(0, 1);
  auto* top = new QVBoxLayout(this);
  top->addWidget(PageControl1);
  resize(480, 220);
  CreateFileDialogs();

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TAnalogFrm::CreateFileDialogs() {
  WavOpenDlg = new QFileDialog(this);
  WavOpenDlg->setObjectName("WavOpenDlg");
  WavOpenDlg->setAcceptMode(QFileDialog::AcceptOpen);
  WavOpenDlg->setFileMode(QFileDialog::ExistingFile);
  WavOpenDlg->setDefaultSuffix(QStringLiteral("wav"));
  WavOpenDlg->setNameFilters({QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*)")});
  ImageSaveDlg = new QFileDialog(this);
  ImageSaveDlg->setObjectName("ImageSaveDlg");
  ImageSaveDlg->setAcceptMode(QFileDialog::AcceptSave);
}

void TAnalogFrm::Button2Click() {
  if (WavOpenDlg->exec() != QDialog::Accepted || WavOpenDlg->selectedFiles().isEmpty()) return;
  const QString name = WavOpenDlg->selectedFiles().first();
  AnalogFileNameEdit->setText(name);
  ImagePathEdit->setText(FromPath(ToPath(name).replace_extension(".bin")));
}

void TAnalogFrm::Button3Click() {
  if (ImageSaveDlg->exec() != QDialog::Accepted || ImageSaveDlg->selectedFiles().isEmpty()) return;
  ImagePathEdit->setText(ImageSaveDlg->selectedFiles().first());
}

void TAnalogFrm::Button1Click() {
  const QString recording = AnalogFileNameEdit->text();
  std::error_code ec;
  if (!std::filesystem::exists(ToPath(recording), ec) || ImagePathEdit->text() == recording) return;
  if (!AnalogFile.Open(ToPath(recording))) {
    ShowOpenError();
    return;
  }
  setWindowTitle(QStringLiteral("1 : %1 : %2").arg(AnalogFile.GetDataOffset()).arg(AnalogFile.GetDataSize()));
  MakeImage();
  AnalogFile.Close();
  ShowImageError();
}

int TAnalogFrm::MakeImage() {
  TDialogDecider decider;
  Result = ::MakeImage(AnalogFile, ToPath(ImagePathEdit->text()), decider);
  return Result.Written() ? 1 : 0;
}

int TAnalogFrm::SearchSync(int start) { return ::SearchSync(AnalogFile, start); }

int TAnalogFrm::ReadData(int offset, int count, uint8_t* destination) {
  return AnalogFile.Read(offset, count, destination);
}

void TAnalogFrm::ShowOpenError() {
  const QString text = AnalogFile.GetError() == TAnalogError::TooLarge
                           ? QStringLiteral("録音データが 2 GB を超えているため処理できません。")
                           : QStringLiteral("録音データを開けません。");
  QMessageBox::critical(this, QStringLiteral("Quarnel"), text);
}

// A run that ends on the user's cancel or a whole image says nothing more.
void TAnalogFrm::ShowImageError() {
  QString text;
  switch (Result.Outcome) {
    case TImageOutcome::SameFile:
      text = QStringLiteral("イメージ名が録音データと同じファイルを指しています。\n別の名前を指定してください。");
      break;
    case TImageOutcome::CannotCreate: text = QStringLiteral("イメージファイルを作成できません。"); break;
    case TImageOutcome::WriteFailed:
      text = QStringLiteral("イメージファイルへの書き込みに失敗しました。イメージは不完全です。");
      break;
    case TImageOutcome::ReadFailed:
      text = QStringLiteral("録音データを最後まで読めませんでした。イメージは不完全です。");
      break;
    case TImageOutcome::BadOffset: text = QStringLiteral("指定したオフセットは録音データの範囲外です。"); break;
    default: return;
  }
  QMessageBox::critical(this, QStringLiteral("Quarnel"), text);
}
