// The settings dialogs, the track properties and the folder picker driven offscreen as a
// user drives them: OK, Apply and Cancel of each, the enable rules, typing into the
// address edits, and plug-ins reordered by dragging.
#include <QApplication>
#include <QDialogButtonBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "app/Drivesettingdialog.h"
#include "app/Isosettingdialog.h"
#include "app/Krdirdlg.h"
#include "app/Msfedit.h"
#include "app/Pluginsettingdialog.h"
#include "app/Positiondialog.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/FileDialogAnswer.h"
#include "tests/app/ModalScript.h"
#include "tests/app/ui/UiTestSupport.h"

namespace {

using namespace app_test;

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override { ResetGlobals(); }
  void TearDown() override { ResetGlobals(); }
};

// Opens `dialog` modally and runs `steps` on it while it is up; returns its result.
int RunModal(QDialog& dialog, const std::function<void()>& steps) {
  ModalScript script({[&](QWidget*) { steps(); }});
  return dialog.exec();
}

TEST_F(Dialogs, FileSystemSettingsStoreOnOkOnlyAndFollowTheirEnableRules) {
  TIsoSettingDlg dlg;
  // Cancel after changing everything: nothing moves.
  RunModal(dlg, [&] {
    dlg.DeEmphCk->click();
    dlg.VolEdit->setValue(37);
    dlg.IsoPvdCk->click();
    dlg.IsoZeroCmb->setCurrentIndex(13);
    dlg.IsoZeroEdit->setValue(500);
    dlg.CancelBtn->click();
  });
  EXPECT_TRUE(DeEmph && ReadPvd);
  EXPECT_EQ(Volume, 100);
  EXPECT_EQ(TailZeroMode, 6);
  EXPECT_EQ(TailZeroVal, 64);

  // The rules: columns are ReadPvd, DetectDir, UsePlugin, zero item; then what is enabled.
  struct Case {
    bool pvd, detectDir, usePlugin;
    int zero;
    bool svd, detectDirCk, detectInRead, pluginInRead, zeroCmb, zeroEdit;
  };
  const Case cases[] = {
      {true, true, true, 13, true, false, false, false, false, false},
      {false, true, false, 13, false, true, true, false, true, true},
      {false, false, true, 14, false, true, false, true, true, false},
      {false, true, true, 12, false, true, true, true, true, false},
  };
  for (const Case& c : cases) {
    ReadPvd = c.pvd, DetectDir = c.detectDir, UsePlugin = c.usePlugin, TailZeroMode = c.zero;
    dlg.FormShow();
    const std::string where = "pvd " + std::to_string(c.pvd) + " zero " + std::to_string(c.zero);
    EXPECT_EQ(dlg.IsoSvdCk->isEnabled(), c.svd) << where;
    EXPECT_EQ(dlg.IsoPathTableCk->isEnabled(), c.svd) << where;
    EXPECT_EQ(dlg.IsoDetectDirCk->isEnabled(), c.detectDirCk) << where;
    EXPECT_EQ(dlg.IsoDetectDirInReadCk->isEnabled(), c.detectInRead) << where;
    EXPECT_EQ(dlg.IsoUsePluginInReadCk->isEnabled(), c.pluginInRead) << where;
    EXPECT_EQ(dlg.IsoZeroCmb->isEnabled(), c.zeroCmb) << where;
    EXPECT_EQ(dlg.IsoZeroEdit->isEnabled(), c.zeroEdit) << where;
    EXPECT_TRUE(dlg.IsoTestCk->isEnabled());
  }

  // OK stores every control, the disabled ones with their unchanged states.
  ResetGlobals();
  RunModal(dlg, [&] {
    dlg.VolEdit->setValue(0);
    dlg.IsoTestCk->click();
    dlg.IsoLittleCk->click();
    dlg.IsoPvdCk->click();
    dlg.IsoZeroCmb->setCurrentIndex(13);
    dlg.IsoZeroEdit->setValue(2352);
    dlg.IsoErrDivCk->click();
    dlg.IsoUsePluginCk->click();
    dlg.OkBtn->click();
  });
  EXPECT_EQ(Volume, 0);
  EXPECT_FALSE(ListOnly || LittleEndian || ReadPvd || UsePlugin);
  EXPECT_TRUE(ReadSvd && ReadTable && UsePluginInReading && DivAtErr && !DelTailZero);
  EXPECT_EQ(TailZeroMode, 13);
  EXPECT_EQ(TailZeroVal, 2352);
}

