// Pictures of the imaging window and its three sync dialogs as a user sees them during
// a run on a recording whose sync is lost: each dialog with its hex view filled.
// Usage: analogui_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/Analogform.h"
#include "app/Analognosyncdialog.h"
#include "app/Analogsyncdialog.h"
#include "app/Analogsynclostdialog.h"
#include "tests/app/ModalScript.h"
#include "tests/support/Recording.h"
#include "tests/support/TempDir.h"

namespace {

bool Shoot(QWidget* w, const std::filesystem::path& file) {
  QApplication::processEvents();
  const bool ok = w->grab().save(QString::fromStdString(file.string()));
  if (!ok) std::fprintf(stderr, "cannot write %s\n", file.c_str());
  return ok;
}

// Views `offset` descrambled, photographs the dialog, then checks `answer` and confirms.
ModalScript::Step ShootAndAnswer(TAnalogViewDlg* dialog, int offset, QRadioButton* answer,
                                 const std::filesystem::path& file, bool& ok) {
  return [=, &ok](QWidget*) {
    dialog->ViewEdit->setText(QString::number(offset, 16));
    dialog->ViewEditChange();
    dialog->ScrambleCk->setChecked(true);
    dialog->Button2->click();
    ok = Shoot(dialog, file) && ok;
    answer->setChecked(true);
    dialog->OkBtn->click();
  };
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  test_support::TempDir dir;
  test_support::WriteRecording(dir / "recording.wav", 300, test_support::ScrambledSectors(6, {3}));
  test_support::WriteRecording(dir / "silence.wav", 300, test_support::ScrambledSectors(2, {0, 1}));

  auto form = std::make_unique<TAnalogFrm>();
  auto sync = std::make_unique<TASyncDlg>();
  auto noSync = std::make_unique<TANoSyncDlg>();
  auto lost = std::make_unique<TASyncLostDlg>();
  AnalogFrm = form.get();
  ASyncDlg = sync.get();
  ANoSyncDlg = noSync.get();
  ASyncLostDlg = lost.get();

  form->AnalogFileNameEdit->setText(QString::fromStdString((dir / "recording.wav").string()));
  form->ImagePathEdit->setText(QString::fromStdString((dir / "recording.bin").string()));
  form->show();
  bool ok = Shoot(form.get(), out / "analog-form.png");
  {
    ModalScript script({ShootAndAnswer(sync.get(), 300, sync->ContinueRb, out / "analog-sync.png", ok),
                        ShootAndAnswer(lost.get(), 300 + 3 * 2352, lost->ContinueRb, out / "analog-synclost.png", ok)});
    form->Button1->click();
    ok = ok && script.StepsRun() == 2;
  }
  form->AnalogFileNameEdit->setText(QString::fromStdString((dir / "silence.wav").string()));
  {
    ModalScript script({ShootAndAnswer(noSync.get(), 300, noSync->CancelRb, out / "analog-nosync.png", ok)});
    form->Button1->click();
    ok = ok && script.StepsRun() == 1;
  }
  std::printf("pictures in %s\n", out.c_str());
  return ok ? 0 : 1;
}
