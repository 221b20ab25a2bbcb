// The track list as a user walks it on an emulated disc made from real files: an audio
// track ripped, a volume browsed and copied out, a track whose volume descriptors cannot
// be read scanned instead, checked tracks extracted beside earlier outputs, a list
// edited, saved and loaded, the failures on the way reported where they happen, and what
// could not be read told once.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QFileDialog>
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "app/Fileviewerform.h"
#include "app/Foldertreemodel.h"
#include "app/Formkit.h"
#include "app/Isosettingdialog.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Pluginsettingdialog.h"
#include "app/Positiondialog.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "app/Tocdialog.h"
#include "emulator/DiscBuilder.h"
#include "tests/app/FileDialogAnswer.h"
#include "tests/app/ui/UiTestSupport.h"
#include "tests/support/Tools.h"

namespace {

namespace fs = std::filesystem;
using app_test::ReadText;

constexpr time_t kMtime = 1'000'000'000;
constexpr uint32_t kTaggedSize = 6000;  // docs/tagged.bin, the file the scripted plug-ins claim

using test_support::Quote;
using test_support::Shell;

// Answers the modal windows in order, nested ones included. A step must close the window
// it gets; the progress window closes by itself, and a step for it (WhileRunning) runs on
// each poll until it returns true.
class Answers : public QObject {
 public:
  struct Step {
    Step() = default;
    template <typename F, typename = std::enable_if_t<std::is_invocable_v<F, QWidget*>>>
    Step(F act) : Act(std::move(act)) {}
    std::function<void(QWidget*)> Act;
    std::function<bool(TProgressDlg*)> WhileRunning;
  };
  explicit Answers(std::vector<Step> steps) : Steps(std::move(steps)) {
    Clock.start();
    Arm();
  }
  ~Answers() { EXPECT_EQ(Next, Steps.size()) << "windows that never came up"; }

 private:
  // A window shown again (the viewer is shown once per track) gets the next step.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide) {
      std::erase_if(Done, [watched](const QPointer<QWidget>& p) { return !p || p == watched; });
      watched->removeEventFilter(this);
    }
    return false;
  }
  // A fresh timer for every poll: a step that opens windows runs inside one, and Qt does
  // not fire a timer again while its own handler runs.
  void Arm() {
    QTimer::singleShot(5, &Context, [this] {
      Arm();
      Poll();
    });
  }
  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (Clock.elapsed() > 120000) {  // a window nobody answers: fail instead of hanging
      if (!TimedOut) ADD_FAILURE() << "the windows did not finish in time";
      TimedOut = true;
      CancelAll();
      if (auto* d = dynamic_cast<QDialog*>(w)) d->reject();
      return;
    }
    std::erase_if(Done, [](const QPointer<QWidget>& p) { return !p; });
    if (!w || !w->isVisible()) return;
    if (auto* progress = dynamic_cast<TProgressDlg*>(w)) {
      if (Next < Steps.size() && Steps[Next].WhileRunning && Steps[Next].WhileRunning(progress)) ++Next;
      return;
    }
    for (const auto& p : Done)
      if (p == w) return;
    if (Next >= Steps.size()) {
      auto* box = dynamic_cast<QMessageBox*>(w);
      ADD_FAILURE() << "unexpected window " << w->windowTitle().toStdString() << (box ? box->text().toStdString() : "");
      if (auto* d = dynamic_cast<QDialog*>(w)) d->reject();
      return;
    }
    Done.emplace_back(w);
    // Run outside this timer's slot: a step that opens windows needs the timer to go on.
    w->installEventFilter(this);
    if (!Steps[Next].Act) {
      ADD_FAILURE() << "a window came up where the progress window was expected: " << w->windowTitle().toStdString();
      if (auto* d = dynamic_cast<QDialog*>(w)) d->reject();
      return;
    }
    Steps[Next++].Act(w);
  }
  std::vector<Step> Steps;
  size_t Next = 0;
  std::vector<QPointer<QWidget>> Done;
  QObject Context;
  QElapsedTimer Clock;
  bool TimedOut = false;
};

// A file or folder dialog answered with `path`; an empty path cancels.
Answers::Step Choose(const fs::path& path) {
  return [path](QWidget* w) {
    auto* dialog = dynamic_cast<QFileDialog*>(w);
    ASSERT_TRUE(dialog) << w->windowTitle().toStdString();
    if (path.empty()) return dialog->reject();
    app_test::AnswerFileDialog(*dialog, path.string());
  };
}

// A message box: its text is checked and `button` pressed.
Answers::Step Message(std::string text, QMessageBox::StandardButton button = QMessageBox::Ok) {
  return [text, button](QWidget* w) {
    auto* box = dynamic_cast<QMessageBox*>(w);
    ASSERT_TRUE(box) << w->windowTitle().toStdString();
    EXPECT_EQ(box->text().toStdString(), text);
    box->button(button)->click();
  };
}

