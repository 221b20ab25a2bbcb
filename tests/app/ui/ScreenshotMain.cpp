// Photographs the main window (with the emulated drive holding the sample disc), the file
// dialog for loading a list over it, the TOC search options, the progress window during a
// search-like run, the track list, the message on what a scan could not read and the
// About box, as PNGs in the folder given. Run under Xvfb so that real fonts render;
// fails when a picture cannot be taken or the forms' font has no Japanese glyphs.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/AboutDialog.h"
#include "app/Drivesettingdialog.h"
#include "app/Formkit.h"
#include "app/Fileviewerform.h"
#include "app/Foldertreemodel.h"
#include "app/Isosettingdialog.h"
#include "app/Mainform.h"
#include "app/Pluginsettingdialog.h"
#include "app/Positiondialog.h"
#include "app/Progressdialog.h"
#include "app/Tocdialog.h"
#include "app/Tocsettingdialog.h"
#include "recovery/Isoextracter.h"
#include "tests/app/ui/UiTestSupport.h"

namespace {

bool Failed = false;

void Save(QWidget* window, const QString& folder, const char* name) {
  window->show();
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  const QPixmap picture = window->grab();
  const QString file = folder + "/" + name + ".png";
  if (picture.isNull() || picture.width() < 100 || !picture.save(file)) {
    std::fprintf(stderr, "cannot photograph %s\n", name);
    Failed = true;
    return;
  }
  std::printf("%s (%dx%d)\n", file.toUtf8().constData(), picture.width(), picture.height());
}

// The file dialog for loading a list, over the main window moved away from the screen's
// corner: it must stand centred on it (the server reports no window frames to go by).
void PhotographLoadDialog(const QString& folder) {
  QnlMainFrm->move(440, 460);
  QTimer::singleShot(300, [folder] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    const QPoint off = dialog ? dialog->frameGeometry().center() - QnlMainFrm->frameGeometry().center() : QPoint();
    if (!dialog || off.manhattanLength() > 4) {
      std::fprintf(stderr, "the file dialog for a list stands %d,%d off its window's centre\n", off.x(), off.y());
      Failed = true;
    }
    if (dialog) Save(dialog, folder, "loadlist"), dialog->reject();
  });
  QnlMainFrm->FileLoadList->trigger();
}

// The progress window as a worker drives it: range and position set, then held open
// until it has been photographed.
void PhotographProgress(const QString& folder) {
  TWorkerHead head;
  std::atomic<bool> taken{false};
  TWorkerJob job;
  job.Work = [&] {
    head.Notify(pcSetRange, 80);
    head.Notify(pcSetPosition, 31);
    head.Notify(pcSetText, 0, "Searching tracks... 31:00");
    while (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (taken || ProgressDlg->GetModel().GetPosition() != 31 || ProgressDlg->GetModel().GetTickCount() < 6) return;
    Save(ProgressDlg, folder, "progress");
    taken = true;
  });
  poll.start(10);
  LaunchWorker(head, *ProgressDlg, "Searching tracks...", std::move(job));
}

// The message on what a scan could not read, photographed once it shows and then closed.
void PhotographDamage(const QString& folder) {
  QTimer::singleShot(200, [folder] {
    QWidget* box = QApplication::activeModalWidget();
    Failed = Failed || !box;
    if (box) Save(box, folder, "damage"), box->close();
  });
  TIsoExtracter::TDamage damage;
  for (const char* name : {"docs/numbers.txt", "docs/deep/tail.bin", "pictures/gradient.png", "pictures/plasma.jpg",
                           "readme.txt", "a/b.txt", "a/c.txt"})
    damage.AddFile(name);
  damage.DirectorySectors = 2;
  TellDamage(TocDlg, damage);
}

// The settings dialogs as the user finds them, the track properties of the audio track,
// and the file viewer on the sample disc's first volume with its pictures folder open.
void PhotographDialogs(const QString& folder) {
  DrvSettingDlg->show();
  DrvSettingDlg->SpdBtn->click();
  Save(DrvSettingDlg, folder, "drivesettings");
  DrvSettingDlg->hide();
  IsoSettingDlg->Pages->setCurrentIndex(1);
  Save(IsoSettingDlg, folder, "filesystemsettings");
  IsoSettingDlg->hide();
  PluginManager.LoadPlugins(QNL_REAL_PLUGIN_DIR);
  Save(PluginSettingDlg, folder, "pluginsettings");
  PluginSettingDlg->hide();
  TrackDlg->LoadTrack(1);
  Save(TrackDlg, folder, "trackproperties");
  TrackDlg->hide();
  SelectDrive(0);
  DiscEndAddress = DriveUtility.GetLeadOut();  // as a detection leaves it
  if (!QnlMainFrm->ReadFileSystem(0)) {
    std::fprintf(stderr, "cannot read the sample disc's volume\n");
    Failed = true;
    return;
  }
  FileViewer->show();
  const QModelIndex root = FileViewer->FolderModel->index(0, 0);
  for (int i = 0; i < FileViewer->FolderModel->rowCount(root); ++i)
    if (root.model()->index(i, 0, root).data().toString() == "pictures")
      FileViewer->DiscTree->setCurrentIndex(root.model()->index(i, 0, root));
  if (FileViewer->FileList->topLevelItemCount() > 0) {
    FileViewer->FileList->topLevelItem(0)->setCheckState(0, Qt::Checked);
    FileViewer->FileList->setCurrentItem(FileViewer->FileList->topLevelItem(0));
  }
  Save(FileViewer, folder, "fileviewer");
  FileViewer->hide();
  IsoExtracter.Clear();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  InstallFontSubstitutes();
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
  QDir().mkpath(folder);
  test_support::TempDir config("qnl-shot-config"), discDir("qnl-shot-disc");
  ::setenv("XDG_CONFIG_HOME", config.Path.c_str(), 1);
  auto drive = ui_test::SampleDiscDrive(discDir);
  if (!drive) return 1;
  test_support::DriveMachine machine(app_test::Drives({drive}));
  CreateForms();

  const QFontMetrics metrics(FormFont());
  if (!metrics.inFont(QChar(0x958B)) || !metrics.inFont(QChar(0x59CB))) {  // 開始
    std::fprintf(stderr, "no Japanese glyphs in %s\n", QFontInfo(FormFont()).family().toUtf8().constData());
    Failed = true;
  }
  Save(QnlMainFrm, folder, "mainwindow");
  PhotographLoadDialog(folder);
  Save(TocSettingDlg, folder, "tocsettings");
  TocSettingDlg->hide();
  PhotographProgress(folder);
  CdTracks = {{1, 1, 150, 614, 2, 3}, {1, 2, 614, 1514, 1, 1}, {0, 3, 12914, 18443, 2, 3}};
  Save(TocDlg, folder, "tracklist");
  PhotographDamage(folder);
  TocDlg->hide();
  Save(AboutBox, folder, "about");
  AboutBox->hide();
  PhotographDialogs(folder);
  QnlMainFrm->hide();
  DestroyForms();
  return Failed ? 1 : 0;
}
