// The main window driven as a user would: Start on the damaged sample disc through the
// TOC options and the progress window to the track list, Cancel during the Q search, no
// drives, NoDialog, and the settings and track lists kept across windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <QAction>
#include <QFileDialog>
#include <QCheckBox>
#include <QGroupBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/AboutDialog.h"
#include "app/Drivesettingdialog.h"
#include "app/Listtexts.h"
#include "app/Mainform.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "app/Tocdialog.h"
#include "app/Tocsettingdialog.h"
#include "app/Tracklistfile.h"
#include "recovery/Filelist.h"
#include "platform/Clock.h"
#include "tests/app/FileDialogAnswer.h"
#include "tests/app/ui/UiTestSupport.h"

namespace {

using ui_test::ModalScript;
using Rows = std::vector<std::vector<std::string>>;

class MainWindow : public ui_test::WindowTest {
 protected:
  // The rows the track list shows after the action (or button) that opens it.
  template <typename Trigger>
  static Rows TrackListAfter(Trigger* trigger) {
    Rows shown;
    ModalScript script;
    script.Once<TTocDlg>([&](TTocDlg* d) {
      shown = RowTexts(d->TrackList);
      d->CloseBtn->click();
    });
    if constexpr (std::is_base_of_v<QAction, Trigger>) trigger->trigger();
    else trigger->click();
    return shown;
  }
  // Start without the options window, with the search beyond the lead-out; the track
  // list that follows is closed.
  // Puts the sample disc in the machine's one drive, freezes time unless told not to,
  // and makes the forms; false when the disc could not be built.
  bool UseSampleDisc(bool frozenTime = true) {
    Drive = ui_test::SampleDiscDrive(DiscDir);
    if (!Drive) return false;
    Machine = std::make_unique<test_support::DriveMachine>(app_test::Drives({Drive}));
    if (frozenTime) Clock = std::make_unique<platform::ClockOverride>(Time);
    CreateForms();
    return true;
  }
  static void StartSearchingBeyondTheLeadOut() {
    NoDialog = true;
    Leadout = true;
    ModalScript script;
    script.Once<TProgressDlg>([](TProgressDlg*) {}).Once<TTocDlg>([](TTocDlg* d) { d->CloseBtn->click(); });
    QnlMainFrm->Button1->click();
  }