// Cancel, pressed once the rip, copy or scan behind the progress window runs and its bar
// has reached `position`.
Answers::Step CancelRun(int32_t position = 0) {
  Answers::Step step;
  step.WhileRunning = [position](TProgressDlg* d) {
    if (AudioRipper.GetState() != wsRunning && IsoExtracter.GetState() != wsRunning) return false;
    if (d->GetModel().GetPosition() < position) return false;
    d->CancelBtn->click();
    EXPECT_TRUE(AudioRipper.GetState() == wsCancelRequested || IsoExtracter.GetState() == wsCancelRequested);
    return true;
  };
  return step;
}

template <typename T>
Answers::Step On(std::function<void(T*)> act) {
  return [act](QWidget* w) {
    auto* window = dynamic_cast<T*>(w);
    if (!window) {
      ADD_FAILURE() << "unexpected window " << w->metaObject()->className() << " " << w->windowTitle().toStdString();
      if (auto* box = dynamic_cast<QMessageBox*>(w)) std::cerr << box->text().toStdString() << "\n";
      w->close();
      return;
    }
    act(window);
  };
}

// The viewer's folder tree: the volume's row, and the row of its `i`-th folder.
QModelIndex VolumeRow(TFileViewer* v) { return v->FolderModel->index(0, 0); }
QModelIndex FolderRow(TFileViewer* v, int i) { return v->FolderModel->index(i, 0, VolumeRow(v)); }

std::vector<uint8_t> Pcm(const fs::path& wav) {
  const std::string bytes = ReadText(wav);
  const size_t data = bytes.find("data");
  return data == std::string::npos ? std::vector<uint8_t>{}
                                   : std::vector<uint8_t>(bytes.begin() + static_cast<long>(data) + 8, bytes.end());
}

using test_support::MtimeOf;

// The files below `root` with what each holds, by path relative to it.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& [rel, path] : test_support::FilesBelow(root)) files[rel] = ReadText(path);
  return files;
}

// The disk fills up: a file of this process that reaches `bytes` stops growing and the
// write fails (EFBIG), as on a full disk, in the worker threads too.
class DiskFull {
 public:
  explicit DiskFull(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &Saved);
    rlimit limit = Saved;
    limit.rlim_cur = bytes;
    Signal = std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~DiskFull() {
    ::setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, Signal);
  }

 private:
  rlimit Saved{};
  void (*Signal)(int) = SIG_DFL;
};

constexpr rlim_t kRoomLeft = 64 * 1024;

// A mixed disc made from real files: track 1 a Mode 1 volume, track 2 audio, track 3 the
// same files in a volume whose descriptors cannot be read.
class TrackListWalk : public ui_test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    MakeTree(Work / "tree");
    const std::string iso = "genisoimage -quiet -J -R -V QNL_WALK ";
    ASSERT_TRUE(Shell(iso + "-o " + Quote(Work / "walk.iso") + " " + Quote(Work / "tree")));
    ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 " + Quote(Work / "tone.wav") + " synth 2.5 sine 440 sine 1000"));
    emu::DiscSpec spec;
    spec.Sessions.push_back({{emu::TrackSpec{emu::SectorKind::Mode1, Work / "walk.iso"},
                              emu::TrackSpec{emu::SectorKind::Audio, Work / "tone.wav"},
                              emu::TrackSpec{emu::SectorKind::Mode1, Work / "walk.iso"}}});
    std::string error;
    ASSERT_TRUE(emu::PlanDisc(spec, Layout, error)) << error;
    // Track 3 is mastered for where it lies, as a later session of a real disc is.
    const int32_t start = Layout.Tracks[2].StartLba;
    ASSERT_TRUE(Shell(iso + "-C 0," + std::to_string(start) + " -o " + Quote(Work / "lost.iso") + " " +
                    Quote(Work / "tree")));
    spec.Sessions[0].Tracks[2].File = Work / "lost.iso";
    ASSERT_TRUE(emu::ApplyFaultSetting(spec.Faults, "Unreadable",
                                       std::to_string(start + 16) + "-" + std::to_string(start + 18), error));
    ASSERT_TRUE(emu::BuildImageSet(spec, Work / "walk", true, error)) << error;
    ASSERT_TRUE(emu::LoadImageSet(Work / "walk.ccd", *Disc, error)) << error;
    Machine =
        std::make_unique<test_support::DriveMachine>(app_test::Drives({std::make_shared<emu::EmulatedDrive>(Disc)}));
    app_test::CopyPlugins(Work.Path, {"Jpeg.fpi", "Png.fpi", "Zip.fpi"});
    CreateForms();
    PluginManager.LoadPlugins((Work / "Plugin").string());
    NoDialog = true;
    ui_test::ModalScript script;
    script.Once<TTocDlg>([](TTocDlg* d) { d->CloseBtn->click(); });
    QnlMainFrm->Button1->click();
    ASSERT_EQ(CdTracks.size(), 3u);
    // No descriptor, so no file system found: the user names it in the track properties.
    EXPECT_EQ(TrackColumnText(CdTracks[2], 6), "UNKNOWN");
    EXPECT_EQ(TrackColumnText(CdTracks[2], 2), "MODE 1");
    CdTracks[2].FileSystem = fsIso9660;
    TocDlg->FormShow();
  }

  static void MakeTree(const fs::path& root) {
    fs::create_directories(root / "docs" / "deep");
    fs::create_directories(root / "pictures");
    std::ofstream(root / "readme.txt") << "Quarnel walk\n";
    Shell("seq 1 40000 > " + Quote(root / "docs" / "numbers.txt"));
    Shell("head -c 5000 /dev/urandom > " + Quote(root / "docs" / "deep" / "tail.bin"));
    Shell("convert -size 200x150 gradient:navy-gold " + Quote(root / "pictures" / "gradient.png"));
    Shell("convert -seed 7 -size 240x160 plasma:fractal " + Quote(root / "pictures" / "plasma.jpg"));
    // The scripted plug-ins' tag, then the file's whole length.
    std::string tagged = "QNLCARVE" + std::string(4, '\0');
    std::memcpy(tagged.data() + 8, &kTaggedSize, 4);
    while (tagged.size() < kTaggedSize) tagged += "tagged ";
    tagged.resize(kTaggedSize);
    app_test::WriteFile(root / "docs" / "tagged.bin", tagged);
    Shell("find " + Quote(root) + " -exec touch -h -d @" + std::to_string(kMtime) + " {} +");
  }

  void Select(int row) { TocDlg->TrackList->setCurrentItem(TocDlg->TrackList->topLevelItem(row)); }

  // Sectors [first, first + count) of track `track` (0-based) no read gets.
  void Unreadable(int track, int32_t first, int32_t count) {
    const int32_t lba = Layout.Tracks[static_cast<size_t>(track)].StartLba + first;
    Disc->Faults.Unreadable.push_back({lba, lba + count});
  }
  // The sector of an image where `bytes` begin; with `record`, the extent of the directory
  // record holding that name (length byte first).
  int32_t SectorOf(const std::string& image, const std::string& bytes, bool record = false) const {
    const std::string data = ReadText(Work / image);
    const size_t at = data.find(bytes);
    EXPECT_NE(at, std::string::npos) << image;
    if (!record || at == std::string::npos) return static_cast<int32_t>(at / 2048);
    uint32_t extent = 0;
    std::memcpy(&extent, data.data() + at - 32 + 2, 4);  // little-endian, as the host
    return static_cast<int32_t>(extent);
  }
  std::string Numbers() const { return ReadText(Work / "tree" / "docs" / "numbers.txt").substr(0, 64); }

  test_support::TempDir Work{"qnl-walk"};
  test_support::TempDir Out{"qnl-out"};
  emu::DiscLayout Layout;
  std::shared_ptr<emu::Disc> Disc = std::make_shared<emu::Disc>();  // the drive reads it
  std::unique_ptr<test_support::DriveMachine> Machine;
};

