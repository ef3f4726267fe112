// Every text the program shows, in one place. The source is UTF-8; the compiler
// turns these literals into code page 932 bytes (-fexec-charset=CP932). Inline,
// so that a text used in several files is stored once.
#pragma once

inline const char kCaptionError[] = "Error";
inline const char kCaptionKavo[] = "kavo";

// Room for any text below with its names and paths filled in; wsprintfA writes
// no more than this in any case.
enum { MESSAGE_SIZE = 1024 };

inline const char kTextNeedsWindowsNT[] = "Windows NT/2000 で起動してください。";

// kavo.exe lies in the system or the Windows folder (%s: that folder).
inline const char kTextSystemFolder[] =
    "kavo.exe は、このフォルダー（%s）では使えません。\n"
    "サービスは Windows フォルダーかシステム フォルダーで起動されるため、ここではサービスとして起動されたのか、"
    "人が起動したのかを区別できません。\n"
    "kavo.exe を専用のフォルダー（例: C:\\Program Files\\kavo\\サービス名）にコピーして、そこから起動してください。";

// The start-up probe could not read the configured service's state, or the
// service did not stop in the time its stop may take.
inline const char kTextCannotStopService[] =
    "サービスを停止できません。\nサービスの権限のあるユーザーでログインしてください。";
// The service that ran when the dialog opened could not be started again when
// it closed (%lu: the system's error number; %s: the system's text for it).
inline const char kTextStartFailed[] = "サービスを起動できませんでした（エラー %lu）。\n%s";

// The configuration dialog.
inline const char kTextSetServiceName[] = "サービス名を設定してください。";
inline const char kTextSetProgramName[] = "プログラム名を設定してください。";
// kavo.ini could not be written (read-only, held open, no rights on the folder).
inline const char kTextSaveFailed[] =
    "設定を保存できませんでした。\nkavo.ini とそのフォルダーに書き込めるか確認してください。";
// A file or folder the service depends on may be changed by someone other
// than administrators, so the service will not start the program; Yes saves
// all the same. A format: the path, then who may change it (each at most 259
// bytes).
inline const char kTextWritableByOthers[] =
    "次のファイルまたはフォルダーは、管理者以外のユーザーも変更できます。\n%s\n"
    "変更できるアカウント：%s\n"
    "管理者だけが変更できるようにするまで、サービスは起動しません。\nこのまま保存しますか？";
// Who may change it, when no account can be named: the path's security
// cannot be read, or names no owner or an account that cannot be read.
inline const char kTextSecurityUnreadable[] = "（アクセス許可を読み取れません）";
inline const char kTextUnknownAccount[] = "（不明なアカウント）";
// Put after an account whose membership of Administrators could not be
// found out (its domain controller out of reach, say).
inline const char kTextMembershipUnknown[] = "（管理者かどうか確認できません）";
inline const char kTextAskRegister[] = "サービスに登録しますか？";
inline const char kTextAskStart[] = "サービスに登録しました。サービスとして起動しますか？";
// Registered, but the recovery settings could not be made (Windows NT 4 has none).
inline const char kTextRestartNotSet[] =
    "サービスに登録しましたが、障害時の再起動を設定できませんでした。\n"
    "プログラムが異常終了しても、サービスは自動では再起動されません。";
inline const char kTextRegisterFailed[] =
    "サービスに登録できませんでした。\nサービスの権限があるユーザーでログインして実行してください。";
inline const char kTextAskRemove[] = "サービスから削除しますか？";
inline const char kTextRemoved[] = "サービスから削除しました。";
inline const char kTextRemoveFailed[] =
    "サービスから削除できませんでした。\nサービスの権限があるユーザーでログインして実行してください。";
// The configured name belongs to a service that is not this file's own (the
// first %s: the name; the second: the other file's registered path). Shown
// when the dialog opens, and when OK refuses to register under that name.
inline const char kTextOtherServiceAtOpen[] =
    "サービス名「%s」は、別のプログラムファイルのサービスが使っています。\n%s\n"
    "kavo はこのサービスを停止も起動も削除もしません。登録するには、別のサービス名を設定してください。";
inline const char kTextOtherServiceAtOk[] =
    "サービス名「%s」は、別のプログラムファイルのサービスが使っているため、登録できません。\n%s\n"
    "別のサービス名を設定してください。";
// The same, for a service whose registration may not be read (%s: the name).
inline const char kTextUnreadableServiceAtOpen[] =
    "サービス「%s」の設定を読み取れません。\n"
    "kavo のサービスかどうか分からないため、停止も起動も削除もしません。\n"
    "サービスの権限のあるユーザーでログインしてください。";
inline const char kTextUnreadableServiceAtOk[] =
    "サービス「%s」の設定を読み取れないため、登録できません。\n"
    "サービスの権限のあるユーザーでログインするか、別のサービス名を設定してください。";
// The program file is a batch file, which cmd.exe would run (%s: the file).
inline const char kTextScriptRefused[] =
    "バッチファイル（.bat、.cmd）は起動できません。\n%s\n"
    "バッチファイルは cmd.exe が実行し、パスの & | < > ^ や %% を命令として読みます。\n"
    "プログラムファイル（.exe）を設定してください。";
// The program, its final path or kavo.exe lies on a share or a removable
// drive (%s: that file); Yes saves all the same.
inline const char kTextNotLocalDrive[] =
    "次のファイルは、ネットワーク共有またはリムーバブル ドライブにあります。\n%s\n"
    "ここでは、だれが変更できるかを確かめても当てになりません。"
    "kavo.ini に anyDrive=1 を書くまで、サービスは起動しません。\nこのまま保存しますか？";
