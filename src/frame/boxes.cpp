#include "boxes.h"

namespace {
struct BoxText {
    const char* text;
    const char* caption;
    UINT style;
};

// Indexed by Box; hosts and their users know these texts, keep them exact.
const BoxText kBoxes[] = {
    {"Function Not Found", "InternetOpen", MB_ICONINFORMATION},
    {"InternetOpen", "ERROR", MB_ICONINFORMATION},
    {"Function Not Found", "InternetClose", MB_ICONINFORMATION},
    {"Function Not Found", "InternetConnectA", MB_ICONINFORMATION},
    {"FtpConnect (c7) no Wininet handle", "FTP", MB_ICONINFORMATION},
    {"FtpConnect (c8) Could not connect to site.", "FTP", MB_ICONINFORMATION},
    {"Function Not Found", "Ftp Dir Enum", MB_ICONINFORMATION},
    {"Function Not Found", "FtpGetCurDir", MB_ICONINFORMATION},
    {"Unable to delete file.", "File Delete", MB_ICONINFORMATION},
    {"Unable to rename file.", "File Rename", MB_ICONINFORMATION},
    {"Unable to create directory.", "Directory Creation", MB_ICONINFORMATION},
    {"Unable to delete directory.", "Directory Deletion", MB_ICONINFORMATION},
    {"Unable to open file.", "FTP Open File Error", MB_ICONINFORMATION},
    {"Bad Host Lookup", "IP Detection", MB_OK},
    {"RYINET.DLL has been damaged or modified and cannot be loaded.", "RYINET", MB_ICONERROR},
};
static_assert(sizeof kBoxes / sizeof kBoxes[0] == static_cast<int>(Box::ModuleDamaged) + 1,
              "one text per box");
}  // namespace

void InfoBox(HWND owner, Box box) {
    const BoxText& b = kBoxes[static_cast<int>(box)];
    MessageBoxA(owner, b.text, b.caption, b.style);
}