TEST_F(TrackListWalk, AnAudioTrackRipsToItsSourceAndASecondRipReplacesNothing) {
  const std::vector<std::string> audio = {"02", "01", "AUDIO", "", "", "", "CDDA"};
  EXPECT_EQ(TrackColumnText(CdTracks[1], 2), "AUDIO");
  Select(1);
  {
    Answers answers({Choose(Out / "tone")});  // the extension is added
    TocDlg->ExtractSingle->trigger();
  }
  const std::vector<uint8_t> source = Pcm(Work / "tone.wav");
  std::vector<uint8_t> ripped = Pcm(Out / "tone.wav");
  ASSERT_GE(ripped.size(), source.size());
  EXPECT_TRUE(std::all_of(ripped.begin() + static_cast<long>(source.size()), ripped.end(), [](uint8_t b) { return b == 0; }));
  ripped.resize(source.size());
  EXPECT_TRUE(ripped == source);
  EXPECT_EQ(CddaDir, Out.Path.string());

  // The same name again is refused, a new one asked for, and Cancel ends it.
  const std::string before = ReadText(Out / "tone.wav");
  {
    Answers answers({Choose(Out / "tone.wav"), Message(txt::kFileExists), Choose({})});
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_EQ(ReadText(Out / "tone.wav"), before);

  // Without the raw-I/O right the system refuses READ CDDA (the default audio command):
  // the failure says so.
  Disc->Profile.FilterVendorCommands = true;
  DriveSettings[0].DaeCmd = daeReadCdda;
  {
    Answers answers({Choose(Out / "refused.wav"),
                     Message("トラック02の抽出に失敗しました。\n"
                             "システムが読み出しコマンドを拒否しました。ドライブの設定で別の読み出しコマンドを選んで下さい。")});
    TocDlg->ExtractSingle->trigger();
  }
  Disc->Profile.FilterVendorCommands = false;
  DriveSettings[0].DaeCmd = daeReadCd;

  // A track whose file system does not fit its data, and one without a file system.
  CdTracks[1].FileSystem = fsIso9660;
  {
    Answers answers({Message(txt::kMsgTypeMismatch)});
    TocDlg->ExtractSingle->trigger();
  }
  CdTracks[1].FileSystem = 0;
  {
    Answers answers({Message(txt::kMsgNoFileSystem)});
    TocDlg->ExtractSingle->trigger();
  }
  // A track loaded with its end before its start is refused, not read backwards.
  CdTracks[1].FileSystem = fsCdda;
  CdTracks[1].Tail = CdTracks[1].Head - 10;
  Answers answers({Message("トラック02の終了アドレスが開始アドレス以前です。")});
  TocDlg->ExtractSingle->trigger();
}

TEST_F(TrackListWalk, AVolumeIsBrowsedAndEveryFileCopiedOutWithItsTime) {
  Select(0);
  std::vector<std::string> folders, files;
  Answers answers({
      On<TFileViewer>([&](TFileViewer* v) {
        EXPECT_EQ(VolumeRow(v).data().toString(), "QNL_WALK");
        for (int i = 0; i < v->FolderModel->rowCount(VolumeRow(v)); ++i)
          folders.push_back(FolderRow(v, i).data().toString().toStdString());
        for (const TExtractedFile* e : v->GetRows()) files.push_back(FileColumnText(*e, 0) + " " + FileColumnText(*e, 2));
        v->FileReadAll->trigger();  // the picker, then one progress window per file
        v->FileClose->trigger();
      }),
      Choose(Out.Path),
      On<TFileViewer>([](TFileViewer* v) {
        // The checked files of the root into the same folder: readme.txt is there already.
        v->FileCheckAll->trigger();
        v->FileReadMulti->trigger();
        v->FileClose->trigger();
      }),
      Choose(Out.Path),
  });
  TocDlg->ExtractSingle->trigger();
  const auto source = FilesBelow(Work / "tree");
  const auto copied = FilesBelow(Out.Path);
  TocDlg->ExtractSingle->trigger();
  EXPECT_EQ(folders, (std::vector<std::string>{"docs", "pictures"}));
  EXPECT_EQ(files, (std::vector<std::string>{"readme.txt 1"}));
  EXPECT_EQ(copied.size(), source.size());
  for (const auto& [path, bytes] : source) {
    ASSERT_TRUE(copied.count(path)) << path;
    EXPECT_EQ(copied.at(path), bytes) << path;
    EXPECT_EQ(MtimeOf(Out / path), kMtime) << path;
  }
  EXPECT_EQ(ReadText(Out / "readme~1.txt"), source.at("readme.txt"));  // nothing replaced
  EXPECT_EQ(FileExtractDir, Out.Path.string());
  EXPECT_TRUE(IsoExtracter.Root.Children.empty());  // cleared after the viewer
}

TEST_F(TrackListWalk, OnlySelectedLinesCountAndAltCStartsTheCheckedTracks) {
  TocDlg->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(TocDlg));
  TocDlg->CheckAll->trigger();
  // A current line that is not selected (as the list leaves it after a click beside it)
  // is no choice: extracting opens nothing, checked lines or not.
  const auto deselect = [](QTreeWidget* list) {
    list->setCurrentItem(list->topLevelItem(0));
    list->clearSelection();
  };
  deselect(TocDlg->TrackList);
  {
    Answers none({});
    TocDlg->ExtractSingle->trigger();
  }
  // The same in the file viewer of track 1.
  Select(0);
  {
    Answers answers({On<TFileViewer>([&](TFileViewer* v) {
      deselect(v->FileList);
      v->FileRead->trigger();
      v->FileClose->trigger();
    })});
    TocDlg->ExtractSingle->trigger();
  }
  // Alt+C is the checked tracks' button: their folder is asked for.
  TocDlg->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(TocDlg));
  std::string asked;
  {
    Answers answers({[&](QWidget* w) {
      asked = w->metaObject()->className();
      static_cast<QDialog*>(w)->reject();
    }});
    QTest::keyClick(TocDlg, Qt::Key_C, Qt::AltModifier);
    (void)QTest::qWaitFor([&] { return !asked.empty(); }, 3000);  // a mnemonic clicks its button a moment later
  }
  EXPECT_EQ(asked, "QFileDialog");
  TocDlg->hide();
}