  test_support::TempDir DiscDir;
  std::shared_ptr<emu::EmulatedDrive> Drive;
  std::unique_ptr<test_support::DriveMachine> Machine;
  std::shared_ptr<platform::FakeClock> Time = std::make_shared<platform::FakeClock>();
  std::unique_ptr<platform::ClockOverride> Clock;
};

// The rows the sample disc gives: the two tracks of its TOC and the one of the lost
// second session, which only the search beyond the lead-out finds.
const Rows kSampleRows = {
    {"01", "01", "MODE 1", "00:02:00", "00:08:14", "00:06:14", "ISO9660"},
    {"02", "01", "AUDIO", "00:08:14", "00:20:14", "00:12:00", "CDDA"},
    {"03", "", "MODE 1", "02:52:14", "04:05:68", "01:13:54", "ISO9660"},
};

TEST_F(MainWindow, StartReadsTheDamagedSampleDiscThroughTheOptionsAndTheProgressWindow) {
  ASSERT_TRUE(UseSampleDisc());
  DriveSettings[0].Interval = 1;  // a fast drive: the bar still moves only a few times a second
  ASSERT_EQ(QnlMainFrm->DrvCmb->count(), 1);
  EXPECT_EQ(QnlMainFrm->DrvCmb->itemText(0).toStdString(), DriveLineText(*CdRoms.GetCdRom(0), true));
  EXPECT_EQ(QnlMainFrm->DrvCmb->itemText(0).left(6).toStdString(), "<D:> [");

  Rows shown;
  bool progressSeen = false;
  std::vector<std::pair<int, std::string>> bar;  // the bar and the status text, at each move
  QObject::connect(ProgressDlg->ProgressBar, &QProgressBar::valueChanged,
                   [&](int value) { bar.emplace_back(value, ProgressDlg->GetModel().GetStatusText()); });
  ModalScript script;
  script.Once<TTocSettingDlg>([](TTocSettingDlg* d) {
          EXPECT_FALSE(d->SearchGrp->isEnabled());
          d->LeadoutCk->click();  // search beyond the TOC's lead-out
          EXPECT_TRUE(d->SearchGrp->isEnabled());
          d->SearchAllRb->click();  // every frame
          d->OkBtn->click();
        })
      .Once<TProgressDlg>([&](TProgressDlg*) { progressSeen = true; })
      .Once<TTocDlg>([&](TTocDlg* d) {
        shown = RowTexts(d->TrackList);
        d->CloseBtn->click();
      });
  QnlMainFrm->Button1->click();

  EXPECT_EQ(shown, kSampleRows);
  EXPECT_TRUE(progressSeen);
  EXPECT_FALSE(ProgressDlg->isVisible());
  EXPECT_EQ(ProgressDlg->GetModel().GetStartText(), "Searching tracks...");
  EXPECT_TRUE(ProgressDlg->GetModel().IsCloseRequested());
  EXPECT_TRUE(Leadout);
  EXPECT_EQ(TocDetector.GetState(), wsIdle);
  EXPECT_EQ(DiscEndAddress, 1514);  // the TOC's lead-out, before the lost session
  EXPECT_EQ(Drive->CurrentPage01(), Drive->DefaultPage01());
  EXPECT_EQ(script.Seen.front(), txt::kTocSettingCaption);
  // The bar went forward through the search, saying where it read, and ended full.
  ASSERT_GT(bar.size(), 3u);
  EXPECT_LE(bar.size(), Time->Slept() / 250 + 4);
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end(), [](const auto& a, const auto& b) { return a.first < b.first; }));
  EXPECT_EQ(bar.back().first, ProgressDlg->ProgressBar->maximum());
  EXPECT_EQ(bar[bar.size() / 2].second.rfind("Searching tracks at ", 0), 0u) << bar[bar.size() / 2].second;
}

TEST_F(MainWindow, TheTracksOfTheSampleDiscGoToTheirEnginesWithTheOptions) {
  test_support::TempDir out;
  ASSERT_TRUE(UseSampleDisc());
  StartSearchingBeyondTheLeadOut();
  ASSERT_EQ(CdTracks.size(), 3u);

  Volume = 50;
  const auto wav = out / "Track02.wav";
  ASSERT_TRUE(QnlMainFrm->RipAudioTrack(1, wav.string()));
  EXPECT_EQ(std::filesystem::file_size(wav), 44u + 900u * 2352u);  // every sample of the track
  EXPECT_EQ(AudioRipper.Volume, 50);

  ASSERT_TRUE(QnlMainFrm->ReadFileSystem(0));
  EXPECT_EQ(IsoExtracter.GetVolumeLabel(), "QUARNEL_SAMPLE");
  std::vector<std::string> names;
  for (const TExtractedFile& f : IsoExtracter.Root.Children) names.push_back(f.Name);
  EXPECT_NE(std::find(names.begin(), names.end(), "docs"), names.end()) << names.size();

  // The scan finds the directories again and writes their files, as ListOnly is off.
  ListOnly = false;
  ASSERT_TRUE(QnlMainFrm->ExtractFiles(0, out.Path.string()));
  std::vector<std::string> written;
  // Primary or Joliet names, as the scan met the disc's directories.
  for (const auto& e : std::filesystem::recursive_directory_iterator(out.Path)) {
    std::string name = e.path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (e.is_regular_file()) written.push_back(name);
  }
  for (const char* name : {"readme.txt", "numbers.txt", "gradient.png", "docs.zip"})
    EXPECT_NE(std::find(written.begin(), written.end(), name), written.end()) << name;
  ClearTrackList();
  EXPECT_TRUE(IsoExtracter.Root.Children.empty());
  EXPECT_EQ(ProgressDlg->GetModel().GetStartText().rfind("Ripping", 0), std::string::npos);  // the scan's title last
}

