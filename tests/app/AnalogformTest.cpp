// The imaging window and its three sync dialogs, driven offscreen as a user would.
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/Analogform.h"
#include "app/Analognosyncdialog.h"
#include "app/Analogsyncdialog.h"
#include "app/Analogsynclostdialog.h"
#include "tests/app/ModalScript.h"
#include "tests/support/Files.h"
#include "tests/support/Recording.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSector = kRawSectorSize;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

// Checks a step's expectations without throwing out of the modal loop.
#define STEP_CHECK(cond) \
  if (!(cond)) Failures << QStringLiteral("%1:%2 %3").arg(__FILE__).arg(__LINE__).arg(#cond)

}  // namespace

class AnalogFormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void dialogsAnswerAsChosen();
  void runFromTheWindowWritesTheImage();
  void refusalsAreShown();

 private:
  std::unique_ptr<TAnalogFrm> Form;
  std::unique_ptr<TASyncDlg> Sync;
  std::unique_ptr<TANoSyncDlg> NoSync;
  std::unique_ptr<TASyncLostDlg> Lost;
  QStringList Failures;
};

void AnalogFormTest::initTestCase() {
  Form = std::make_unique<TAnalogFrm>();
  Sync = std::make_unique<TASyncDlg>();
  NoSync = std::make_unique<TANoSyncDlg>();
  Lost = std::make_unique<TASyncLostDlg>();
  AnalogFrm = Form.get();
  ASyncDlg = Sync.get();
  ANoSyncDlg = NoSync.get();
  ASyncLostDlg = Lost.get();
  QCOMPARE(Form->windowTitle(), QStringLiteral("録音データのイメージ化"));
  QCOMPARE(Lost->windowTitle(), QStringLiteral("Quarnel"));
  QCOMPARE(Form->WavOpenDlg->nameFilters(), (QStringList{"Wave Files (*.wav)", "All Files (*)"}));
}

void AnalogFormTest::cleanupTestCase() {
  AnalogFrm = nullptr;
  ASyncDlg = nullptr;
  ANoSyncDlg = nullptr;
  ASyncLostDlg = nullptr;
}

// Each dialog: its message and first choice on show, the offset edit, and the
// "specify" choice handing the typed offset back.
void AnalogFormTest::dialogsAnswerAsChosen() {
  struct Case {
    TAnalogViewDlg* Dialog;
    int Offset;
    QString Message;
    const char* Checked;
    int Specify;
  } cases[] = {
      {Sync.get(), 0x3E8, "オフセット 0x000003e8 に同期ヘッダを発見しました", "ContinueRb", 3},
      {NoSync.get(), 0x3E8, "同期ヘッダを発見できませんでした", "CancelRb", 2},
      {Lost.get(), 0x12345, "オフセット 0x00012345 で同期ヘッダを見失いました", "CancelRb", 5},
  };
  for (const Case& c : cases) {
    const int shownAs = c.Dialog == NoSync.get() ? 0 : c.Offset;
    ModalScript script({[&](QWidget*) {
      STEP_CHECK(c.Dialog->MessageLbl->text() == c.Message);
      STEP_CHECK(c.Dialog->findChild<QRadioButton*>(c.Checked)->isChecked());
      STEP_CHECK(c.Dialog->ViewEdit->text() == QStringLiteral("%1").arg(shownAs, 8, 16, QChar('0')).toUpper());
      QTest::keyClick(c.Dialog->ViewEdit, Qt::Key_End);
      QTest::keyClicks(c.Dialog->ViewEdit, "F");  // typed digits shift in from the right
      STEP_CHECK(c.Dialog->ViewEdit->text() ==
                 QStringLiteral("%1").arg(shownAs * 16 + 15, 8, 16, QChar('0')).toUpper());
      c.Dialog->ViewEdit->setText("1A");
      c.Dialog->ViewEditChange();
      STEP_CHECK(c.Dialog->ViewEdit->text() == "0000001A");
      for (const char* bad : {"zz", "80000000", ""}) {
        c.Dialog->ViewEdit->setText(bad);
        c.Dialog->ViewEditChange();
        STEP_CHECK(c.Dialog->ViewEdit->text() == "0000001A");
      }
      c.Dialog->findChild<QRadioButton*>("SpecifyRb")->setChecked(true);
      QTest::mouseClick(c.Dialog->OkBtn, Qt::LeftButton);
    }});
    c.Dialog->Offset = c.Offset;
    QCOMPARE(c.Dialog->exec(), c.Specify);
    QCOMPARE(c.Dialog->Offset, 0x1A);
    QCOMPARE(script.StepsRun(), size_t{1});
  }
  // Escape is the first choice of every dialog: cancel, or stop.
  ModalScript escape({[](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }});
  QCOMPARE(Sync->exec(), 1);
  QVERIFY2(Failures.isEmpty(), qPrintable(Failures.join('\n')));
}