TEST_F(TrackListWalk, NamesFromADamagedDirectoryStayInsideTheChosenFolder) {
  ASSERT_TRUE(QnlMainFrm->ReadFileSystem(0));
  for (TExtractedFile& e : IsoExtracter.Root.Children) {
    if (e.Name == "readme.txt") e.Name = "../escape.txt";  // a name that holds a path
    if (e.Name == "docs") e.Name = "pictures";             // one name listed twice
  }
  {
    Answers none({});
    EXPECT_TRUE(FileViewer->ReadDirectory(IsoExtracter.Root, (Out / "x").string()));
  }
  IsoExtracter.Clear();
  EXPECT_EQ(std::distance(fs::directory_iterator(Out.Path), fs::directory_iterator()), 1);
  EXPECT_EQ(ReadText(Out / "x" / ".._escape.txt"), ReadText(Work / "tree" / "readme.txt"));
  EXPECT_TRUE(fs::exists(Out / "x" / "pictures" / "plasma.jpg") != fs::exists(Out / "x" / "pictures~1" / "plasma.jpg"));
  EXPECT_EQ(FilesBelow(Out / "x").size(), FilesBelow(Work / "tree").size());
}

// How the entries of a listing were found, by the viewer's Mode column.
std::vector<std::string> Modes(TFileViewer* v) {
  std::vector<std::string> modes;
  for (const TExtractedFile* e : v->GetRows()) modes.push_back(FileColumnText(*e, 6));
  return modes;
}

size_t Carved(const std::vector<std::string>& modes) {
  return static_cast<size_t>(std::count_if(modes.begin(), modes.end(), [](const std::string& m) {
    return m.rfind(txt::kModeTexts[2], 0) == 0;
  }));
}

