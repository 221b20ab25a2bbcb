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
#include "app/Formkit.h"
#include "app/Texts.h"

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
  setWindowTitle(Text(txt::kAnalogCaption));
  PageControl1 = new QTabWidget(this);
  TabSheet1 = new QWidget;
  PageControl1->addTab(TabSheet1, Text(txt::kAnalogTab));
  AnalogPalthLbl = new QLabel(Text(txt::kAnalogSourceLabel), TabSheet1);
  AnalogFileNameEdit = new QLineEdit(TabSheet1);
  Button2 = new QPushButton(Text(txt::kAnalogSourceBrowse), TabSheet1);
  Label1 = new QLabel(Text(txt::kAnalogImageLabel), TabSheet1);
  ImagePathEdit = new QLineEdit(TabSheet1);
  Button3 = new QPushButton(Text(txt::kAnalogImageBrowse), TabSheet1);
  Button1 = new QPushButton(Text(txt::kAnalogRunButton), TabSheet1);
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
  WavOpenDlg->setNameFilters({Text(txt::kAnalogWavFilters[0]), Text(txt::kAnalogWavFilters[1])});
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
                           ? Text(txt::kAnalogTooLarge)
                           : Text(txt::kAnalogCannotOpen);
  QMessageBox::critical(this, Text(txt::kProgramTitle), text);
}

// A run that ends on the user's cancel or a whole image says nothing more.
void TAnalogFrm::ShowImageError() {
  QString text;
  switch (Result.Outcome) {
    case TImageOutcome::SameFile:
      text = Text(txt::kAnalogSameFile);
      break;
    case TImageOutcome::CannotCreate: text = Text(txt::kAnalogCannotCreate); break;
    case TImageOutcome::WriteFailed:
      text = Text(txt::kAnalogWriteFailed);
      break;
    case TImageOutcome::ReadFailed:
      text = Text(txt::kAnalogReadFailed);
      break;
    case TImageOutcome::BadOffset: text = Text(txt::kAnalogBadOffset); break;
    default: return;
  }
  QMessageBox::critical(this, Text(txt::kProgramTitle), text);
}