class DriveDialog : public Dialogs {
 protected:
  void SetUp() override {
    Dialogs::SetUp();
    CdRoms.Enumerate(4, false);
    ASSERT_EQ(CdRoms.GetCount(), 2u);
    DriveSettings[0].ReadAtOnce = 15, DriveSettings[1].ReadAtOnce = 15;
    DriveSettings[0].Interval = 20, DriveSettings[1].Interval = 20;
  }
  test_support::DriveMachine Machine{Drives({test_support::SmallEmulatedDrive("QUARNEL", "FIRST DRIVE"),
                                           test_support::SmallEmulatedDrive("QUARNEL", "SECOND DRIVE")},
                                          /*aspi=*/false)};
};

TEST_F(DriveDialog, EditsOfEveryTabWaitForApplyOrOkAndCancelDropsThem) {
  TDrvSettingDlg dlg;
  ASSERT_EQ(dlg.DrvTab->count(), 2);
  // Tab A edited, tab B edited, back to A: A's edits are still there; Cancel drops both.
  RunModal(dlg, [&] {
    EXPECT_EQ(dlg.ProductLbl->text().trimmed(), "FIRST DRIVE");
    EXPECT_EQ(dlg.AspiLbl->text(), "N/A");
    EXPECT_FALSE(dlg.SptiCk->isEnabled());  // one transport only
    dlg.ReadAtOnceEdit->setValue(7);
    dlg.DrvTab->setCurrentIndex(1);
    EXPECT_EQ(dlg.ProductLbl->text().trimmed(), "SECOND DRIVE");
    EXPECT_EQ(dlg.ReadAtOnceEdit->value(), 15);
    dlg.IntervalEdit->setValue(300);
    dlg.DrvTab->setCurrentIndex(0);
    EXPECT_EQ(dlg.ReadAtOnceEdit->value(), 7);
    dlg.CancelBtn->click();
  });
  EXPECT_EQ(DriveSettings[0].ReadAtOnce, 15u);
  EXPECT_EQ(DriveSettings[1].Interval, 20u);

  // Apply commits while the window stays; OK commits the last edits too.
  RunModal(dlg, [&] {
    EXPECT_EQ(dlg.ReadAtOnceEdit->value(), 15);  // the next show starts from the settings
    dlg.OffsetEdit->setValue(-667);
    dlg.DrvTab->setCurrentIndex(1);
    dlg.IntervalEdit->setValue(300);
    dlg.ApplyBtn->click();
    EXPECT_EQ(DriveSettings[0].OffsetSamples, -667);
    EXPECT_EQ(DriveSettings[1].Interval, 300u);
    EXPECT_TRUE(dlg.isVisible());
    dlg.RetryCountCk->setChecked(true);
    dlg.RetryCountEdit->setValue(12);
    dlg.OkBtn->click();
  });
  EXPECT_EQ(DriveSettings[1].RetryCountEnabled, 1);
  EXPECT_EQ(DriveSettings[1].RetryCount, 12u);
  EXPECT_EQ(DriveSettings[0].RetryCountEnabled, 0);
}

