#pragma once
// The program's windows: made once at start-up in a fixed order and kept until the end,
// each reachable through its form variable.
#include <QFont>

class TQnlMainFrm;
class TTocDlg;
class TDrvSettingDlg;
class TIsoSettingDlg;
class TTocSettingDlg;
class TProgressDlg;
class TTrackDlg;
class TFileViewer;
class TAboutBox;
class TPluginSettingDlg;

extern TQnlMainFrm* QnlMainFrm;
extern TTocDlg* TocDlg;
extern TDrvSettingDlg* DrvSettingDlg;
extern TIsoSettingDlg* IsoSettingDlg;
extern TTocSettingDlg* TocSettingDlg;
extern TProgressDlg* ProgressDlg;
extern TTrackDlg* TrackDlg;
extern TFileViewer* FileViewer;
extern TAboutBox* AboutBox;
extern TPluginSettingDlg* PluginSettingDlg;

// The recorded-audio imaging windows (AnalogFrm, ANoSyncDlg, ASyncLostDlg, ASyncDlg) are
// declared with their forms.

// Creates every window, the main window first; an exception leaves the ones made so far
// to DestroyForms.
void CreateForms();
// Destroys them in reverse order and clears the variables.
void DestroyForms();

// The forms' font and the fixed-width font of the lists, with stand-ins named for
// systems that lack them, so that Japanese labels never show as boxes.
void InstallFontSubstitutes();
QFont FormFont();
QFont FixedFont();
