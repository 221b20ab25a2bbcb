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
// The list's own close button: without an accelerator, so that Alt+C stays 連続(&C)'s.
inline constexpr const char* kTocCloseButton = "閉じる";

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

// Dialogs
inline constexpr const char* kApplyButton = "&Apply";
// A chosen output name that already exists is refused rather than replaced.
inline constexpr const char* kFileExists = "同じ名前のファイルが既に存在します。別の名前を指定して下さい。";

// Track-list dialog
inline constexpr const char* kFileSaveList = "&Save track list";
inline constexpr const char* kCheckAll = "CheckAll";
inline constexpr const char* kUncheckAll = "UncheckAll";
inline constexpr const char* kExtractSingle = "抽出(&E)";
inline constexpr const char* kExtractMulti = "連続(&C)";
inline constexpr const char* kTrackListFilterDlg = "Track list files (*.trk)|*.trk|All files|*.*";
inline constexpr const char* kWaveFilter = "Wave files (*.wav)|*.wav|All Files|*.*";
inline constexpr const char* kWaveExtension = "wav";
inline constexpr const char* kMsgTypeMismatch = "トラックのデータ形式とファイルシステムが一致していません。";
inline constexpr const char* kMsgNoFileSystem = "トラックのファイルシステムを指定して下さい。";
inline constexpr const char* kMsgNoVolume =
    "ISO9660のボリューム記述を発見できませんでした。ファイルを探索しますか？";
inline constexpr const char* kMsgTypeMismatchN = "トラック%.2dのデータ形式とファイルシステムが一致していません。";
inline constexpr const char* kMsgNoFileSystemN = "トラック%.2dのファイルシステムを指定して下さい。";
// Failures the list reports instead of passing over them.
inline constexpr const char* kMsgSaveListFailed = "トラックリストを保存できませんでした。";
inline constexpr const char* kMsgLoadListFailed = "トラックリストを読み込めませんでした。";
inline constexpr const char* kMsgTrackFailedN = "トラック%.2dの抽出に失敗しました。";
inline constexpr const char* kMsgEmptyTrackN = "トラック%.2dの終了アドレスが開始アドレス以前です。";
inline constexpr const char* kMsgFolderFailed = "フォルダを作成できませんでした: ";
inline constexpr const char* kMsgCopyFailed = "ファイルを読み出せませんでした: ";
inline constexpr const char* kMsgSearchFailed = "トラックの検索に失敗しました。";
// Why a run failed, by TFailureCode, on the line after its failure message.
inline constexpr const char* kFailureTexts[] = {
    "",
    "システムが読み出しコマンドを拒否しました。ドライブの設定で別の読み出しコマンドを選んで下さい。",
    "トラックのセクタを一つも読み出せませんでした。",
    "出力先に書き込めませんでした。",
    "ファイルがトラックの終端を越えています。",
    "システムがサブチャンネルの読み出しコマンドを拒否しました。ドライブの設定でTOC解析コマンドを変えて下さい。",
};
// What a volume read, copy or scan could not read, told once after it.
inline constexpr const char* kMsgDamage = "読み出せないセクタがありました。";
inline constexpr const char* kMsgDamagedFilesN = "読み出せなかったセクタを0で埋めたファイル: %llu個";
inline constexpr const char* kMsgMoreFilesN = "ほか%llu個";
inline constexpr const char* kMsgLostDirectorySectorsN = "読み出せなかったディレクトリのセクタ: %llu個";
// After a volume read that lacks directory sectors, below what it lacks.
inline constexpr const char* kMsgScanDamaged = "ファイルを探索しますか？";
// An unexpected error, with the error's own text below it.
inline constexpr const char* kMsgUnexpectedError = "予期しないエラーが発生しました。";

// File viewer
inline constexpr const char* kFileColumns[7] = {"  File name", "LBA", "Sectors", "Size", "Size(Bytes)", "Date",
                                                "Mode"};
inline constexpr int kFileColumnWidths[7] = {125, 60, 60, 75, 75, 120, 200};
inline constexpr const char* kViewerMenuFile = "ファイル(&F)";
inline constexpr const char* kViewerMenuSettings = "設定(&S)";
inline constexpr const char* kFileRead = "選択中のファイルを読み出す(&R)";
inline constexpr const char* kFileReadMulti = "チェックしたファイルを読み出す(&M)";
inline constexpr const char* kFileReadAll = "全てのファイルを読み出す(&A)";
inline constexpr const char* kAllFilesFilter = "All files|*.*";
inline constexpr const char* kModeTexts[] = {"ボリューム記述", "ディレクトリ検出", "プラグイン(", "ゼロ分割(",
                                            "読み出しエラー", "次ファイル検出", "編集済み"};