TEST_F(TrackListWalk, ALostVolumeIsScannedAndTheScanAsksOnlyTheEnabledPlugins) {
  Select(2);
  ListOnly = false;
  fs::create_directories(Out / "scan");
  {
    Answers answers({Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose(Out / "scan")});
    TocDlg->ExtractSingle->trigger();
  }
  // The found directories give back every file whole.
  std::multiset<std::string> written;
  for (const auto& [path, bytes] : FilesBelow(Out / "scan")) written.insert(bytes);
  for (const auto& [path, bytes] : FilesBelow(Work / "tree")) EXPECT_TRUE(written.count(bytes)) << path;
  EXPECT_EQ(FileExtractDir, (Out / "scan").string());
  EXPECT_TRUE(IsoExtracter.Root.Children.empty());

  // Without the directories, listed only: the plug-ins carve, the rest becomes runs.
  DetectDir = false;
  ListOnly = true;
  std::vector<std::string> before, after;
  const auto scan = [&](std::vector<std::string>& modes) {
    Answers answers({Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose(Out / "scan"),
                     On<TFileViewer>([&](TFileViewer* v) {
                       modes = Modes(v);
                       v->FileClose->trigger();
                     })});
    TocDlg->ExtractSingle->trigger();
  };
  scan(before);
  EXPECT_GE(Carved(before), 2u);  // the picture files of the volume
  EXPECT_TRUE(std::count(before.begin(), before.end(), txt::kModeTexts[0]) == 0);

  // The PNG plug-in unchecked and the list reordered in the settings: the scan follows.
  {
    Answers answers({On<TPluginSettingDlg>([](TPluginSettingDlg* d) {
      for (int r = 0; r < d->PluginList->topLevelItemCount(); ++r)
        if (PluginManager.GetFileName(d->GetDisplayOrder()[static_cast<size_t>(r)]) == "Png.fpi")
          d->PluginList->topLevelItem(r)->setCheckState(0, Qt::Unchecked);
      d->PluginListMouseDown(0, /*leftButton=*/true, /*doubleClick=*/false);
      d->PluginListMouseMove(1);
      d->PluginListMouseUp();
      d->OkBtn->click();
    })});
    QnlMainFrm->SettingsPlugin->trigger();
  }
  EXPECT_EQ(app_test::PluginFileNames(), (std::vector<std::string>{"Png.fpi", "Jpeg.fpi", "Zip.fpi"}));
  EXPECT_FALSE(PluginManager.GetEnabled(0));
  scan(after);
  EXPECT_EQ(Carved(after), Carved(before) - 1);
  EXPECT_TRUE(FilesBelow(Out / "scan").size() == written.size());  // listing wrote nothing

  // No folder chosen for the scan: nothing is scanned, and the list is shown all the same.
  std::vector<std::string> none = {"unset"};
  {
    Answers answers({Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose({}),
                     On<TFileViewer>([&](TFileViewer* v) {
                       none = Modes(v);
                       v->FileClose->trigger();
                     })});
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_TRUE(none.empty());
}

TEST_F(TrackListWalk, CheckedTracksGoBesideEarlierOutputsAndAMismatchStopsTheRun) {
  std::ofstream(Out / "Track02.wav") << "an earlier rip";
  ListOnly = false;
  TocDlg->CheckAll->trigger();
  {
    Answers answers({Choose(Out.Path), On<TFileViewer>([](TFileViewer* v) {
                       EXPECT_EQ(v->Folder, (fs::path(MultiDir) / "Track01").string());
                       v->FileClose->trigger();
                     }),
                     Message(txt::kMsgNoVolume, QMessageBox::Yes)});
    TocDlg->ExtractMulti->trigger();
  }
  EXPECT_EQ(MultiDir, Out.Path.string());
  EXPECT_EQ(ReadText(Out / "Track02.wav"), "an earlier rip");
  EXPECT_GT(fs::file_size(Out / "Track02_01.wav"), 441000u);
  EXPECT_TRUE(fs::is_directory(Out / "Track01"));
  EXPECT_FALSE(FilesBelow(Out / "Track03").empty());  // the scan's files

  // Track 2 now claims a file system its data cannot have: the run stops there.
  CdTracks[1].FileSystem = fsIso9660;
  {
    Answers answers({Choose(Out.Path), On<TFileViewer>([](TFileViewer* v) { v->FileClose->trigger(); }),
                     Message("トラック02のデータ形式とファイルシステムが一致していません。")});
    TocDlg->ExtractMulti->trigger();
  }
  EXPECT_TRUE(fs::is_directory(Out / "Track01_01"));
  EXPECT_FALSE(fs::exists(Out / "Track03_01"));
}

TEST_F(TrackListWalk, ARipOrScanThatCannotWriteIsReportedAndEndsTheRun) {
  const std::string unwritable = "\n出力先に書き込めませんでした。";
  const std::string failed2 = "トラック02の抽出に失敗しました。" + unwritable,
                    failed3 = "トラック03の抽出に失敗しました。" + unwritable;
  const Answers::Step scan = Message(txt::kMsgNoVolume, QMessageBox::Yes);
  fs::create_directories(Out / "scan");
  struct Case {
    bool checked;           // checked extraction of the rows, else single extraction of the first
    std::vector<int> rows;
    std::vector<Answers::Step> answers;
  };
  const Case cases[] = {
      {false, {1}, {Choose(Out / "tone"), Message(failed2)}},
      // A folder nothing can be made in, whoever runs the test, and that holds only folders
      // (a file dialog that lists files reads them).
      {false, {1}, {Choose("/sys/tone"), Message(failed2)}},
      {true, {1}, {Choose("/sys"), Message(failed2)}},
      {false, {2}, {scan, Choose(Out / "scan"), Message(failed3)}},
      // Track 3 comes after the failed rip and is not asked about.
      {true, {1, 2}, {Choose(Out.Path), Message(failed2)}},
      {true, {2}, {Choose(Out.Path), scan, Message(failed3)}},
  };
  ListOnly = false;
  DiskFull full(kRoomLeft);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.checked ? "checked" : "single") << " from row " << c.rows[0]);
    Answers answers(c.answers);
    if (!c.checked) {
      Select(c.rows[0]);
      TocDlg->ExtractSingle->trigger();
      continue;
    }
    TocDlg->UncheckAll->trigger();
    for (int row : c.rows) TocDlg->TrackList->topLevelItem(row)->setCheckState(0, Qt::Checked);
    TocDlg->ExtractMulti->trigger();
    if (c.rows.size() > 1) {
      EXPECT_FALSE(fs::exists(Out / "Track03")) << "the run went on after the failed rip";
    }
  }
}