inline const char kTextOnlyPrograms[] = "プログラムファイルのみ登録可能です。";
// A dropped or chosen file whose path has a character that the system's ANSI
// code page cannot hold as it is: kavo.ini and the service could not name it.
inline const char kTextNameNotInCodePage[] =
    "このファイルまたはフォルダーの名前には、この Windows の文字コードで表せない文字があるため、指定できません。\n"
    "ファイルやフォルダーの名前を変えてから指定してください。";
// A value of kavo.ini that the dialog could not show as it is (written under
// another code page) and that OK would save over (%s: its key). Nothing is saved.
inline const char kTextValueUnreadable[] =
    "kavo.ini の %s= の値には、この Windows の文字コードで読み取れない文字があるため、保存しませんでした。"
    "kavo.ini はそのままです。\n"
    "値を入力し直すか、kavo.ini を書いたときと同じ文字コードの Windows で設定してください。";
inline const char kButtonTestStart[] = "テスト起動(&T)";
inline const char kButtonRemove[] = "削除(&D)";
// Items of the exit-method list; an item's index is its ExitMethod value.
inline const char kExitMethodClose[] = "WM_CLOSE";
inline const char kExitMethodSysCommand[] = "WM_SYSCOMMAND/SC_CLOSE";
// The open-file dialog of Browse. The filter is pairs of texts and ends in an
// empty text: the literal's own terminator is the second zero.
inline const char kBrowseTitle[] = "実行ファイルの選択";
inline const char kBrowseFilter[] = "実行ファイル(*.exe)\0*.exe\0";

// The test start.
// Before it: the program, its folder or a folder above may be changed by
// someone other than administrators, and the test runs it as the
// administrator; Yes starts it all the same. The same format as
// kTextWritableByOthers.
inline const char kTextTestWritableByOthers[] =
    "次のファイルまたはフォルダーは、管理者以外のユーザーも変更できます。\n%s\n"
    "変更できるアカウント：%s\n"
    "テスト起動では、プログラムを管理者の権限で起動します。\nこのまま起動しますか？";
// The same for the test start, which runs the program as the administrator.
inline const char kTextTestNotLocalDrive[] =
    "次のファイルは、ネットワーク共有またはリムーバブル ドライブにあります。\n%s\n"
    "テスト起動では、プログラムを管理者の権限で起動します。\nこのまま起動しますか？";
// The process made was not the file checked (a link or a drive letter
// pointed elsewhere since): it was ended before it ran.
inline const char kTextTestImageNotChecked[] =
    "起動したプロセスが、確かめたファイルではありませんでした。\n%s\n"
    "リンクやドライブ文字を通して別のファイルに差し替えられた可能性があるため、実行する前に終了させました。";
inline const char kTextTestStarted[] =
    "プログラムを起動しました。\nＯＫをクリックするとプログラムを終了します。\n"
    "終了しない場合、手動でプログラムを終了させてください。";

// kavo.exe's commands (/install, /uninstall, /?), on the console: Japanese,
// then English; the value a line names follows it.
inline const char kCommandUsage[] =
    "kavo.exe /install NAME PROGRAM [/option:TEXT] [/end:0|1] [/folder:FOLDER] [/stoptimeout:1-110]\n"
    "kavo.exe /uninstall NAME\n"
    "FOLDER: Program Files\\kavo\\NAME; \"\" = \"\n"
    "終了コード / exit code: 0 完了 / done, 1 使い方 / usage, 2 拒否 / refused, 3 失敗 / failed, "
    "4 再起動なし / no restart on failure";
// %s: NAME, PROGRAM, /option and the like.
inline const char kCommandTooLong[] = "%s: 259 バイトまで / at most 259 bytes";
inline const char kCommandNotAnsi[] = "%s: ANSI コード ページにない文字 / not in the ANSI code page";
inline const char kCommandBadValue[] = "%s: 使えない値 / not allowed: ";
inline const char kCommandNameNotFolder[] = "/folder が必要 / give /folder: ";
inline const char kCommandNoProgram[] = "プログラムがない / no such program: ";
inline const char kCommandBadFolder[] = "このフォルダーは不可 / not this folder: ";
inline const char kCommandIniExists[] = "kavo.ini がある / kavo.ini exists: ";
inline const char kCommandLink[] = "リンクかファイル / a link or a file: ";
inline const char kCommandOwner[] = "所有者が管理者でない / owner not an administrator: ";
inline const char kCommandScript[] = "スクリプトは起動しない / scripts are not started: ";
inline const char kCommandNotLocal[] = "共有かリムーバブル ドライブ / on a share or a removable drive: ";
inline const char kCommandWritable[] = "管理者以外も変更できる / others can change: ";
inline const char kCommandAccount[] = "  アカウント / account: ";
inline const char kCommandRegistered[] = "登録済み / registered already: ";
inline const char kCommandRuns[] = "  ファイル / file: ";
// %s: the step, %lu: the system's error; its text follows.
inline const char kCommandStepFailed[] = "失敗 / failed: %s (%lu) ";
inline const char kCommandNotRunning[] = "RUNNING にならない / not RUNNING: %lu, %lu, %lu";
inline const char kCommandLeftBehind[] = "残した / left behind: ";
inline const char kCommandKept[] = "イベント ログのために残した / kept for the event log: ";
inline const char kCommandPermissionsKept[] = "管理者だけのまま / left administrators-only: ";
inline const char kCommandNothingLeft[] = "何も残していない / nothing left behind";
inline const char kCommandInstalled[] = "登録して起動した / installed and running: ";
inline const char kCommandNoRestart[] = "起動したが障害時に再起動しない / running, no restart on failure: ";
inline const char kCommandNotInstalled[] = "登録されていない / not installed: ";
inline const char kCommandNotKavo[] = "kavo のサービスではない / not kavo's: ";
inline const char kCommandRemoved[] = "削除した / removed: ";
