// Every text the program shows, in one place. The source is UTF-8; the compiler
// turns these literals into code page 932 bytes (-fexec-charset=CP932).
#pragma once

static const char kCaptionError[] = "Error";
static const char kCaptionKavo[] = "kavo";

static const char kTextNeedsWindowsNT[] = "Windows NT/2000 で起動してください。";

// The start-up probe could not read the configured service's state.
static const char kTextCannotStopService[] =
    "サービスを停止できません。\nサービスの権限のあるユーザーでログインしてください。";

// The configuration dialog.
static const char kTextSetServiceName[] = "サービス名を設定してください。";
static const char kTextSetProgramName[] = "プログラム名を設定してください。";
// kavo.ini could not be written (read-only, held open, no rights on the folder).
static const char kTextSaveFailed[] =
    "設定を保存できませんでした。\nkavo.ini とそのフォルダーに書き込めるか確認してください。";
// A file or folder the service depends on may be changed by users other than
// administrators, so the service will not start the program; Yes saves all
// the same. A format: %s is the path (at most 259 bytes).
static const char kTextWritableByOthers[] =
    "次のファイルまたはフォルダーは、管理者以外のユーザーも変更できます。\n%s\n"
    "管理者だけが変更できるようにするまで、サービスは起動しません。\nこのまま保存しますか？";
static const char kTextAskRegister[] = "サービスに登録しますか？";
static const char kTextAskStart[] = "サービスに登録しました。サービスとして起動しますか？";
static const char kTextRegisterFailed[] =
    "サービスに登録できませんでした。\nサービスの権限があるユーザーでログインして実行してください。";
static const char kTextAskRemove[] = "サービスから削除しますか？";
static const char kTextRemoved[] = "サービスから削除しました。";
static const char kTextRemoveFailed[] =
    "サービスから削除できませんでした。\nサービスの権限があるユーザーでログインして実行してください。";
static const char kTextOnlyPrograms[] = "プログラムファイルのみ登録可能です。";
static const char kButtonTestStart[] = "テスト起動(&T)";
static const char kButtonRemove[] = "削除(&D)";
// Items of the exit-method list; an item's index is its ExitMethod value.
static const char kExitMethodClose[] = "WM_CLOSE";
static const char kExitMethodSysCommand[] = "WM_SYSCOMMAND/SC_CLOSE";
// The open-file dialog of Browse. The filter is pairs of texts and ends in an
// empty text: the literal's own terminator is the second zero.
static const char kBrowseTitle[] = "実行ファイルの選択";
static const char kBrowseFilter[] = "実行ファイル(*.exe)\0*.exe\0";

// The test start.
static const char kTextTestStarted[] =
    "プログラムを起動しました。\nＯＫをクリックするとプログラムを終了します。\n"
    "終了しない場合、手動でプログラムを終了させてください。";