// The lost second session lies beyond the TOC's lead-out, where the drive answers
// scrambled: with the default settings its volume reads, and the scan finds its
// directories again and writes every file whole under its own name.
TEST_F(MainWindow, TheLostSessionGivesBackItsFilesWithTheDefaultSettings) {
  test_support::TempDir out;
  ASSERT_TRUE(UseSampleDisc());
  StartSearchingBeyondTheLeadOut();
  ASSERT_EQ(CdTracks.size(), 3u);
  ASSERT_LT(DiscEndAddress, CdTracks[2].Head);

  ASSERT_TRUE(QnlMainFrm->ReadFileSystem(2));
  EXPECT_EQ(IsoExtracter.GetVolumeLabel(), "QUARNEL_UPDATE");
  const std::vector<TExtractedFile> listed = IsoExtracter.Root.Children;
  ASSERT_EQ(listed.size(), 3u);

  ListOnly = false;
  ASSERT_TRUE(QnlMainFrm->ExtractFiles(2, out.Path.string()));
  for (const TExtractedFile& f : listed) {
    const std::string written = app_test::ReadText(out / f.Name);
    EXPECT_EQ(written.size(), f.Size) << f.Name;
    if (f.Name == "photo.jpg") {
      EXPECT_TRUE(written.starts_with("\xFF\xD8\xFF") && written.ends_with("\xFF\xD9"));
    }
  }
  std::string counted;
  for (int n = 1; n <= 1500000; ++n) counted += std::to_string(n) + "\n";
  EXPECT_TRUE(app_test::ReadText(out / "counted.txt") == counted);
  EXPECT_EQ(app_test::ReadText(out / "update.txt"), "Quarnel sample disc\nsession 2: written later, lost from the TOC\n");
  // Their sectors went out as files, not as runs: only the volume's own sectors are left.
  for (const TExtractedFile& f : IsoExtracter.Root.Children)
    if (f.Kind >= nkZeroTailRun) {
      EXPECT_LT(f.Start, CdTracks[2].Head + 32) << f.Name;
    }
  EXPECT_EQ(Drive->CurrentPage01(), Drive->DefaultPage01());
}

TEST_F(MainWindow, EscDuringTheQSearchCancelsItAndTheWindowClosesWhenTheWorkerEnds) {
  ASSERT_TRUE(UseSampleDisc(/*frozenTime=*/false));
  Leadout = true;
  NoDialog = true;
  DriveSettings[0].Interval = 100;  // a real pause after every read: the search takes seconds

  bool visibleAfterEsc = false;
  ModalScript script;
  script
      .On<TProgressDlg>([&](TProgressDlg* d) {
        if (TocDetector.GetState() != wsRunning || d->GetModel().GetMaximum() == 1) return false;
        QTest::keyClick(d, Qt::Key_Escape);
        visibleAfterEsc = d->isVisible();  // Esc asks; the worker's answer closes
        return true;
      })
      .Once<TTocDlg>([](TTocDlg* d) { d->CloseBtn->click(); });
  QnlMainFrm->Button1->click();

  EXPECT_TRUE(visibleAfterEsc);
  EXPECT_FALSE(ProgressDlg->isVisible());
  EXPECT_EQ(TocDetector.GetState(), wsIdle);
  // A whole search samples every minute up to 80:00; the cancelled one stopped early.
  size_t qReads = 0;
  for (const auto& entry : Drive->Log())
    if (entry.Cdb.size() > 10 && ((entry.Cdb[0] == 0xBE && entry.Cdb[10] == 2) || entry.Cdb[0] == 0xD8)) ++qReads;
  EXPECT_LT(qReads, 40u);
  EXPECT_EQ(Drive->CurrentPage01(), Drive->DefaultPage01());
}

