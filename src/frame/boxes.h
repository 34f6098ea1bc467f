// The information boxes through which every export reports a failure.
#pragma once
#include <windows.h>

enum class Box {
    OpenNotFound,      // B1
    OpenFailed,        // B2
    CloseNotFound,     // B3
    ConnectNotFound,   // B4
    ConnectNoLibrary,  // B5
    ConnectFailed,     // B6
    DirNotFound,       // B7
    CurDirNotFound,    // B8
    DeleteFailed,      // B9
    RenameFailed,      // B10
    MakeDirFailed,     // B11
    RemoveDirFailed,   // B12
    OpenFileFailed,    // B13
    HostLookupFailed,  // B14
    ModuleDamaged,     // integrity check at load: no owner, error style
};

// Modal, blocks until dismissed; the box's own return value is of no interest.
void InfoBox(HWND owner, Box box);
