// One ryftp session: the handles it holds and the commands that use them.
#pragma once
#include <windows.h>
#include <ras.h>
#include <string>
#include <vector>
#include "box_watch.h"
#include "growing_buffer.h"

const size_t kListingRecordBytes = 290;  // the most one listing record takes
const size_t kEntryNameBytes = 257;      // the most one phonebook name takes, with its ';'

struct Session {
    Session(HWND owner, GrowingBuffer& results, BoxWatch& boxes, bool interactive)
        : owner(owner), results(results), boxes(boxes), interactive(interactive) {}
    ~Session();  // closes the connection, then the session
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one command; false when it failed, after saying why.
    bool run(const std::vector<std::string>& words);
    void closeConnection();
    std::string askPassword(const char* prompt) const;  // "" in a script
    void checkFits(const char* what) const;  // ends ryftp if the text passed the buffer

    HWND owner;              // owns the library's boxes: the console window
    GrowingBuffer& results;  // for RyFtpDir and RyRasEnumE, which write all they have
    BoxWatch& boxes;
    bool interactive;
    bool finished = false;

    DWORD internet = 0;    // from RyINetOpen
    DWORD connection = 0;  // from RyFtpConnect on that session
    std::string host, user;
    HRASCONN dial = nullptr;  // the last dial's connection, ours to hang up
    std::string dialEntry;
};

// The line as a transcript shows it: words quoted where needed, passwords as ****.
std::string EchoLine(const std::vector<std::string>& words);
void PrintCommandHelp();

// What ryftp does when a result passes its buffer: say so and stop (never returns).
void StopBeforeOverwrite(size_t bytes);
