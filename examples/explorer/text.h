// Text at the Explorer's edges. Inside the window every text is UTF-16; what crosses to the
// server, or to a call that takes the ANSI code page, is bytes. A name from a listing keeps
// the server's bytes beside its text, so that what goes back to the server is exactly what
// came, whatever the text made of it.
#pragma once
#include <windows.h>
#include <string>
#include "ryinet_kit.h"

// A name as the server sent it (its bytes), decoded in the server's encoding, or "" when it
// cannot be. RyKitNamesSaw must have seen the listing's names first.
std::wstring NameText(const RyKitNames& names, const char* bytes, size_t length);

// A name the user typed, as the server's bytes. False when the server's code page has no
// room for one of its characters (an ANSI server and a name from another script).
bool ServerName(const RyKitNames& names, const std::wstring& text, std::string* bytes);

// Text from the server, as a control may show it: every C0 and C1 control character
// (U+0000-U+001F, U+007F-U+009F) and every unpaired surrogate (a byte that was not UTF-8)
// becomes U+FFFD, the mark for a character that cannot be shown, so that a hostile name
// cannot break a line, move the caret or hide a part of itself. keepLineBreaks keeps CR,
// LF and tab, for a multi-line reply in a box.
std::wstring Printable(std::wstring text, bool keepLineBreaks = false);

// A reply from the server as text: UTF-8 when it is valid, else the ANSI code page;
// printable, with its line breaks.
std::wstring ReplyText(const char* reply);

// A name the Save dialog may start with: each character a Windows file name cannot hold
// (control characters, <>:"/\|?*, an unpaired surrogate) becomes '_', and so does a last
// dot or blank, which Windows would drop; a device's name (CON, NUL, COM1...) gets a '_'
// in front. The server's name never becomes a local path unchanged.
std::wstring LocalFileName(const std::wstring& text);

// The kit's word (its bytes, a server's reply among them) as the status bar says it: one
// line, from a capital.
std::wstring KitText(const char* text);

// The kit's word before it tries a transfer again, as the status bar says it: "Broken off
// after 976 KiB of 1.9 MiB; trying again in 1 s (1 of 5)". The reason is the kit's bytes,
// a server's reply among them; a pause of 0 is a note (a line dialed again), not a wait.
std::wstring AttemptText(unsigned attempt, unsigned retries, DWORD pauseSeconds, const char* reason);

// The last part of a local path: the file's own name.
std::wstring FileNameOf(const std::wstring& path);

// Text in the ANSI code page and back, for the calls that take it: WININET's log-in (the
// server, the user name, the password) and the phonebook's names.
std::string Ansi(const std::wstring& text);
std::wstring FromAnsi(const std::string& bytes);