TEST_F(MainWindow, ASearchWhoseQCommandTheSystemRefusesSaysSoBeforeTheTocTracks) {
  test_support::TempDir discDir;
  auto sample = ui_test::SampleDiscDrive(discDir);
  ASSERT_TRUE(sample);
  auto disc = std::make_shared<emu::Disc>(sample->GetDisc());
  disc->Profile.FilterVendorCommands = true;  // READ CDDA without the raw-I/O right
  auto drive = std::make_shared<emu::EmulatedDrive>(disc);
  // Over pass-through, the transport that tells a refused command from a failed one.
  test_support::DriveMachine machine(app_test::Drives({drive}, /*aspi=*/false));
  platform::ClockOverride clock(std::make_shared<platform::FakeClock>());
  CreateForms();
  DriveSettings[0].SubChCmd = 1;
  NoDialog = true;
  Leadout = true;
  std::string message;
  Rows shown;
  ModalScript script;
  script.Once<TProgressDlg>([](TProgressDlg*) {})
      .Once<QMessageBox>([&](QMessageBox* box) {
        message = box->text().toStdString();
        box->accept();
      })
      .Once<TTocDlg>([&](TTocDlg* d) {
        shown = RowTexts(d->TrackList);
        d->CloseBtn->click();
      });
  QnlMainFrm->Button1->click();
  EXPECT_EQ(message, "トラックの検索に失敗しました。\nシステムがサブチャンネルの読み出しコマンドを拒否しました。"
                     "ドライブの設定でTOC解析コマンドを変えて下さい。");
  EXPECT_EQ(shown, Rows(kSampleRows.begin(), kSampleRows.begin() + 2));  // the TOC's tracks
  EXPECT_EQ(drive->CurrentPage01(), drive->DefaultPage01());
}

TEST_F(MainWindow, WithoutDrivesNothingStartsAndATrackListStillLoads) {
  test_support::DriveMachine machine(app_test::Drives({}));
  CreateForms();
  EXPECT_EQ(QnlMainFrm->DrvCmb->count(), 0);
  {
    ModalScript nothing;  // Start and Prepare open no window
    QnlMainFrm->Button1->click();
    QnlMainFrm->ToolPrepare->trigger();
  }
  EXPECT_EQ(CurrentDriveIndex, -1);

  test_support::TempDir dir;
  const std::vector<TCdTrack> tracks = {{1, 1, 150, 22000, 1, 1}, {2, 2, 33400, 40000, 2, 3}};
  ASSERT_TRUE(SaveTrackListFile((dir / "list.trk").string(), tracks));
  std::string askedIn = "unset";
  QnlMainFrm->ChooseTrackListToLoad = [&](const std::string& initial) {
    askedIn = initial;
    return (dir / "list.trk").string();
  };
  const Rows shown = TrackListAfter(QnlMainFrm->FileLoadList);
  EXPECT_EQ(askedIn, "");
  EXPECT_EQ(TrackDir, dir.Path.string());
  EXPECT_EQ(CdTracks, tracks);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], (std::vector<std::string>{"02", "02", "MODE 1", "07:25:25", "08:53:25", "01:28:00", "ISO9660"}));
  ASSERT_TRUE(QnlMainFrm->SaveTrackList((dir / "again.trk").string()));
  EXPECT_EQ(app_test::ReadText(dir / "again.trk"), app_test::ReadText(dir / "list.trk"));

  // A file that cannot be read is reported, not passed off as an empty disc.
  QnlMainFrm->ChooseTrackListToLoad = [&](const std::string&) { return dir.Path.string(); };
  std::string message;
  {
    ModalScript script;
    script.Once<QMessageBox>([&](QMessageBox* box) {
      message = box->text().toStdString();
      box->accept();
    });
    QnlMainFrm->FileLoadList->trigger();
  }
  EXPECT_EQ(message, txt::kTrackListLoadError);
  EXPECT_TRUE(CdTracks.empty());
}

