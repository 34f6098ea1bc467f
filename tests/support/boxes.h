// Records the boxes RYINET shows instead of showing them (its USER32!MessageBoxA import
// is patched), in order, with owner, text, caption and style.
#pragma once
#include <windows.h>
#include <functional>
#include <ostream>
#include <string>
#include <vector>
#include "iat.h"
#include "ryinet_kit.h"

struct BoxSeen {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    bool operator==(const BoxSeen& o) const {
        return owner == o.owner && text == o.text && caption == o.caption && style == o.style;
    }
};
std::ostream& operator<<(std::ostream& os, const BoxSeen& b);

// A box or dialog as it shows on screen.
struct ShownBox {
    HWND owner;
    std::string caption;
    std::string text;
};

// Every box and dialog shown on this thread while it lives, seen through the host kit's
// box watch (a WH_CBT hook) as each is activated, and answered: by answer's command, or
// with IDOK when none is given, so nothing waits for a person.
class ShownBoxes {
public:
    using Answer = std::function<int(HWND box)>;
    explicit ShownBoxes(Answer answer = nullptr);
    ~ShownBoxes();
    ShownBoxes(const ShownBoxes&) = delete;
    ShownBoxes& operator=(const ShownBoxes&) = delete;
    std::vector<ShownBox> seen;  // oldest first

private:
    static int OnBox(void* self, const RyKitShownBox* box);
    Answer answer_;
    RyKitBoxWatch watch_;
};

class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;
    std::vector<BoxSeen> take();  // the boxes so far, oldest first; clears the record

private:
    ImportPatch patch_;
};

// The boxes as the user must see them, with the owner the call was given.
namespace boxes {
const UINT kInfo = MB_ICONINFORMATION;
inline BoxSeen B1(HWND o) { return {o, "Function Not Found", "InternetOpen", kInfo}; }
inline BoxSeen B2(HWND o) { return {o, "InternetOpen", "ERROR", kInfo}; }
inline BoxSeen B3(HWND o) { return {o, "Function Not Found", "InternetClose", kInfo}; }
inline BoxSeen B4(HWND o) { return {o, "Function Not Found", "InternetConnectA", kInfo}; }
inline BoxSeen B5(HWND o) { return {o, "FtpConnect (c7) no Wininet handle", "FTP", kInfo}; }
inline BoxSeen B6(HWND o) { return {o, "FtpConnect (c8) Could not connect to site.", "FTP", kInfo}; }
inline BoxSeen B7(HWND o) { return {o, "Function Not Found", "Ftp Dir Enum", kInfo}; }
inline BoxSeen B8(HWND o) { return {o, "Function Not Found", "FtpGetCurDir", kInfo}; }
inline BoxSeen B9(HWND o) { return {o, "Unable to delete file.", "File Delete", kInfo}; }
inline BoxSeen B10(HWND o) { return {o, "Unable to rename file.", "File Rename", kInfo}; }
inline BoxSeen B11(HWND o) { return {o, "Unable to create directory.", "Directory Creation", kInfo}; }
inline BoxSeen B12(HWND o) { return {o, "Unable to delete directory.", "Directory Deletion", kInfo}; }
inline BoxSeen B13(HWND o) { return {o, "Unable to open file.", "FTP Open File Error", kInfo}; }
inline BoxSeen B14() { return {nullptr, "Bad Host Lookup", "IP Detection", MB_OK}; }
}  // namespace boxes
