#include "app/Forms.h"

#include <QWidget>
#include <memory>
#include <vector>

#include "app/AboutDialog.h"
#include "app/Analogform.h"
#include "app/Analognosyncdialog.h"
#include "app/Analogsyncdialog.h"
#include "app/Analogsynclostdialog.h"
#include "app/Drivesettingdialog.h"
#include "app/Fileviewerform.h"
#include "app/Formkit.h"
#include "app/Isosettingdialog.h"
#include "app/Mainform.h"
#include "app/Pluginsettingdialog.h"
#include "app/Positiondialog.h"
#include "app/Progressdialog.h"
#include "app/Texts.h"
#include "app/Tocdialog.h"
#include "app/Tocsettingdialog.h"

TQnlMainFrm* QnlMainFrm = nullptr;
TTocDlg* TocDlg = nullptr;
TDrvSettingDlg* DrvSettingDlg = nullptr;
TIsoSettingDlg* IsoSettingDlg = nullptr;
TTocSettingDlg* TocSettingDlg = nullptr;
TProgressDlg* ProgressDlg = nullptr;
TTrackDlg* TrackDlg = nullptr;
TFileViewer* FileViewer = nullptr;
TAboutBox* AboutBox = nullptr;
TPluginSettingDlg* PluginSettingDlg = nullptr;

namespace {

std::vector<std::unique_ptr<QWidget>> Created;

template <typename T>
void CreateForm(T*& variable) {
  auto form = std::make_unique<T>();
  variable = form.get();
  Created.push_back(std::move(form));
}

}  // namespace

void CreateForms() {
  CreateForm(QnlMainFrm);
  CreateForm(TocDlg);
  CreateForm(DrvSettingDlg);
  CreateForm(IsoSettingDlg);
  CreateForm(TocSettingDlg);
  CreateForm(ProgressDlg);
  CreateForm(TrackDlg);
  CreateForm(FileViewer);
  CreateForm(AboutBox);
  CreateForm(PluginSettingDlg);
  CreateForm(AnalogFrm);
  CreateForm(ANoSyncDlg);
  CreateForm(ASyncLostDlg);
  CreateForm(ASyncDlg);
}

void DestroyForms() {
  while (!Created.empty()) Created.pop_back();
  QnlMainFrm = nullptr, TocDlg = nullptr, DrvSettingDlg = nullptr, IsoSettingDlg = nullptr;
  TocSettingDlg = nullptr, ProgressDlg = nullptr, TrackDlg = nullptr, FileViewer = nullptr;
  AboutBox = nullptr, PluginSettingDlg = nullptr;
  AnalogFrm = nullptr, ANoSyncDlg = nullptr, ASyncLostDlg = nullptr, ASyncDlg = nullptr;
}

void InstallFontSubstitutes() {
  QStringList forms, fixed;
  for (const char* name : txt::kFormFontSubstitutes) forms << Text(name);
  for (const char* name : txt::kFixedFontSubstitutes) fixed << Text(name);
  QFont::insertSubstitutions(Text(txt::kFormFont), forms);
  QFont::insertSubstitutions(Text(txt::kFixedFont), fixed);
}

QFont FormFont() {
  QFont font(Text(txt::kFormFont));
  font.setPixelSize(12);
  return font;
}

QFont FixedFont() {
  QFont font(Text(txt::kFixedFont));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(12);
  return font;
}