// The drive settings' speed detection leaves the shared drive utility on the drive of its
// tab; a list loaded in the track list still reads its disc end from the drive box's drive.
TEST_F(MainWindow, ALoadedListTakesItsDiscEndFromTheDriveInTheDriveBox) {
  auto sample = ui_test::SampleDiscDrive(DiscDir);
  ASSERT_TRUE(sample);
  test_support::DriveMachine machine(app_test::Drives({test_support::SmallEmulatedDrive(), sample}));
  CreateForms();
  QnlMainFrm->DrvCmb->setCurrentIndex(1);
  DrvSettingDlg->show();
  DrvSettingDlg->DrvTab->setCurrentIndex(0);
  DrvSettingDlg->SpdBtn->click();
  DrvSettingDlg->hide();
  test_support::TempDir dir;
  ASSERT_TRUE(SaveTrackListFile((dir / "list.trk").string(), {{1, 1, 150, 614, 2, 3}}));
  ModalScript script;
  script.Once<QFileDialog>([&](QFileDialog* d) { app_test::AnswerFileDialog(*d, (dir / "list.trk").string()); });
  TocDlg->FileLoadList->trigger();
  EXPECT_EQ(DiscEndAddress, 1514);  // the sample disc's lead-out
  EXPECT_EQ(CurrentDriveIndex, 1);
}

TEST_F(MainWindow, NoDialogSkipsTheOptionsAndCancellingThemSkipsTheSearch) {
  ASSERT_TRUE(UseSampleDisc());
  {
    ModalScript script;
    script.Once<TTocSettingDlg>([](TTocSettingDlg* d) {
      d->LeadoutCk->click();
      d->CancelBtn->click();
    });
    QnlMainFrm->Button1->click();
  }
  EXPECT_FALSE(Leadout);
  EXPECT_TRUE(CdTracks.empty());

  NoDialog = true;
  const Rows shown = TrackListAfter(QnlMainFrm->Button1);
  EXPECT_EQ(shown, Rows(kSampleRows.begin(), kSampleRows.begin() + 2));  // the TOC's tracks
}

TEST_F(MainWindow, SettingsChangedInTheWindowsComeBackInANewWindow) {
  test_support::DriveMachine machine(
      app_test::Drives({test_support::SmallEmulatedDrive(), test_support::SmallEmulatedDrive("QUARNEL", "SECOND")}));
  CreateForms();
  ASSERT_EQ(QnlMainFrm->DrvCmb->count(), 2);
  QnlMainFrm->DrvCmb->setCurrentIndex(1);
  {
    ModalScript script;
    script.Once<TTocSettingDlg>([](TTocSettingDlg* d) {
      d->ManualCk->click();
      d->SearchAllRb->click();
      QTest::keyClicks(d->LastAdrMSFEdit, "123456");  // 12:34:56
      d->MaxLeadoutEdit->setValue(450);
      d->NoDlgCk->click();
      d->OkBtn->click();
    });
    QnlMainFrm->SettingsToc->trigger();
  }
  DriveSettings[1].Interval = 40;
  TrackDir = "/srv/tracks";
  QnlMainFrm->close();
  DestroyForms();
  app_test::ResetGlobals();

  CreateForms();
  EXPECT_EQ(QnlMainFrm->DrvCmb->currentIndex(), 1);
  EXPECT_TRUE(Manual);
  EXPECT_FALSE(FastSearch);
  EXPECT_EQ(LastAddress, 12 * 4500 + 34 * 75 + 56);
  EXPECT_EQ(MaxLeadout, 450);
  EXPECT_TRUE(NoDialog);
  EXPECT_EQ(DriveSettings[1].Interval, 40u);
  EXPECT_EQ(TrackDir, "/srv/tracks");
  EXPECT_TRUE(std::filesystem::exists(Config / "Ostrel/Quarnel/Quarnel.ini"));
}