// Track properties
inline constexpr const char* kTrackTypeLabel = "Type:";
inline constexpr const char* kTrackTypes[7] = {"UNKNOWN",     "AUDIO", "MODE1", "MODE2 FORM1",
                                               "MODE2 FORM2", "MODE2", "DATA"};
inline constexpr const char* kTrackFromLabel = "From:";
inline constexpr const char* kTrackToLabel = "To:";
inline constexpr const char* kTrackLengthLabel = "Length:";
inline constexpr const char* kTrackSysLabel = "F.System:";
inline constexpr const char* kTrackSystems[4] = {"UNKNOWN", "CDDA", "CDDA(EMPH)", "ISO9660"};

// Drive settings
inline constexpr const char* kInfoGroup = " Information ";
inline constexpr const char* kVendorLabel = "Vendor Name";
inline constexpr const char* kProductLabel = "Product Name";
inline constexpr const char* kRevLabel = "Firmware Rev.";
inline constexpr const char* kAspiIdLabel = "ASPI ID";
inline constexpr const char* kNotAvailable = "N/A";
inline constexpr const char* kSptiCheck = "SPTI 経由でアクセスを行う";
inline constexpr const char* kCapabilities = "Capabilities";
inline constexpr const char* kDrvPages[4] = {"一般", "データ読み出し", "音楽読み出し", "エラー訂正"};
inline constexpr const char* kBcdCheck = "TOC取得時にBCD修正を行う";
inline constexpr const char* kSubQCmdLabel = "TOC解析コマンド:";
inline constexpr const char* kSubQCmds[2] = {"READ CD", "READ CDDA"};
inline constexpr const char* kSpeedCheck = "読み出し速度を指定:";
inline constexpr const char* kSpeedNone = "設定しない";
inline constexpr const char* kSpeedItem = "%dx ( %dKB )";
inline constexpr const char* kSpeedDetect = "検出";
inline constexpr const char* kIntervalLabel = "コマンド送信の待機時間:";
inline constexpr const char* kMsec = "msec";
inline constexpr const char* kReadCmdLabel = "読み出しコマンド:";
inline constexpr const char* kDataReadCmds[4] = {"READ CD (全タイプ)", "READ CD (対応タイプ)", "READ CD (全タイプ, RAW)",
                                                 "READ CDDA"};
inline constexpr const char* kFramesLabel = "読み出しフレーム数:";
inline constexpr const char* kExtCmdLabel = "領域外読み出しコマンド:";
inline constexpr const char* kReadAsAudioCheck = "領域外セクタは音楽セクタとして読み出される";
inline constexpr const char* kDaeCmds[4] = {"READ CD (全タイプ)", "READ CD (CDDA)", "READ CDDA", "READ 10 (RAW)"};
inline constexpr const char* kCdgLabel = "CDGカラオケ:";
inline constexpr const char* kCdgModes[3] = {"None", "De-interleaved RW", "RAW"};
inline constexpr const char* kOverlapLabel = "重複フレーム数:";
inline constexpr const char* kCompareLabel = "比較フレーム数:";
inline constexpr const char* kOffsetLabel = "読み出しオフセット:";
inline constexpr const char* kFastErrorSkipCheck = "EDC/ECCエラー訂正を行わない (エラーの高速スキップ)";
inline constexpr const char* kTransferBlockCheck = "エラーブロックを読み込む";
inline constexpr const char* kRetryCountCheck = "読み出しのリトライ回数を指定する:";
inline constexpr const char* kSoftEccCheck = "ソフトウェアでエラー訂正を行う";
inline constexpr const char* kForceTypeCheck = "セクタ形式を仮定して訂正を行う";