TEST_F(DriveDialog, DetectedSpeedsFillTheComboAndTheEnableRulesHold) {
  struct Case {
    uint32_t speed;
    const char* text;
  };
  for (const Case& c : {Case{7056, "40x ( 7056KB )"}, Case{1411, "8x ( 1411KB )"}, Case{706, "4x ( 706KB )"},
                        Case{176, "1x ( 176KB )"}})
    EXPECT_EQ(TDrvSettingDlg::SpeedItemText(c.speed), c.text);

  TDrvSettingDlg dlg;
  DriveSettings[0].ReadSpeed = 3000;  // between 2822 and 4234: the slower one
  DriveSettings[0].SetReadSpeed = 1;
  RunModal(dlg, [&] {
    EXPECT_FALSE(dlg.SpeedCmb->isEnabled());  // nothing detected yet
    EXPECT_FALSE(dlg.SpeedCk->isChecked());
    dlg.SpdBtn->click();
    ASSERT_EQ(dlg.SpeedCmb->count(), 8);  // the emulated drive's table
    EXPECT_EQ(dlg.SpeedCmb->currentText(), "16x ( 2822KB )");
    EXPECT_TRUE(dlg.SpeedCk->isEnabled());
    dlg.SpeedCk->setChecked(true);
    dlg.SpeedCmb->setCurrentIndex(7);
    dlg.SoftEccCk->setChecked(false);
    EXPECT_FALSE(dlg.SoftEccEdit->isEnabled() || dlg.ForceTypeCk->isEnabled());
    dlg.SoftEccCk->setChecked(true);
    EXPECT_TRUE(dlg.SoftEccEdit->isEnabled() && dlg.ForceTypeCk->isEnabled());
    dlg.RetryCountCk->setChecked(false);
    EXPECT_FALSE(dlg.RetryCountEdit->isEnabled());
    dlg.OkBtn->click();
  });
  EXPECT_EQ(ReadSpeedLists[0].GetCount(), 8u);
  EXPECT_EQ(DriveSettings[0].ReadSpeed, 7056u);
  EXPECT_EQ(DriveSettings[0].SetReadSpeed, 1);
  // A drive with no detected speeds stores neither a speed nor the wish to set one.
  EXPECT_EQ(DriveSettings[1].ReadSpeed, 0u);
  EXPECT_EQ(DriveSettings[1].SetReadSpeed, 0);
}

// Types `text` into a masked edit from its first position, as a user would.
void TypeInto(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->setCursorPosition(0);
  QTest::keyClicks(edit, text);
}

TEST_F(Dialogs, TrackPropertiesClampWhatIsTypedAndOnlyOkWritesTheTrack) {
  CdTracks = {TCdTrack{1, 1, 0, 300, 1, 1}, TCdTrack{1, 2, 300, 90000, 2, 3}};
  TTrackDlg dlg;
  // From track 2 (300..90000) each time. A typed text is clamped at every keystroke; a
  // pasted one is read whole.
  struct Case {
    bool msf, end, typed;
    const char* text;
    int64_t start, finish;
  };
  const Case cases[] = {
      {true, true, true, "15", 300, 67500},              // typed over "20:00:00"
      {true, true, false, "99:59:74", 300, 432234},      // beyond the highest end
      {true, false, false, "00:75:80", 4499, 90000},     // read as 00:59:74
      {false, false, false, "0095000", 90000, 90000},    // a start beyond the end becomes the end
      {false, true, false, "0000200", 300, 300},         // an end before the start becomes the start
      {false, false, false, "0000010", 150, 90000},      // never below 00:02:00
      {true, true, false, "12:__:7_", 300, 54000},       // a part with a blank is no number: 0
  };
  for (const Case& c : cases) {
    dlg.LoadTrack(1);
    RunModal(dlg, [&] {
      QLineEdit* edit = c.end ? (c.msf ? dlg.ToMSFEdit : dlg.ToEdit) : (c.msf ? dlg.FromMSFEdit : dlg.FromEdit);
      if (c.typed) {
        TypeInto(edit, c.text);
      } else {
        edit->setText(c.text);
        emit edit->textEdited(edit->text());
      }
      dlg.OkBtn->click();
    });
    EXPECT_EQ(CdTracks[1].Head, c.start) << c.text;
    EXPECT_EQ(CdTracks[1].Tail, c.finish) << c.text;
    EXPECT_EQ(dlg.LengthEdit->displayText(), PaddedFramesText(c.finish - c.start)) << c.text;
    EXPECT_EQ(dlg.LengthMSFEdit->displayText(), MsfText(c.finish - c.start)) << c.text;
    EXPECT_EQ(dlg.ToMSFEdit->displayText(), MsfText(c.finish)) << c.text;
    CdTracks[1] = TCdTrack{1, 2, 300, 90000, 2, 3};
  }

  // Track 1 ends before 00:02:00: showing clamps nothing; the first touch raises the start
  // and keeps the end with it; Cancel then leaves the list alone.
  dlg.LoadTrack(0);
  RunModal(dlg, [&] {
    EXPECT_EQ(dlg.FromEdit->displayText(), "0000000");
    EXPECT_EQ(dlg.ToMSFEdit->displayText(), "00:04:00");
    QTest::keyClick(dlg.FromEdit, Qt::Key_Up);
    EXPECT_EQ(dlg.GetStartAddress(), 150);
    EXPECT_EQ(dlg.GetEndAddress(), 300);
    dlg.TrackEndDown->click();
    EXPECT_EQ(dlg.GetEndAddress(), 299);
    dlg.TypeCmb->setCurrentIndex(6);
    dlg.CancelBtn->click();
  });
  EXPECT_EQ(CdTracks[0], (TCdTrack{1, 1, 0, 300, 1, 1}));
  CdTracks[0].Tail = 100;  // a loaded track "0 100"
  dlg.LoadTrack(0);
  RunModal(dlg, [&] {
    dlg.TrackStartUp->click();
    dlg.SysCmb->setCurrentIndex(3);
    dlg.OkBtn->click();
  });
  EXPECT_EQ(CdTracks[0].Head, 150);
  EXPECT_EQ(CdTracks[0].Tail, 150);  // never an end before the start
  EXPECT_EQ(CdTracks[0].FileSystem, 3);
}