TEST_F(MainWindow, TheLastAddressIsHeldToWhatAnMsfCanSay) {
  test_support::DriveMachine machine(app_test::Drives({}));
  CreateForms();
  struct Case {
    int64_t Start;
    const char* Typed;  // nullptr: no typing
    int Clicks;         // + up, - down
    int64_t Expected;
    const char* Shown;
  };
  const Case cases[] = {
      {0, "99:59:74", 0, 449999, "99:59:74"},  {0, "99:59:74", +1, 449999, "99:59:74"},
      {0, "00:60:75", 0, 4499, "00:59:74"},     {0, "1x:02:03", 0, 153, "00:02:03"},    {0, nullptr, -1, 0, "00:00:00"},
      {360000, nullptr, +2, 360002, "80:00:02"}, {999999, nullptr, 0, 449999, "99:59:74"},
  };
  Manual = true;  // the address can be edited only for a search
  for (const Case& c : cases) {
    LastAddress = c.Start;
    TocSettingDlg->show();
    TTocSettingDlg& d = *TocSettingDlg;
    if (c.Typed) {  // the whole text entered at once, as by pasting
      d.LastAdrMSFEdit->setText(c.Typed);
      d.LastAdrMSFEditChange();
    }
    for (int i = 0; i < std::abs(c.Clicks); ++i) (c.Clicks > 0 ? d.LastAdrUpBtn : d.LastAdrDownBtn)->click();
    EXPECT_EQ(d.GetWorkLastAddress(), c.Expected) << c.Typed << " " << c.Clicks;
    EXPECT_EQ(d.LastAdrMSFEdit->displayText().toStdString(), c.Shown);
    d.hide();
  }
  // Enable rules: nothing to search, nothing to set; the fast search has no end condition.
  Manual = Leadout = false;
  FastSearch = true;
  TocSettingDlg->show();
  EXPECT_FALSE(TocSettingDlg->SearchGrp->isEnabled());
  EXPECT_FALSE(TocSettingDlg->MaxLeadoutEdit->isEnabled());
  TocSettingDlg->ManualCk->click();
  EXPECT_TRUE(TocSettingDlg->LastAdrMSFEdit->isEnabled());
  EXPECT_FALSE(TocSettingDlg->MaxLeadoutEdit->isEnabled());
  TocSettingDlg->SearchAllRb->click();
  EXPECT_TRUE(TocSettingDlg->MaxLeadoutEdit->isEnabled());
  TocSettingDlg->hide();
}

TEST_F(MainWindow, MenusShowTheirActionsAndTheAboutBoxOpens) {
  test_support::DriveMachine machine(app_test::Drives({}));
  CreateForms();
  struct Expected {
    QAction* Action;
    const char* Caption;
    bool Enabled;
  };
  const TQnlMainFrm& f = *QnlMainFrm;
  const Expected expected[] = {
      {f.FileLoadList, "&Load track list", true}, {f.SettingsFilesystem, "&File sytems", true},
      {f.SettingsToc, "TOC(Table of Contents)", true}, {f.ToolViewer, "&Sector Viewer", false},
      {f.ToolAnalog, "&Analog", false}, {f.ToolDamyToc, "&Make damy TOC", false},
      {f.ToolQuickErase, "&Quick erase CD-RW", false}, {f.ToolPrepare, "&Prepare", true},
      {f.HelpAbout, "&About", true},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(e.Action->text().toStdString(), e.Caption);
    EXPECT_EQ(e.Action->isEnabled(), e.Enabled) << e.Caption;
  }
  EXPECT_FALSE(f.CheckBox1->isEnabled());
  EXPECT_EQ(f.Button1->text().toStdString(), "開始");
  EXPECT_EQ(f.GetHelpFile(), "");  // none beside the test program: help does nothing
  bool aboutSeen = false;
  ModalScript script;
  script.Once<TAboutBox>([&](TAboutBox* d) {
    aboutSeen = true;
    d->OkBtn->click();
  });
  QnlMainFrm->HelpAbout->trigger();
  QnlMainFrm->HelpContents->trigger();
  EXPECT_TRUE(aboutSeen);
}

}  // namespace
