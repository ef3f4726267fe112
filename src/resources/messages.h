// Every text the program shows, in one place. The source is UTF-8; the compiler
// turns these literals into code page 932 bytes (-fexec-charset=CP932).
#pragma once

static const char kCaptionError[] = "Error";
static const char kCaptionKavo[] = "kavo";

static const char kTextNeedsWindowsNT[] = "Windows NT/2000 で起動してください。";

// The start-up probe could not read the configured service's state.
static const char kTextCannotStopService[] =
    "サービスを停止できません。\nサービスの権限のあるユーザーでログインしてください。";