// Answers the next folder picker with `folder` (empty: cancel).
ModalScript::Step PickFolder(const std::string& folder) {
  return [folder](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) {
      w->close();
      return;
    }
    if (folder.empty()) {
      dialog->reject();
      return;
    }
    app_test::AnswerFileDialog(*dialog, folder);
  };
}

TEST_F(Dialogs, FolderPickerKeepsItsFolderWhenCancelled) {
  test_support::TempDir dir;
  std::filesystem::create_directories(dir / "chosen");
  TKrDirectoryDialog picker(nullptr);
  picker.InitialDir = dir.Path.string() + "/";
  {
    ModalScript script({PickFolder((dir / "chosen").string())});
    EXPECT_TRUE(picker.Execute());
  }
  EXPECT_EQ(picker.Directory, (dir / "chosen").string());
  {
    ModalScript script({PickFolder("")});
    EXPECT_FALSE(picker.Execute());
  }
  EXPECT_EQ(picker.Directory, (dir / "chosen").string());

  // A folder typed before it exists: Choose waits for it, and is there as soon as it is.
  const auto later = dir / "later" / "deeper";
  bool refusedFirst = false, chosenOnceMade = false;
  ModalScript script({[&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    QPushButton* choose = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open);
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(later.string()));
    refusedFirst = !choose->isEnabled();
    std::filesystem::create_directories(later);
    chosenOnceMade = QTest::qWaitFor([&] { return choose->isEnabled(); }, 5000);
    if (chosenOnceMade) choose->click();
    else dialog->reject();
  }});
  EXPECT_EQ(picker.Execute(), chosenOnceMade);
  EXPECT_TRUE(refusedFirst);
  EXPECT_TRUE(chosenOnceMade);
  EXPECT_EQ(picker.Directory, later.string());
}