TEST_F(TrackListWalk, CancelDuringARipACopyOrAScanEndsItWithoutAMessage) {
  DriveSettings[0].Interval = 100;  // a pause after every read: each run lasts long enough to be cancelled
  Unreadable(0, SectorOf("walk.iso", Numbers()), 1);  // met by the copy before it is cancelled
  ListOnly = false;
  fs::create_directories(Out / "scan");
  const auto copyNumbers = On<TFileViewer>([](TFileViewer* v) {
    v->DiscTree->setCurrentIndex(FolderRow(v, 0));  // docs
    v->FileList->setCurrentItem(v->FileList->topLevelItem(0));            // numbers.txt
    v->FileRead->trigger();
    v->FileClose->trigger();
  });
  struct Case {
    const char* what;
    bool checked;  // the checked tracks from this row on, else the selected one
    int row;
    std::vector<Answers::Step> answers;
    fs::path output;
    uint64_t wholeSize;
  };
  const uint64_t wav = 44 + Pcm(Work / "tone.wav").size();
  const Case cases[] = {
      {"rip", false, 1, {Choose(Out / "tone"), CancelRun()}, Out / "tone.wav", wav},
      // Track 3 comes after the cancelled rip and is not asked about.
      {"checked tracks", true, 1, {Choose(Out.Path), CancelRun()}, Out / "Track02.wav", wav},
      {"copy", false, 0, {copyNumbers, Choose(Out / "numbers.txt"), CancelRun(2)}, Out / "numbers.txt",
       fs::file_size(Work / "tree" / "docs" / "numbers.txt")},
      {"scan", false, 2, {Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose(Out / "scan"), CancelRun()}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TocDlg->UncheckAll->trigger();
    for (int row = c.row; c.checked && row < 3; ++row) TocDlg->TrackList->topLevelItem(row)->setCheckState(0, Qt::Checked);
    Select(c.row);
    {
      Answers answers(c.answers);
      (c.checked ? TocDlg->ExtractMulti : TocDlg->ExtractSingle)->trigger();
    }
    if (!c.output.empty()) {
      EXPECT_LT(fs::file_size(c.output), c.wholeSize);  // stopped part-way
    }
    if (c.row == 0) {
      EXPECT_EQ(IsoExtracter.GetDamage().FileCount, 1u);  // damaged, yet nothing told
    }
    EXPECT_FALSE(fs::exists(Out / "Track03"));
  }
  EXPECT_EQ(AudioRipper.GetState(), wsIdle);
  EXPECT_EQ(IsoExtracter.GetState(), wsIdle);
}

// What a copy or a scan could not read is told once after it; a volume read that lacks
// directory sectors says so and offers the scan in the same box.
TEST_F(TrackListWalk, WhatCouldNotBeReadIsToldOnceAfterTheRun) {
  Unreadable(0, SectorOf("walk.iso", Numbers()) + 5, 2);
  Unreadable(2, SectorOf("lost.iso", Numbers()) + 5, 2);
  ListOnly = false;
  fs::create_directories(Out / "scan");
  fs::create_directories(Out / "rescan");
  const std::string lost = "読み出せないセクタがありました。\n",
                    oneFile = lost + "読み出せなかったセクタを0で埋めたファイル: 1個\n  ";
  // The checked files of docs, numbers.txt damaged and tagged.bin whole: one box after both.
  Select(0);
  {
    Answers answers({On<TFileViewer>([](TFileViewer* v) {
                       v->DiscTree->setCurrentIndex(FolderRow(v, 0));  // docs
                       v->FileCheckAll->trigger();
                       v->FileReadMulti->trigger();
                       v->FileClose->trigger();
                     }),
                     Choose(Out.Path), Message(oneFile + (Out / "numbers.txt").string())});
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_TRUE(fs::exists(Out / "tagged.bin"));
  Select(2);
  {
    Answers answers(
        {Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose(Out / "scan"), Message(oneFile + "docs/numbers.txt")});
    TocDlg->ExtractSingle->trigger();
  }

  // Track 1's docs folder unreadable in both trees: declined, the volume shows without it.
  Disc->Faults.Unreadable.clear();
  Unreadable(0, SectorOf("walk.iso", "\x04" "DOCS", /*record=*/true), 1);
  Unreadable(0, SectorOf("walk.iso", std::string("\x08\0d\0o\0c\0s", 9), /*record=*/true), 1);
  const std::string question = lost + "読み出せなかったディレクトリのセクタ: 1個\nファイルを探索しますか？";
  Select(0);
  size_t docsFiles = 1;
  {
    Answers answers({Message(question, QMessageBox::No), On<TFileViewer>([&](TFileViewer* v) {
                       v->DiscTree->setCurrentIndex(FolderRow(v, 0));
                       docsFiles = v->GetRows().size();
                       v->FileClose->trigger();
                     })});
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_EQ(docsFiles, 0u);
  // Taken, the scan runs and tells what it could not read.
  {
    Answers answers({Message(question, QMessageBox::Yes), Choose(Out / "rescan"),
                     Message(lost + "読み出せなかったディレクトリのセクタ: 2個")});
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_TRUE(fs::exists(Out / "rescan" / "readme.txt"));
}

TEST_F(TrackListWalk, TwoPluginsClaimingOneFileCarveItInTheOrderTheSettingsGive) {
  for (const char* name : {"ScriptA.fpi", "ScriptB.fpi"})
    fs::copy_file(fs::path(QNL_SCRIPTED_PLUGIN_DIR) / name, Work / "Plugin" / name);
  PluginManager.LoadPlugins((Work / "Plugin").string());
  Select(2);
  DetectDir = false;
  ListOnly = true;
  const auto carvedAs = [&] {
    std::vector<std::string> carved;
    Answers answers({Message(txt::kMsgNoVolume, QMessageBox::Yes), Choose(Out.Path),
                     On<TFileViewer>([&](TFileViewer* v) {
                       for (const TExtractedFile* e : v->GetRows())
                         if (e->TypeName.rfind("Script", 0) == 0)
                           carved.push_back(FileColumnText(*e, 6) + " " + fs::path(e->Name).extension().string() +
                                            " " + std::to_string(e->Size));
                       v->FileClose->trigger();
                     })});
    TocDlg->ExtractSingle->trigger();
    return carved;
  };
  const std::string size = std::to_string(kTaggedSize);
  EXPECT_EQ(carvedAs(), (std::vector<std::string>{"プラグイン(ScriptA) .scA " + size}));

  // ScriptB dragged above ScriptA: now it is asked first and carves the file.
  {
    Answers answers({On<TPluginSettingDlg>([](TPluginSettingDlg* d) {
      const std::vector<unsigned>& order = d->GetDisplayOrder();
      const auto b = std::find_if(order.begin(), order.end(),
                                  [](unsigned e) { return PluginManager.GetFileName(e) == "ScriptB.fpi"; });
      const int row = static_cast<int>(b - order.begin());
      d->PluginListMouseDown(row, /*leftButton=*/true, /*doubleClick=*/false);
      d->PluginListMouseMove(row - 1);
      d->PluginListMouseUp();
      d->OkBtn->click();
    })});
    QnlMainFrm->SettingsPlugin->trigger();
  }
  EXPECT_EQ(app_test::PluginFileNames(),
            (std::vector<std::string>{"Jpeg.fpi", "Png.fpi", "ScriptB.fpi", "ScriptA.fpi", "Zip.fpi"}));
  EXPECT_EQ(carvedAs(), (std::vector<std::string>{"プラグイン(ScriptB) .scB " + size}));
}

TEST_F(TrackListWalk, AFailedCopyNamesItsFileOrFolderAndADeclinedScanLeavesNoFolder) {
  Select(0);
  {
    Answers answers({
        On<TFileViewer>([](TFileViewer* v) {
          // Every file into a folder nothing can be made in, whoever runs the test.
          EXPECT_FALSE(v->ReadDirectory(IsoExtracter.Root, "/proc"));
          const QModelIndex docs = FolderRow(v, 0);
          ASSERT_EQ(docs.data().toString(), "docs");
          v->DiscTree->setCurrentIndex(docs);
          v->FileCheckAll->trigger();
          DiskFull full(kRoomLeft);
          v->FileReadMulti->trigger();
          v->FileClose->trigger();
        }),
        Message(std::string(txt::kMsgFolderFailed) + "/proc/docs"),
        Choose(Out.Path),
        Message(txt::kMsgCopyFailed + (Out / "numbers.txt").string() + "\n出力先に書き込めませんでした。"),
    });
    TocDlg->ExtractSingle->trigger();
  }
  EXPECT_FALSE(fs::exists(Out / "tagged.bin"));  // the copies stop at the failed one

  // Track 3's volume cannot be read and the scan is declined: nothing is made for it.
  TocDlg->TrackList->topLevelItem(2)->setCheckState(0, Qt::Checked);
  Answers declined({Choose(Out.Path), Message(txt::kMsgNoVolume, QMessageBox::No)});
  TocDlg->ExtractMulti->trigger();
  EXPECT_FALSE(fs::exists(Out / "Track03"));
}

TEST_F(TrackListWalk, AnEditedListIsSavedAndLoadedBack) {
  QTreeWidget* list = TocDlg->TrackList;
  TocDlg->show();  // laid out, so that the double click finds its line
  ASSERT_TRUE(QTest::qWaitForWindowExposed(TocDlg));
  EXPECT_TRUE(ui_test::FixedSize(TocDlg));
  {
    Answers answers({On<TTrackDlg>([](TTrackDlg* d) {
      d->ToMSFEdit->setText("00:30:00");
      emit d->ToMSFEdit->textEdited(d->ToMSFEdit->text());
      d->SysCmb->setCurrentIndex(2);
      d->OkBtn->click();
    })});
    const QPoint line = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line);  // a double click is a press, then another
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line);
  }
  EXPECT_EQ(list->topLevelItem(1)->text(4), "00:30:00");
  EXPECT_EQ(list->topLevelItem(1)->text(6), "CDDA(EMPH)");
  EXPECT_EQ(ui_test::CutColumns(list), std::vector<int>{});  // whole texts in the list's own font
  const std::vector<TCdTrack> edited = CdTracks;
  {
    Answers answers({Choose(Out / "walk.trk")});
    TocDlg->FileSaveList->trigger();
  }
  EXPECT_EQ(TrackDir, Out.Path.string());
  ClearTrackList();
  {
    Answers answers({Choose(Out / "walk.trk")});
    TocDlg->FileLoadList->trigger();
  }
  EXPECT_EQ(CdTracks, edited);
  EXPECT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(1)->text(4), "00:30:00");

  // A list that cannot be written is reported, not passed over.
  {
    Answers answers({Choose(Out / "missing" / "walk.trk"), Message(txt::kMsgSaveListFailed)});
    TocDlg->FileSaveList->trigger();
  }
  TocDlg->hide();
}

TEST(FileListTexts, SizesSectorsAndModesAsTheListShowsThem) {
  struct Case {
    uint64_t bytes;
    const char* text;
  };
  for (const Case& c : {Case{0, "0.00 KB"}, Case{1048575, "1024.00 KB"}, Case{1048576, "1.00 MB"},
                        Case{1073741824, "1.00 GB"}, Case{1536, "1.50 KB"}})
    EXPECT_EQ(SizeToText(c.bytes), c.text) << c.bytes;

  TExtractedFile e;
  e.Start = 1000, e.Size = 2049, e.SectorMode = dtMode1, e.Kind = nkZeroTailRun, e.TailZeroCount = 64;
  EXPECT_EQ(FileColumnText(e, 1), "850");
  EXPECT_EQ(FileColumnText(e, 2), "2");
  EXPECT_EQ(FileColumnText(e, 5), "");  // only volume and found directories have dates
  EXPECT_EQ(FileColumnText(e, 6), "ゼロ分割(64)");
  e.SectorMode = dtMode2Formless, e.Size = 2048 * 2 + 1, e.Kind = nkCarved, e.TypeName = "JPEG";
  EXPECT_EQ(FileColumnText(e, 2), "2");  // formless sectors hold 2336 bytes of a file
  EXPECT_EQ(FileColumnText(e, 6), "プラグイン(JPEG)");
  e.Kind = 9;
  EXPECT_EQ(FileColumnText(e, 6), "編集済み");
}

// Every failure code an engine can end with reaches the user as a Japanese reason of its
// own below the failure message; a code without a reason adds nothing.
TEST(MessageTexts, EveryCodeGivesItsOwnJapaneseReason) {
  std::set<std::string> seen;
  for (int c = fcNone; c <= fcCount; ++c) {
    const auto code = static_cast<TFailureCode>(c);
    const std::string shown = WithReason("M", code).toStdString(), reason = FailureText(code);
    if (code == fcNone || code == fcCount) {
      EXPECT_EQ(shown, "M") << c;
      continue;
    }
    EXPECT_EQ(shown, "M\n" + reason) << c;
    EXPECT_TRUE(seen.insert(reason).second) << reason;
    EXPECT_TRUE(std::none_of(reason.begin(), reason.end(), [](char ch) { return ch >= 'a' && ch <= 'z'; })) << reason;
  }
}

TEST(MessageTexts, DamageNamesTheFirstFilesThenCountsTheRest) {
  TIsoExtracter::TDamage damage;
  EXPECT_EQ(DamageText(damage), "");
  for (int i = 1; i <= 7; ++i) damage.AddFile("f" + std::to_string(i));
  damage.DirectorySectors = 3;
  EXPECT_EQ(DamageText(damage),
            "読み出せないセクタがありました。\n読み出せなかったセクタを0で埋めたファイル: 7個\n"
            "  f1\n  f2\n  f3\n  f4\n  f5\n  ほか2個\n読み出せなかったディレクトリのセクタ: 3個");
}

}  // namespace