// Browse for the recording, run, view the sectors where the sync is found and lost,
// descramble the lost stretch by force; a second run stops where the sync is lost,
// the dialog remembering the last choice.
void AnalogFormTest::runFromTheWindowWritesTheImage() {
  test_support::TempDir dir;
  const std::vector<uint8_t> sectors = test_support::ScrambledSectors(6, {3, 4});
  test_support::WriteRecording(dir / "rec.wav", 300, sectors);
  const int dataSize = 300 + 6 * kSector;

  ModalScript browse({[&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    STEP_CHECK(dialog == Form->WavOpenDlg);
    // Typed into the name box, as the file list fills in the background.
    dialog->setDirectory(Q(dir.Path));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("rec.wav");
    static_cast<QDialog*>(dialog)->accept();
  }});
  QTest::mouseClick(Form->Button2, Qt::LeftButton);
  QCOMPARE(Form->AnalogFileNameEdit->text(), Q(dir / "rec.wav"));
  QCOMPARE(Form->ImagePathEdit->text(), Q(dir / "rec.bin"));

  auto view = [&](TAnalogViewDlg* d, int offset, bool descramble) {
    d->ViewEdit->setText(QString::number(offset, 16));
    d->ViewEditChange();
    d->ScrambleCk->setChecked(descramble);
    QTest::mouseClick(d->Button2, Qt::LeftButton);
    return d->ViewMemo->toPlainText().split('\n');
  };
  ModalScript run({
      [&](QWidget* w) {
        STEP_CHECK(w == Sync.get() && Sync->Offset == 300);
        QStringList lines = view(Sync.get(), 300, false);
        STEP_CHECK(lines.size() == kSector / 16);
        STEP_CHECK(lines[0] == "0000 : 00 FF FF FF FF FF FF FF FF FF FF 00 01 82 00 61 ");
        lines = view(Sync.get(), 300, true);
        STEP_CHECK(lines[0] == "0000 : 00 FF FF FF FF FF FF FF FF FF FF 00 00 02 00 01 ");
        // Near the end only the bytes the recording holds.
        lines = view(Sync.get(), dataSize - 20, false);
        STEP_CHECK(lines.size() == 2 && lines[1].startsWith("0010 : ") && lines[1].count(' ') == 2 + 4);
        QTest::mouseClick(Sync->OkBtn, Qt::LeftButton);
      },
      [&](QWidget* w) {
        STEP_CHECK(w == Lost.get() && Lost->Offset == 300 + 3 * kSector);
        STEP_CHECK(Lost->SpecifyRb->isChecked());  // kept from the last showing
        Lost->ContinueRb->setChecked(true);
        QTest::mouseClick(Lost->OkBtn, Qt::LeftButton);
      },
  });
  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  QCOMPARE(run.StepsRun(), size_t{2});
  QCOMPARE(Form->windowTitle(), QStringLiteral("1 : %1 : %2").arg(test_support::kRecordingDataOffset).arg(dataSize));
  QCOMPARE(Form->LastResult().Sectors, 6);
  QCOMPARE(Form->LastResult().Forced, 2);
  const std::vector<uint8_t> image = test_support::ReadFile(dir / "rec.bin");
  QCOMPARE(image.size(), size_t{6 * kSector});
  for (int s = 0; s < 6; ++s) {
    std::vector<uint8_t> want(sectors.begin() + s * kSector, sectors.begin() + (s + 1) * kSector);
    Descramble(want.data(), 0, kSector);
    QVERIFY2(std::equal(want.begin() + 12, want.end(), image.begin() + s * kSector + 12), qPrintable(QString::number(s)));
  }

  ModalScript again({
      [&](QWidget*) { QTest::mouseClick(Sync->OkBtn, Qt::LeftButton); },
      [&](QWidget*) {
        STEP_CHECK(Lost->ContinueRb->isChecked());
        Lost->CancelRb->setChecked(true);
        QTest::mouseClick(Lost->OkBtn, Qt::LeftButton);
      },
  });
  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  QCOMPARE(again.StepsRun(), size_t{2});
  QCOMPARE(test_support::ReadFile(dir / "rec.bin").size(), size_t{3 * kSector});
  QVERIFY2(Failures.isEmpty(), qPrintable(Failures.join('\n')));
}

// An image name that reaches the recording through a link must not truncate it; a
// recording too long for the offsets is refused before anything is asked.
void AnalogFormTest::refusalsAreShown() {
  test_support::TempDir dir;
  test_support::WriteRecording(dir / "rec.wav", 300, test_support::ScrambledSectors(3));
  fs::create_symlink(dir / "rec.wav", dir / "link.bin");
  const std::vector<uint8_t> before = test_support::ReadFile(dir / "rec.wav");
  QStringList shown;
  auto closeBox = [&](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) shown << box->text();
    w->close();
  };
  Form->AnalogFileNameEdit->setText(Q(dir / "rec.wav"));
  Form->ImagePathEdit->setText(Q(dir / "link.bin"));
  ModalScript run({[&](QWidget*) { QTest::mouseClick(Sync->OkBtn, Qt::LeftButton); }, closeBox});
  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  QCOMPARE(run.StepsRun(), size_t{2});
  QCOMPARE(test_support::ReadFile(dir / "rec.wav"), before);
  QCOMPARE(Form->LastResult().Outcome, TImageOutcome::SameFile);

  fs::copy_file(dir / "rec.wav", dir / "long.wav");
  fs::resize_file(dir / "long.wav", 0x80000000ull);
  Form->AnalogFileNameEdit->setText(Q(dir / "long.wav"));
  ModalScript refuse({closeBox});
  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  QCOMPARE(refuse.StepsRun(), size_t{1});
  QCOMPARE(shown, (QStringList{"イメージ名が録音データと同じファイルを指しています。\n別の名前を指定してください。",
                               "録音データが 2 GB を超えているため処理できません。"}));
}

QTEST_MAIN(AnalogFormTest)
#include "AnalogformTest.moc"
