// What kavo.exe's commands say: on the console it was started from, or into
// the file or pipe its output was sent to. kavo.exe is a GUI program, so it
// has no console of its own: output sent elsewhere (cmd's "> file") gets the
// lines as UTF-8 bytes with CRLF; else it attaches to the console of the
// process that started it (Windows XP and later) and writes there in UTF-16;
// on Windows 2000 without a redirection the lines go nowhere and only the exit
// code tells.
#pragma once

#include <windows.h>

void OpenCommandOutput();
void CloseCommandOutput();

// One line: one of kavo's texts (code page 932), then a value in the ANSI
// code page (a path, a name, a system's text) or in UTF-16; either value may
// be NULL.
void Say(const char* text, const char* value);
void SayWide(const char* text, const WCHAR* value);