class PluginDialog : public Dialogs {
 protected:
  void SetUp() override {
    Dialogs::SetUp();
    CopyPlugins(Program.Path, {"Gif.fpi", "Png.fpi", "Zip.fpi"});
    CopyPlugins(Other.Path, {"Bmp.fpi", "Jpeg.fpi"});
    PluginManager.LoadPlugins((Program / "Plugin").string());
    ASSERT_EQ(PluginFileNames(), (std::vector<std::string>{"Gif.fpi", "Png.fpi", "Zip.fpi"}));
  }
  // Presses on row `from`, moves over each row up to `to`, releases.
  static void DragRow(TPluginSettingDlg& dlg, int from, int to) {
    QWidget* viewport = dlg.PluginList->viewport();
    const auto centre = [&](int row) { return dlg.PluginList->visualItemRect(dlg.PluginList->topLevelItem(row)).center(); };
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(from));
    for (int r = from; r != to;) {
      r += to > r ? 1 : -1;
      QMouseEvent move(QEvent::MouseMove, centre(r), viewport->mapToGlobal(centre(r)), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(to));
  }
  test_support::TempDir Program{"qnl-program"};
  test_support::TempDir Other{"qnl-other"};
};

TEST_F(PluginDialog, RowsDraggedAndUncheckedTakeEffectOnOkOnly) {
  TPluginSettingDlg dlg;
  RunModal(dlg, [&] {
    EXPECT_EQ(dlg.PathEdit->text().toStdString(), (Program / "Plugin").string());
    DragRow(dlg, 0, 2);
    EXPECT_EQ(dlg.GetDisplayOrder(), (std::vector<unsigned>{1, 2, 0}));
    dlg.PluginList->topLevelItem(1)->setCheckState(0, Qt::Unchecked);  // Zip
    dlg.CancelBtn->click();
  });
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Gif.fpi", "Png.fpi", "Zip.fpi"}));
  EXPECT_TRUE(PluginManager.GetEnabled(2));

  RunModal(dlg, [&] {
    DragRow(dlg, 0, 2);
    // A jump of two rows ends a drag without moving anything.
    QWidget* viewport = dlg.PluginList->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, dlg.PluginList->visualItemRect(dlg.PluginList->topLevelItem(0)).center());
    dlg.PluginListMouseMove(2);
    dlg.PluginListMouseMove(1);
    QTest::mouseRelease(viewport, Qt::LeftButton);
    dlg.PluginList->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    dlg.OkBtn->click();
  });
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Png.fpi", "Zip.fpi", "Gif.fpi"}));
  EXPECT_TRUE(PluginManager.GetEnabled(0));
  EXPECT_FALSE(PluginManager.GetEnabled(1));
  EXPECT_TRUE(PluginManager.GetEnabled(2));
}

TEST_F(PluginDialog, CancelAfterSearchPutsBackTheFolderOrderAndFlags) {
  PluginManager.Move(0, 2);
  PluginManager.SetEnabled(1, false);
  TPluginSettingDlg dlg;
  RunModal(dlg, [&] {
    dlg.PathEdit->setText(QString::fromStdString(Other.Path.string() + "/Plugin"));
    dlg.SearchBtn->click();
    EXPECT_EQ(dlg.PluginList->topLevelItemCount(), 2);
    // The whole names ("Windows Bitmap Plug-in") in a window of the one size.
    EXPECT_EQ(ui_test::CutColumns(dlg.PluginList), std::vector<int>{}) << dlg.PluginList->topLevelItem(0)->text(0).toStdString();
    EXPECT_TRUE(ui_test::FixedSize(&dlg));
    dlg.CancelBtn->click();
  });
  EXPECT_EQ(PluginManager.GetDirectory(), (Program / "Plugin").string());
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Png.fpi", "Zip.fpi", "Gif.fpi"}));
  EXPECT_FALSE(PluginManager.GetEnabled(1));

  // Browse to the other folder and OK: its plug-ins stay, in folder order, all enabled.
  RunModal(dlg, [&] {
    ModalScript picker({PickFolder(Other.Path.string() + "/Plugin")});
    dlg.BrowseBtn->click();
    dlg.OkBtn->click();
  });
  EXPECT_EQ(PluginFileNames(), (std::vector<std::string>{"Bmp.fpi", "Jpeg.fpi"}));
  EXPECT_TRUE(PluginManager.GetEnabled(0) && PluginManager.GetEnabled(1));
}

}  // namespace
