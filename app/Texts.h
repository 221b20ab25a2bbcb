#pragma once
// Every text the windows show, in one place (UTF-8). Menus, column headers and progress
// titles are English; dialog captions, labels and messages are Japanese.
namespace txt {

// Program and main window
inline constexpr const char* kProgramTitle = "Quarnel";
inline constexpr const char* kMainCaption = "Quarnel";
inline constexpr const char* kStartButton = "開始";
inline constexpr const char* kWizardCheck = "復元ウィザードを使用する";
inline constexpr const char* kTrackListFilterMain = "Track list files(*.trk)|*.trk|All files|*.*";
inline constexpr const char* kTrackListExtension = "trk";
inline constexpr const char* kTrackListLoadError = "トラックリストを読み込めませんでした。";

inline constexpr const char* kMenuFile = "&File";
inline constexpr const char* kMenuSettings = "&Settings";
inline constexpr const char* kMenuTool = "&Tool";
inline constexpr const char* kMenuHelp = "&Help";

inline constexpr const char* kFileLoadList = "&Load track list";
inline constexpr const char* kFileExit = "E&xit";
inline constexpr const char* kSettingsDrive = "&Drives";
inline constexpr const char* kSettingsToc = "TOC(Table of Contents)";
inline constexpr const char* kSettingsFilesystem = "&File sytems";
inline constexpr const char* kSettingsPlugin = "&Plugins";
inline constexpr const char* kToolViewer = "&Sector Viewer";
inline constexpr const char* kToolAnalog = "&Analog";
inline constexpr const char* kToolDamyToc = "&Make damy TOC";
inline constexpr const char* kToolQuickErase = "&Quick erase CD-RW";
inline constexpr const char* kToolPrepare = "&Prepare";
inline constexpr const char* kHelpContents = "&Help";
inline constexpr const char* kHelpKeyword = "&Keyword";
inline constexpr const char* kHelpAbout = "&About";

// Drive box lines: with the ASPI address, and without (twelve blanks in its place).
inline constexpr const char* kDriveLineAspi = "<%.2s> [%.2d:%.2d:%.2d] %s %s %s";
inline constexpr const char* kDriveLineSpti = "<%.2s>            %s %s %s";

// Help file beside the program, and the About box
inline constexpr const char* kHelpFile = "Help/QuarnelJ.html";
inline constexpr const char* kAboutCaption = "Quarnelについて";
inline constexpr const char* kAboutProduct = "Quarnel";
inline constexpr const char* kAboutDescription = "傷ついたCDからデータを救出します";
inline constexpr const char* kAboutCopyright = "Copyright (C) Ostrel";
inline constexpr const char* kAboutWebSite = "&WebSite";
inline constexpr const char* kAboutOk = "&OK";
inline constexpr const char* kWebSiteUrl = "https://ostrel.example/quarnel/";

// Progress dialog
inline constexpr const char* kProgressCaption = "TOC Analysis";
inline constexpr const char* kElapsedLabel = "経過時間:";
inline constexpr const char* kElapsedStart = "00:00";
inline constexpr const char* kCancelButton = "&Cancel";

// Track-list dialog
inline constexpr const char* kTocDlgCaption = "CD内のトラックリスト";
inline constexpr const char* kTrackColumns[7] = {"  Track#", "Session#", "Type", "Start", "End", "Length",
                                                 "File System"};
inline constexpr const char* kCloseButton = "閉じる(&C)";

// TOC search options
inline constexpr const char* kTocManualCheck = "現在のTOCを無視する (TOCの手動検索)";
inline constexpr const char* kTocLeadoutCheck = "リードアウト以降のデータも読み出す";
inline constexpr const char* kTocSearchGroup = " 検索設定 ";
inline constexpr const char* kTocSearchFast = "高速サーチ";
inline constexpr const char* kTocSearchAll = "全セクタサーチ";
inline constexpr const char* kTocLastAddress = "終端アドレス:";
inline constexpr const char* kTocEndCondition = "終了条件:";
inline constexpr const char* kTocFrames = "frames";
inline constexpr const char* kTocNoDialog = "スタート時に設定ダイアログを表示しない";

// Captions of the other windows
inline constexpr const char* kDrvSettingCaption = "ドライブの設定";
inline constexpr const char* kIsoSettingCaption = "ファイルシステムの設定";
inline constexpr const char* kTocSettingCaption = "TOC読み出しの設定";
inline constexpr const char* kTrackDlgCaption = "Track Properties";
inline constexpr const char* kFileViewerCaption = "File Viewer";
inline constexpr const char* kPluginSettingCaption = "プラグインの設定";
inline constexpr const char* kOkButton = "&OK";

// Fonts: the forms' own, and what stands in for them where they are not installed.
inline constexpr const char* kFormFont = "ＭＳ Ｐゴシック";
inline constexpr const char* kFormFontSubstitutes[] = {"MS PGothic", "IPAPGothic", "VL PGothic", "Noto Sans CJK JP",
                                                       "Noto Sans CJK SC"};
inline constexpr const char* kFixedFont = "Courier New";
inline constexpr const char* kFixedFontSubstitutes[] = {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono",
                                                        "Noto Sans Mono CJK JP"};

}  // namespace txt