// File-system settings
inline constexpr const char* kDeEmphCheck = "ディエンファシスフィルタを有効にする";
inline constexpr const char* kVolumeLabel = "デジタルボリューム:";
inline constexpr const char* kPercent = "%";
inline constexpr const char* kIsoTabs[2] = {"CDDA", "ISO9660"};
inline constexpr const char* kIsoPvdCheck = "ボリューム記述を読み出す";
inline constexpr const char* kIsoSvdCheck = "副ボリューム記述（JOLIET）を優先する";
inline constexpr const char* kIsoPathTableCheck = "パステーブルを読み出す";
inline constexpr const char* kIsoLittleCheck = "リトルエンディアンの数値を優先する";
inline constexpr const char* kIsoTestCheck = "実際に読み出さずにリスト表示する";
inline constexpr const char* kIsoDetectDirCheck = "フォルダを検出したら格納ファイルを読み出す";
inline constexpr const char* kIsoInReadCheck = "ファイル分割前にも検出を行う";
inline constexpr const char* kIsoUsePluginCheck = "ファイル形式プラグインを使用する";
inline constexpr const char* kIsoZeroLabel = "ファイル分割:";
inline constexpr const char* kIsoZeroItems[15] = {"1 byte",     "2 bytes",    "4 bytes",   "8 Bytes",   "16 Bytes",
                                                  "32 Bytes",   "64 Bytes",   "128 Bytes", "256 Bytes", "512 Bytes",
                                                  "1024 Bytes", "2048 Bytes", "1 frame",   "指定 bytes", "分割しない"};
inline constexpr const char* kIsoErrDivCheck = "読み出し失敗でファイルを分割する";
inline constexpr const char* kIsoTailZeroCheck = "末尾のゼロデータを削除する";

// Plug-in settings
inline constexpr const char* kPathLabel = "パス:";
inline constexpr const char* kBrowseButton = "&Browse";
inline constexpr const char* kSearchButton = "&Search";
inline constexpr const char* kPluginColumns[4] = {"  Name", "Version", "Copyright", "Comment"};
inline constexpr int kPluginColumnWidths[4] = {150, 55, 150, 750};

// Imaging of a recording (the analog tool) and its sync dialogs
inline constexpr const char* kAnalogCaption = "録音データのイメージ化";
inline constexpr const char* kAnalogTab = "イメージ化";
inline constexpr const char* kAnalogSourceLabel = "録音データ";
inline constexpr const char* kAnalogSourceBrowse = "参照(&B)";
inline constexpr const char* kAnalogImageLabel = "イメージ名";
inline constexpr const char* kAnalogImageBrowse = "参照(&R)";
inline constexpr const char* kAnalogRunButton = "実行";
inline constexpr const char* kAnalogWavFilters[2] = {"Wave Files (*.wav)", "All Files (*)"};
inline constexpr const char* kAnalogTooLarge = "録音データが 2 GB を超えているため処理できません。";
inline constexpr const char* kAnalogCannotOpen = "録音データを開けません。";
inline constexpr const char* kAnalogSameFile = "イメージ名が録音データと同じファイルを指しています。\n別の名前を指定してください。";
inline constexpr const char* kAnalogCannotCreate = "イメージファイルを作成できません。";
inline constexpr const char* kAnalogWriteFailed = "イメージファイルへの書き込みに失敗しました。イメージは不完全です。";
inline constexpr const char* kAnalogReadFailed = "録音データを最後まで読めませんでした。イメージは不完全です。";
inline constexpr const char* kAnalogBadOffset = "指定したオフセットは録音データの範囲外です。";
inline constexpr const char* kAnalogOk = "OK";
inline constexpr const char* kAnalogView = "View";
inline constexpr const char* kAnalogDescramble = "スクランブル解除";
inline constexpr const char* kAnalogCancelImage = "イメージの作成をキャンセルする";
inline constexpr const char* kAnalogAbortImage = "イメージの作成を中断する";
inline constexpr const char* kAnalogSpecifySector = "セクタ位置を指定する";
inline constexpr const char* kAnalogNoSync = "同期ヘッダを発見できませんでした";
inline constexpr const char* kAnalogForceFromSector = "セクタ位置を指定して強引にスクランブル解除を行う";
inline constexpr const char* kAnalogSyncFound = "オフセット 0x%.8x に同期ヘッダを発見しました";
inline constexpr const char* kAnalogFromHere = "この位置からイメージを作成する";
inline constexpr const char* kAnalogSyncLost = "オフセット 0x%.8x で同期ヘッダを見失いました";
inline constexpr const char* kAnalogForceContinue = "強引にスクランブルを解除を行って続行する";
inline constexpr const char* kAnalogPlainContinue = "スクランブル解除を行わずに続行する";
inline constexpr const char* kAnalogNextSync = "次の同期ヘッダを検索する";

}  // namespace txt
