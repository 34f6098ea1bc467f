// ryftp: a console FTP and dial-up client in the manner of the Windows ftp command, and
// the reference host of RYINET.DLL. It calls every export through the import library as
// a host should: result buffers sized as each export states (the listing's grows as
// written, through the host kit's RyKitBuffer), WININET kept loaded while handles are
// held (ryftp links it: it reads opened files and uploads through it), handles closed
// file first, then connection, then session. main only reads the command line and the
// input; a session (session.h) runs the commands.
#include <windows.h>
#include <stdio.h>
#include "command_table.h"
#include "input.h"
#include "options.h"
#include "ryinet_kit.h"
#include "session.h"
#include "text.h"

using namespace ryftp;

namespace {

// A result past the reservation: say so and stop before memory is overwritten.
void StopBeforeOverwrite(void*, size_t bytes) {
    WriteText(stdout, "the result passed the " + std::to_string(bytes) +
                          " bytes reserved for it (--max-entries); ryftp stops before memory is overwritten\n");
    fflush(stdout);
    ExitProcess(1);
}

// --echo-boxes: the session's transcript tells the whole story, and nobody waits.
int EchoBox(void*, const RyKitShownBox* box) {
    WriteText(stdout, "[box] " + TextFromBytes(box->caption) + ": " + TextFromBytes(box->text) + "\n");
    fflush(stdout);
    return IDOK;
}

// The session's watchdog, for the console's control handler, which gets no context.
Watchdog* gRunning;

// Ctrl-C cancels the command that runs. With none running, the system's own handler
// ends ryftp, as it ends any console program.
BOOL WINAPI OnConsoleControl(DWORD event) {
    Watchdog* w = gRunning;
    return event == CTRL_C_EVENT && w && w->cancel();
}

// The commands of the command line, then of the input, until bye or its end.
bool RunSession(Session& session, const Options& o, Input& input) {
    bool allOk = true;
    if (o.open.size() > 1) {
        if (!session.interactive) session.say("ryftp> %s\n", EchoLine(o.open).c_str());
        allOk = session.run(o.open);
    }
    InputLine line;
    while (!session.finished) {
        if (session.interactive) {
            session.say("ryftp> ");
            fflush(stdout);
        }
        if (!input.next(&line)) break;
        allOk = session.runLine(line, !session.interactive) && allOk;
    }
    return allOk;
}

}  // namespace

int main() {
    std::vector<std::string> arguments = CommandLineArguments();  // UTF-8, as ryftp's text is
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(&a[0]);
    Options o;
    int status = ReadOptions(static_cast<int>(argv.size()), argv.data(), &o);
    if (status >= 0) return status;
    Input input(stdin);
    unsigned long error;
    if (o.scriptPath && !input.openScript(o.scriptPath, &error)) return UsageError("cannot read ", o.scriptPath);
    bool interactive = input.kind() == Input::kConsole;

    RyKitBuffer results;
    if (!RyKitBufferReserve(&results, RYINET_LISTING_BYTES(o.maxEntries), &StopBeforeOverwrite, nullptr)) {
        fprintf(stderr, "ryftp: cannot reserve address space for %lu listing entries\n", o.maxEntries);
        return 2;
    }
    RyKitBoxWatch boxes;
    RyKitWatchBoxes(&boxes, o.echoBoxes ? &EchoBox : nullptr, nullptr);
    bool allOk;
    {
        Session session(GetConsoleWindow(), results, boxes, interactive);
        if (!interactive) session.answers = &input;
        ApplyFtpFlags(o.ftpFlags, session);
        session.passive = !o.active;
        session.watchdog.setLimits(o.timeoutSeconds, o.maxTimeSeconds);
        session.link.retries = static_cast<unsigned>(o.retries);
        session.parallel = static_cast<unsigned>(o.parallel);
        gRunning = &session.watchdog;
        SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
        allOk = RunSession(session, o, input);
        SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
        gRunning = nullptr;
    }  // the session's handles close before the buffer and the watch go
    RyKitStopWatching(&boxes);
    RyKitBufferFree(&results);
    return allOk ? 0 : 1;
}
