/*
 * ryinet_kit.h - the host kit: what every host of RYINET.dll must get right around the
 * calls, written once. C and C++, for MinGW and Visual Studio alike; nothing of it is in
 * RYINET.dll. Declarations first; the implementation is compiled once per program, in the
 * one source file that defines RYKIT_IMPLEMENTATION before it includes this header (the
 * CMake package's RYINET::kit target is that file):
 *
 *     #define RYKIT_IMPLEMENTATION
 *     #include "ryinet_kit.h"
 *
 * So the state the system gives no context for (the buffer's exception handler, the box
 * hook) exists once in a program, whatever number of its files include the header.
 *
 *  - RyKitConnect       a connection in passive mode (the client opens every data
 *                       connection, as behind a NAT) or, through RyFtpConnect, active.
 *  - RyKitBuffer        a result buffer for RyFtpDir and RyRasEnumE, which are never told
 *                       its size: address space for the most the host accepts, pages
 *                       committed as the library writes them, the text placed to end at
 *                       a guard page, so a larger result is stopped as it is written.
 *  - RyKitCredentials   an entry's stored user name and password through RdlParms, with
 *                       "no such entry" and "no password saved" told apart; wiped after use.
 *  - RyKitHangUp        ends a dial the host made and waits until the service let it go.
 *  - RyKitNames         what the server's names are written in (UTF-8, or the ANSI code
 *                       page), and the names turned into UTF-16 text and back.
 *  - RyKitReceiveFile   a remote file into NAME.part, renamed to NAME only when complete
 *                       (the server's final reply says so, and no more and no fewer bytes
 *                       came than it announced), with a progress callback that can cancel;
 *                       it asks no more of the server than it must (make bench).
 *  - RyKitReceiveInto   a remote file into a file the host opened, with the same checks and
 *                       no box when it is not there (a host that builds on the remote file).
 *                       A receive that breaks keeps what came as the kit's partial,
 *                       NAME.rykit-partial, which the next receive of the same remote
 *                       file into NAME continues (REST) when the file is unchanged.
 *  - RyKitSendFile      a local file to the server in large blocks, with the same
 *                       progress callback; the server's final reply confirms it.
 *  - RyKitLink          what a connection was opened with, to open it again: the receive
 *                       and send that try again after a break (pausing 1, 2, 4, 8, 16 s),
 *                       reconnecting, redialing a dropped dial-up line, and going on from
 *                       the byte they had.
 *  - RyKitWatchdog      ends a call that has stalled, that ran past its whole allowance,
 *                       or that the user cancelled: a thread that closes the call's handles
 *                       (and, as Wine needs, shuts down the connection's sockets).
 *  - RyKitBoxWatch      the boxes the library shows on this thread, seen as they appear
 *                       (a WH_CBT hook): a call that showed one has failed.
 *  - the readers of text from elsewhere, in ryinet_kit_text.h.
 *
 * The host owns every struct. The receive functions call WININET and RyKitHangUp calls
 * RASAPI32: link wininet and rasapi32 when you use them. One buffer and one box watch are
 * active at a time in a program.
 */
#ifndef RYINET_KIT_H
#define RYINET_KIT_H

#include <windows.h>
#include <wininet.h>
#include <ras.h>
#include <raserror.h>
#include <string.h>
#include "ryinet.h"
#include "ryinet_kit_text.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The connection handle a RYINET export gave, as WININET's own calls take it. */
RYKIT_INLINE HINTERNET RyKitInternetHandle(DWORD handle) { return (HINTERNET)(ULONG_PTR)handle; }

/* ---- Connecting ---------------------------------------------------------------------- */

/* Connects and logs in on a session from RyINetOpen. Passive: WININET's own
 * InternetConnectA with INTERNET_FLAG_PASSIVE, as RyFtpConnect connects but for that flag;
 * every export takes its handle as one from RyFtpConnect. The client then opens each data
 * connection itself, which is what works behind a NAT, a firewall or a cloud's security
 * group. Active (passive 0): RyFtpConnect, the library's plain connection, where the
 * server connects back and its box reports a failure. 0 when no connection came; reply
 * then holds the server's reply that refused it ("530 Login incorrect."), or "" when the
 * server said nothing new (unreachable, silent): the thread's last reply may be an
 * earlier call's. */
DWORD RyKitConnect(DWORD session, HWND owner, const char *server, const char *user, const char *password,
                   int passive, char *reply, DWORD replyBytes);

/* 1 when a server's reply refuses a plain log-in because it wants encryption (FTPS), which
 * the system's internet library does not speak: no password will do. */
int RyKitWantsEncryption(const char *reply);

/* ---- The result buffer ------------------------------------------------------------- */

#define RYKIT_PAGE  4096
#define RYKIT_GUARD (64 * 1024)  /* never committed: a write there passed the buffer */

/* Runs on the writing thread when a result passes the buffer, before anything else is
 * overwritten. It must not return: say so and end the process (or the thread). */
typedef void (*RyKitOverflow)(void *context, size_t bytes);

typedef struct RyKitBuffer {
    char *data;           /* the result text, ending where the guard pages begin; NULL
                             when nothing is reserved */
    size_t size;          /* the bytes the host accepts */
    char *base;           /* the reservation: whole pages, then the guard pages */
    size_t span;
    volatile LONG pages;  /* committed so far */
    PVOID handler;
    RyKitOverflow onOverflow;
    void *context;
} RyKitBuffer;

/* Reserves bytes of address space (for example RYINET_LISTING_BYTES(n)); nothing is
 * committed yet. 1 when reserved. The struct must stay where it is until
 * RyKitBufferFree. */
int RyKitBufferReserve(RyKitBuffer *b, size_t bytes, RyKitOverflow onOverflow, void *context);
/* Gives the committed pages back once the text is read; the reservation stays. */
void RyKitBufferDecommit(RyKitBuffer *b);
/* Gives the reservation back. */
void RyKitBufferFree(RyKitBuffer *b);
size_t RyKitBufferCommitted(const RyKitBuffer *b);
/* RyFtpDir into the buffer; its result (0: listed, 1: not opened). The records are at
 * b->data until RyKitBufferDecommit. */
LONG RyKitBufferList(RyKitBuffer *b, DWORD connection, HWND owner, const char *pattern);
/* After RyKitBufferList gave 1 (no listing opened): 1 when the server listed nothing (it
 * said 550, or a 2xx), 0 when the listing failed (a refused data connection, a closed
 * connection), which must not look like an empty directory. reply gets the server's last
 * reply, "" when there is none. */
int RyKitNothingListed(char *reply, DWORD bytes);
/* RyRasEnumE into the buffer: the phonebook's names at b->data (read them with
 * RyKitNextName) until RyKitBufferDecommit. */
void RyKitBufferPhonebook(RyKitBuffer *b);

/* ---- The phonebook ----------------------------------------------------------------- */

typedef struct RyKitCredentials {
    char user[RYINET_CREDENTIAL_BYTES];      /* the stored user name; "" when not found */
    char password[RYINET_CREDENTIAL_BYTES];  /* the stored password; "" when none is saved */
    int found;                               /* the phonebook holds the entry */
    int passwordSaved;                       /* a password is saved with it, maybe empty */
} RyKitCredentials;

/* Reads an entry's stored credentials; returns found. Call RyKitWipeCredentials as soon
 * as they are used. */
int RyKitReadCredentials(RyKitCredentials *c, const char *entry);
void RyKitWipeCredentials(RyKitCredentials *c);

/* Ends a dial the host made (RyRasDial's handle is the host's; the library has no
 * hang-up) and waits, as RAS asks, until the service has let the connection go: the
 * port is free only then. At most 3 seconds. Returns RasHangUpA's result. */
DWORD RyKitHangUp(HRASCONN dial);

/* ---- The server's replies ------------------------------------------------------------ */

#define RYKIT_REPLY_BYTES 512

/* The server's last reply WININET kept for this thread (InternetGetLastResponseInfoA,
 * after a successful call too: FtpCommandA's answer, a transfer's final reply), without
 * its line end; "" when there is none. */
void RyKitLastResponseInfo(char *reply, DWORD bytes);

/* Why the last WININET call failed: returns its error number, and puts the server's last
 * reply in reply when WININET kept one for it (ERROR_INTERNET_EXTENDED_ERROR), else "". */
DWORD RyKitWhyFailed(char *reply, DWORD bytes);

/* The remote file's size from the server's SIZE answer, or -1 when it does not say.
 * Sets binary type first: servers answer SIZE only for that, or count the bytes of an
 * ASCII transfer. */
LONGLONG RyKitRemoteSize(DWORD connection, const char *remote);

/* ---- The server's names ------------------------------------------------------------- */

/* The library passes names as bytes both ways; which characters they are is the server's
 * encoding. A server that lists UTF8 in its FEAT answer speaks UTF-8 (and is asked for it
 * with OPTS UTF8 ON, which some need first); one that says nothing is taken to speak it as
 * long as every name it has sent is valid UTF-8 (nearly every server today), and to use
 * this machine's ANSI code page from the first name that is not. */
typedef enum RyKitNameEncoding {
    RYKIT_NAMES_AS_SEEN = 0, /* UTF-8 while every name seen is */
    RYKIT_NAMES_UTF8,        /* the server said so */
    RYKIT_NAMES_ANSI         /* a name was not UTF-8 */
} RyKitNameEncoding;

typedef struct RyKitNames {
    RyKitNameEncoding encoding;
    int learned;  /* FEAT was asked: another connection to the server needs OPTS UTF8 ON only */
} RyKitNames;

/* Asks the server after a log-in (FEAT, then OPTS UTF8 ON); the replies are the kit's. */
void RyKitNamesLearn(RyKitNames *names, DWORD connection);
/* Each name the server sends, before any is decoded: a name that is not UTF-8 tells. */
void RyKitNamesSaw(RyKitNames *names, const char *name, size_t length);
RYKIT_INLINE int RyKitNamesAreUtf8(const RyKitNames *names) { return names->encoding != RYKIT_NAMES_ANSI; }
/* A server's name as text: out gets at most outUnits - 1 units and a terminator. Returns
 * the units, or 0 (and "") when the name does not fit. A UTF-8 name that is not valid keeps
 * its bytes as U+DC80-U+DCFF, so RyKitNameToServer gives them back. */
size_t RyKitNameToText(const RyKitNames *names, const char *name, size_t length, WCHAR *out, size_t outUnits);
/* A name as the server takes it, terminated. Returns the bytes, or 0 (and "") when it does
 * not fit, holds a character the ANSI code page lacks, or holds a lone surrogate that
 * stands for no byte (any but U+DC80-U+DCFF): each would name another file. */
size_t RyKitNameToServer(const RyKitNames *names, const WCHAR *name, char *out, size_t outBytes);

/* 1 when Windows opens a device for this local file name, whatever its extension: CON,
 * PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case. A server's name must not become one. */
RYKIT_INLINE int RyKitIsDeviceName(const WCHAR *name)
{
    static const char devices[][4] = {"CON", "PRN", "AUX", "NUL", "COM", "LPT"};
    size_t stem = 0, i, d;
    while (name[stem] && name[stem] != L'.') ++stem;
    for (d = 0; d < 6; ++d) {
        if (stem != (d < 4 ? 3u : 4u)) continue;
        for (i = 0; i < 3 && (name[i] | 0x20) == (devices[d][i] | 0x20); ++i) {
        }
        if (i == 3 && (d < 4 || (name[3] >= L'1' && name[3] <= L'9'))) return 1;
    }
    return 0;
}

/* Why a name the server listed must not become a local file name, or NULL when it may (in
 * UTF-16, as Windows takes it; a name that was not valid UTF-8 holds its bytes as
 * U+DC80-U+DCFF). Windows would take ':' as a drive or a stream and a separator as another
 * folder, drop a last dot or blank, refuse control characters and <>"|?*, and open a
 * device for CON, NUL, COM1 and the like whatever the extension. */
RYKIT_INLINE const char *RyKitUnsafeLocalName(const WCHAR *name)
{
    const WCHAR *c;
    size_t length = 0;
    int dotsOnly = 1;
    if (!name[0]) return "an empty name";
    for (c = name; *c; ++c, ++length) {
        if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F)) return "it holds control characters";
        if (*c >= 0xDC80 && *c <= 0xDCFF) return "it is not valid UTF-8";
        dotsOnly = dotsOnly && *c == L'.';
    }
    for (c = name; *c; ++c)
        if (*c == L'/' || *c == L'\\') return "it holds a path separator";
    for (c = name; *c; ++c)
        if (*c == L':') return "it names a drive or a stream";
    if (dotsOnly) return "it names a directory";
    for (c = name; *c; ++c)
        if (*c == L'<' || *c == L'>' || *c == L'"' || *c == L'|' || *c == L'?' || *c == L'*')
            return "Windows names cannot hold <>\"|?*";
    if (name[length - 1] == L'.' || name[length - 1] == L' ') return "Windows would drop its last dot or blank";
    if (RyKitIsDeviceName(name)) return "it names a device";
    return NULL;
}

/* ---- Receiving and sending a file -------------------------------------------------------- */

typedef enum RyKitOutcome {
    RYKIT_RECEIVED = 0,  /* NAME holds the whole remote file */
    RYKIT_NOT_OPENED,    /* RyFtpOpenFile gave no handle: the library has shown its box
                            (RyKitReceiveInto shows none: reply, error) */
    RYKIT_NO_PART,       /* NAME.part could not be created (error) */
    RYKIT_BROKE_OFF,     /* a read failed (error, reply) */
    RYKIT_NOT_WRITTEN,   /* NAME.part could not be written (error) */
    RYKIT_INCOMPLETE,    /* fewer bytes came than the server announced */
    RYKIT_CANCELLED,     /* the progress callback asked to stop */
    RYKIT_NOT_RENAMED,   /* complete, but NAME could not be replaced (error) */
    RYKIT_NOT_CONFIRMED, /* the server's final reply was no 2xx, or none came (reply) */
    RYKIT_TOO_LONG,      /* more bytes came than the server announced */
    RYKIT_NO_LOCAL,      /* sending: the local file could not be opened (error) */
    RYKIT_NOT_READ,      /* sending: the local file could not be read (error) */
    RYKIT_NOT_RESTARTED, /* RyKitReceiveAfter: the server refused REST (reply) */
    RYKIT_CALL_FAILED,   /* for RyKitWorthAnotherTry: a host's call that is no transfer failed */
    RYKIT_SENT = RYKIT_RECEIVED /* sending: the server confirmed the whole file */
} RyKitOutcome;

/* Called after each block: the bytes so far and the size the server announced (-1 when
 * it did not; a send gives the local file's size). A nonzero result cancels the
 * transfer. */
typedef int (*RyKitProgress)(void *context, ULONGLONG received, LONGLONG expected);

/* The blocks WININET reads into and is given to send, chosen by measurement (make bench).
 * Each read or write within them is sized by the link's rate (see RYKIT_PACE_FIRST). */
#ifndef RYKIT_READ_BLOCK
#define RYKIT_READ_BLOCK (1024 * 1024)
#endif
#define RYKIT_FIRST_BLOCK (16 * 1024) /* on the stack: a small file needs no other */
#ifndef RYKIT_SEND_BLOCK
#define RYKIT_SEND_BLOCK (256 * 1024)
#endif
/* Wine's WININET reads a data connection with MSG_WAITALL (a read returns once the size it
 * asked for is full, or the file ended), Windows' fills the buffer where it can, and a write
 * returns once the system took it: a read's or write's size is the time it takes. The kit
 * asks for what the rate seen on the transfer brings in about a quarter of a second, from
 * RYKIT_PACE_FIRST (and at least RYKIT_PACE_LEAST, for 9600 bit/s) up to the block, growing
 * at most fourfold a step, as data already waiting reads fast. Progress is told at the
 * first bytes, then at most every RYKIT_PROGRESS_MS, and at the end. */
#ifndef RYKIT_PACE_FIRST
#define RYKIT_PACE_FIRST (4 * 1024)
#endif
#define RYKIT_PACE_LEAST 1024
#define RYKIT_PROGRESS_MS 250

typedef struct RyKitReceive {
    LONGLONG expected;              /* the size the server announced (in the reply that opened
                                       the transfer, or its SIZE answer), or -1 */
    int listedSize;                 /* expected is a listing's, taken for SIZE's: a transfer
                                       that ends at another size asks SIZE before it counts */
    ULONGLONG received;             /* bytes the partial holds: those it held before, and those
                                       that came */
    ULONGLONG resumedFrom;          /* bytes the partial held when the transfer began (REST) */
    int partialKept;                /* the transfer broke: the partial waits for the next one */
    DWORD largestRead;              /* the most one read asked for, as the rate chose it */
    DWORD error;                    /* the system's or WININET's error, where the outcome has one */
    char reply[RYKIT_REPLY_BYTES];  /* the server's last reply: after a failed read, or the one
                                       that ended the transfer; "" when none came */
    WCHAR part[MAX_PATH];           /* the partial, NAME.rykit-partial */
} RyKitReceive;

/* The kit's partial of a local file: the bytes that came, then a record of what they belong
 * to, which no other file of the user's would have as its name. */
#define RYKIT_PARTIAL_SUFFIX L".rykit-partial"
#define RYKIT_TIME_BYTES 16

typedef struct RyKitPartial {
    char remote[MAX_PATH + 1];       /* the remote path, as the server took it */
    LONGLONG expected;               /* the size the server announced, or -1 */
    char time[RYKIT_TIME_BYTES];     /* the remote file's time (MDTM), "" when not asked or not said */
    ULONGLONG bytes;                 /* the bytes that came */
} RyKitPartial;

/* The partial waiting for local, if there is one with its record whole: 1, with *p filled. */
int RyKitReadPartial(const WCHAR *local, RyKitPartial *p);
/* Removes the partial of local (a cancel, a host that starts again). */
void RyKitDiscardPartial(const WCHAR *local);

/* The copy WININET keeps in the URL cache of a file opened for reading (Wine writes one
 * whatever the flags, and never removes it), into copy (MAX_PATH units): FALSE when there
 * is none. Asked while the handle is open; delete the copy once it is closed, or a host
 * that receives gigabytes fills the disk with them. */
RYKIT_INLINE BOOL RyKitCachedCopy(HINTERNET file, WCHAR *copy)
{
    DWORD bytes = MAX_PATH * sizeof(WCHAR);
    return InternetQueryOptionW(file, INTERNET_OPTION_DATAFILE_NAME, copy, &bytes);
}

/* Receives remote (the server's bytes) into local through its partial, renamed to local
 * only when the whole file came: a failed transfer leaves local as it was. A transfer that
 * broke (a read failed, the server ended it early, fewer bytes came than announced) keeps
 * the partial with its record (r->partialKept); a cancelled one, or one whose bytes are
 * wrong, removes it. A partial of the same remote path whose remote file has the size (and,
 * where it was recorded, the time) it had goes on from its length: TYPE I, REST, the rest
 * appended. Otherwise, or when the server refuses REST, the receive starts at byte 0.
 * progress may be NULL. Fills *r and returns the outcome. */
RyKitOutcome RyKitReceiveFile(DWORD connection, HWND owner, const char *remote, const WCHAR *local,
                              RyKitProgress progress, void *context, RyKitReceive *r);

/* Receives remote into out, a file the host opened for writing, from where it stands, for a
 * host that makes something of the remote file as it is (ryftp's append puts the local file
 * after it). The same checks as RyKitReceiveFile, with no .part (r->part is ""): on failure
 * out holds what came, for the host to discard. Opened through FtpOpenFileA, so a remote
 * file that is not there shows no box: RYKIT_NOT_OPENED with the server's refusal in
 * r->reply (550 for a file not there yet). out stays open. */
RyKitOutcome RyKitReceiveInto(DWORD connection, const char *remote, HANDLE out, RyKitProgress progress, void *context,
                              RyKitReceive *r);
/* As RyKitReceiveInto, from byte from of the remote file on (REST, in binary type), for
 * a host that continues a file of its own (ryftp's reget): out stands at its end, and
 * r->received counts from. RYKIT_NOT_RESTARTED when the server refuses REST (r->reply). */
RyKitOutcome RyKitReceiveAfter(DWORD connection, const char *remote, HANDLE out, ULONGLONG from, RyKitProgress progress,
                               void *context, RyKitReceive *r);

typedef struct RyKitSend {
    ULONGLONG size;                 /* the local file's size when it was opened */
    ULONGLONG sent;                 /* bytes the server has: those WININET took, and where the
                                       send went on after a break, those it had before */
    ULONGLONG resumedFrom;          /* where the last attempt began (REST) */
    DWORD largestWrite;             /* the most one write gave, as the rate chose it */
    DWORD error;                    /* the system's or WININET's error, where the outcome has one */
    char reply[RYKIT_REPLY_BYTES];  /* the server's last reply: the refusal, or the one that
                                       ended the transfer */
} RyKitSend;

/* Sends local as remote: FtpOpenFileA for writing, then InternetWriteFile in large blocks.
 * type is FTP_TRANSFER_TYPE_BINARY, or _ASCII, where each line end goes as the wire's CRLF
 * (a lone LF gains its CR). Only the server's final reply, read once the handle is
 * closed, confirms the file: anything but a 2xx is RYKIT_NOT_CONFIRMED. progress (may be
 * NULL) gets the bytes sent and the file's size, and a nonzero result cancels. */
RyKitOutcome RyKitSendFile(DWORD connection, const WCHAR *local, const char *remote, DWORD type,
                           RyKitProgress progress, void *context, RyKitSend *s);

/* ---- Ending a call that hangs ---------------------------------------------------------- */

/* WININET's time-outs do not hold for FTP under Wine, and a listing's data connection has
 * none: what a host can do is end a call from another thread, by closing the handles it
 * runs on (which ends a blocked call on Windows) and, as Wine's blocked socket calls do
 * not notice that, by shutting down the connection's sockets and cancelling their I/O.
 * Progress is what the host reports (a block received) and, inside a listing or a reply,
 * where the platform calls back nothing, the bytes WININET received on the calling
 * thread: the kit points WININET's import of the sockets layer's recv at a counter of its
 * own, which hands every call on unchanged, so a server that sends a byte a second is seen
 * as sending. Where that import is not there to count (a WININET that reads otherwise),
 * the sign is the calling thread's CPU time, which reading uses and waiting does not. */
typedef enum RyKitEnding {
    RYKIT_RUNNING = 0,
    RYKIT_STALLED,    /* no progress for timeoutSeconds */
    RYKIT_OVER_TIME,  /* the call ran for maxTimeSeconds */
    RYKIT_CANCELLED_CALL  /* RyKitWatchdogCancel */
} RyKitEnding;

#define RYKIT_MOST_SOCKETS 64

typedef struct RyKitWatchdog {
    DWORD timeoutSeconds;         /* no progress for so long ends a call; 0: never */
    DWORD maxTimeSeconds;         /* a call ends after so long, whatever it does; 0: never */
    volatile LONG *connection;    /* the host's handles, taken (set to 0) and closed, the */
    volatile LONG *session;       /* connection first, to end a call */
    /* The watchdog's own. */
    HANDLE thread, wake, callThread;
    DWORD callThreadId, began;
    CRITICAL_SECTION lock;
    volatile LONG stop, busy, waitingForUser, cancelAsked, ending, lastProgress;
    ULONGLONG cpuAtProgress;
    LONG receivedAtProgress;      /* the bytes counted on the calling thread */
    int counting;                 /* WININET's receives are counted */
    ULONG_PTR socketsBefore[RYKIT_MOST_SOCKETS];  /* open before the host connected: not its own */
    unsigned socketsBeforeCount;
    ULONG_PTR own[RYKIT_MOST_SOCKETS];  /* opened while it connected: its connection's */
    unsigned ownCount;
    HMODULE sockets;              /* ws2_32, started; NULL when there are no sockets to end */
    struct RyKitWatchdog *nextLive;  /* the program's other watchdogs, whose connections are theirs */
} RyKitWatchdog;

/* Starts the watchdog's thread for the host's handle variables (either may be NULL), with
 * timeoutSeconds 120 and maxTimeSeconds 0; set them after. 1 when it runs.
 * RyKitWatchdogStop ends it. */
int RyKitWatchdogStart(RyKitWatchdog *w, volatile LONG *connection, volatile LONG *session);
void RyKitWatchdogStop(RyKitWatchdog *w);
/* The host is about to connect: the sockets open now are not the connection's. */
void RyKitWatchdogConnecting(RyKitWatchdog *w);
/* The host has connected: the sockets opened since are the connection's, and no other
 * watchdog of the program ends them (a server with a connection for each client). */
void RyKitWatchdogConnected(RyKitWatchdog *w);
/* A call begins on the calling thread; it ends with RyKitWatchdogFinish, which says how. */
void RyKitWatchdogBegin(RyKitWatchdog *w);
RyKitEnding RyKitWatchdogFinish(RyKitWatchdog *w);
void RyKitWatchdogProgress(RyKitWatchdog *w);
void RyKitWatchdogWaitForUser(RyKitWatchdog *w, int waiting);  /* a prompt is no lack of progress */
int RyKitWatchdogCancel(RyKitWatchdog *w);  /* from any thread; 0 when no call runs */
/* The call goes on after the watchdog ended a part of it (a try again): running again, its
 * progress counted from now, its whole allowance (maxTimeSeconds) still from its beginning. */
void RyKitWatchdogGoOn(RyKitWatchdog *w);
RyKitEnding RyKitWatchdogEnding(const RyKitWatchdog *w);  /* RYKIT_RUNNING until a call is ended */
/* Takes the RYINET handle in *handle, leaving 0, and closes it: of two threads that reach
 * for it, one closes it. */
void RyKitCloseTaken(volatile LONG *handle, HWND owner);

/* ---- Watching the library's boxes ----------------------------------------------------- */

typedef struct RyKitShownBox {
    HWND box, owner;
    char caption[256];
    char text[1024];
} RyKitShownBox;

/* Reads what window shows when it is a dialog box (the class of message boxes and the
 * common dialogs); 0 for any other window. */
int RyKitReadBox(HWND window, RyKitShownBox *box);

/* Called once for each box as it first shows. Returns 0 to leave it to the user, or the
 * command that answers it (IDOK, IDYES, ...). */
typedef int (*RyKitBoxSeen)(void *context, const RyKitShownBox *box);

#define RYKIT_RECENT_BOXES 16

typedef struct RyKitBoxWatch {
    int shown;  /* boxes seen so far; the host sets it to 0 as each call begins */
    HHOOK hook;
    RyKitBoxSeen seen;
    void *context;
    HWND recent[RYKIT_RECENT_BOXES]; /* a box is activated again when the user comes back to it */
    unsigned next;
} RyKitBoxWatch;

/* Starts watching the boxes shown on this thread, the one that calls the library; seen
 * may be NULL (boxes are only counted). 1 when the hook is in place. */
int RyKitWatchBoxes(RyKitBoxWatch *w, RyKitBoxSeen seen, void *context);
void RyKitStopWatching(RyKitBoxWatch *w);

/* ---- Trying again after a break --------------------------------------------------------- */

/* Told before each pause: the attempt to come (1 for the first try again) of retries, the
 * pause, and why, as a line says it ("broken off after 1.0 MiB of 1.9 MiB"). */
typedef void (*RyKitRetrying)(void *context, unsigned attempt, unsigned retries, DWORD pauseSeconds,
                              const char *reason);

#define RYKIT_SERVER_BYTES 256
#define RYKIT_RETRIES 5  /* as lftp and curl users expect of a client that retries */

/* What the host's connection was opened with, so that the kit can open it again: the
 * host sets it as it connects, dials and changes directory. The host owns it; the secrets
 * in it go with RyKitLinkForget. */
typedef struct RyKitLink {
    char server[RYKIT_SERVER_BYTES];
    char user[RYINET_CREDENTIAL_BYTES], password[RYINET_CREDENTIAL_BYTES];
    int passive;
    DWORD type;                              /* FTP_TRANSFER_TYPE_BINARY or _ASCII */
    char directory[RYINET_CURDIR_BYTES];     /* "" for where the log-in puts it */
    char entry[RYINET_PHONEBOOK_ENTRY_BYTES];  /* the phonebook entry dialed, "" for none */
    char dialUser[RYINET_CREDENTIAL_BYTES], dialPassword[RYINET_CREDENTIAL_BYTES];
    HRASCONN dial;                           /* that dial's connection, the host's to hang up */
    unsigned retries;                        /* attempts after the first; 0: none */
    RyKitRetrying retrying;                  /* may be NULL */
    void *context;
    RyKitWatchdog *watchdog;          /* the host's (may be NULL): a stall it ended is
                                                worth another try, a cancel is not */
    RyKitBoxWatch *boxes;             /* the host's (may be NULL): the boxes of an attempt
                                                tried again are not the command's */
    RyKitNames *names;                       /* the host's (may be NULL): a connection opened
                                                anew asks for UTF-8 names again */
    volatile LONG *session, *connection;     /* the host's handles, opened anew */
    HWND owner;
} RyKitLink;

/* A link for the host's handle variables; retries RYKIT_RETRIES, binary type. */
void RyKitLinkInit(RyKitLink *l, volatile LONG *session, volatile LONG *connection, HWND owner,
                   RyKitWatchdog *watchdog, RyKitBoxWatch *boxes);
/* The host logged in; the directory is the log-in's until RyKitLinkMoved. */
void RyKitLinkLoggedIn(RyKitLink *l, const char *server, const char *user, const char *password, int passive);
/* The host dialed entry with these credentials; dial NULL after it hung up. */
void RyKitLinkDialed(RyKitLink *l, const char *entry, const char *user, const char *password, HRASCONN dial);
/* The host changed the remote directory: the kit asks where it is now (RyFtpCurDir). */
void RyKitLinkMoved(RyKitLink *l);
/* The connection is closed for good: nothing of it is kept. */
void RyKitLinkForget(RyKitLink *l);

/* Whether a failure is worth another try: a transfer or listing that broke off, a 421, 425
 * or 426, a control connection lost, a stall the watchdog ended. A 5xx (550, a refused
 * log-in), a local file's error, a cancel and the whole allowance run out are not. */
int RyKitWorthAnotherTry(RyKitOutcome outcome, const char *reply, RyKitEnding ending);
/* After a failure worth another try: when *attempt is below l->retries, tells the host,
 * pauses (1, 2, 4, 8, 16 s, at most 30; a cancel ends it), redials where the dial-up
 * connection is down, and opens the host's connection anew where it was; 1 once it is
 * open, 0 when the attempts ran out or the user cancelled (the host's handles are then
 * closed). *attempt counts the attempts made. */
int RyKitLinkAgain(RyKitLink *l, unsigned *attempt, const char *reason);
/* RyKitReceiveFile on the link's connection, tried again as the link says, each attempt
 * going on from the partial; progress goes on across them. In ASCII type every attempt
 * starts at byte 0. */
RyKitOutcome RyKitLinkReceive(RyKitLink *l, const char *remote, const WCHAR *local, RyKitProgress progress,
                              void *context, RyKitReceive *r);
/* RyKitLinkReceive held to the size a listing gave (listed; -1 asks SIZE as it does), for a
 * host that receives what it listed: no SIZE goes for the file (see RyKitReceive.listedSize). */
RyKitOutcome RyKitLinkReceiveListed(RyKitLink *l, const char *remote, const WCHAR *local, LONGLONG listed,
                                    RyKitProgress progress, void *context, RyKitReceive *r);
/* RyKitSendFile in the link's type, tried again as the link says; in binary type an
 * attempt goes on from the size the server has of the file this send was writing (REST,
 * STOR), which the final reply and the size then confirm. */
RyKitOutcome RyKitLinkSend(RyKitLink *l, const WCHAR *local, const char *remote, RyKitProgress progress,
                           void *context, RyKitSend *s);


/* ---- Many files at once ------------------------------------------------------------------ */

/* Over a link far away a small file costs its round trips, not its bytes: a pool runs a
 * list of transfers over several connections at once. The host's own connection is the
 * first, on the calling thread, and stays where it was (its directory; its type is the
 * link's); the others are opened as there are files for them, each with the link's server,
 * log-in and directory, its own session and its own watchdog, and closed at the end. Each
 * file goes through the one receive and send (RyKitLinkReceive, RyKitLinkSend: retries,
 * going on from the byte it had), opened without boxes. A server that refuses another
 * connection leaves the pool at those it took, which the host is told once (said). In
 * active mode the server connects back for each file: the pool keeps to the host's
 * connection then. Every callback comes on the calling thread, retries of every
 * connection through link->retrying. */
typedef enum RyKitTask {
    RYKIT_TASK_GET,    /* remote into local, held to the listing's size where it gave one */
    RYKIT_TASK_PUT,    /* local as remote */
    RYKIT_TASK_DELETE  /* remote deleted (DELE) */
} RyKitTask;

typedef struct RyKitTransfer {
    RyKitTask task;
    char remote[MAX_PATH + 1];       /* as the server takes it */
    WCHAR local[MAX_PATH];           /* get, put: as the kit opens it */
    LONGLONG size;                   /* get: the listing's size (-1: asked); put: the kit's */
    /* What became of it, once ended: */
    RyKitOutcome outcome;            /* RYKIT_RECEIVED (RYKIT_SENT, a delete done), or why not */
    RyKitReceive receive;            /* a get's */
    RyKitSend send;                  /* a put's */
    DWORD error;                     /* a delete's refusal, or no connection left (receive, send */
    char reply[RYKIT_REPLY_BYTES];   /* hold a transfer's) */
    DWORD milliseconds;              /* from its beginning to its end */
    volatile LONG state;             /* the kit's */
} RyKitTransfer;

typedef struct RyKitBatch {
    unsigned ended, failed, count;   /* files ended (failed among them) of all */
    ULONGLONG bytes;                 /* moved: of the files ended, and so far of the others */
    ULONGLONG total;                 /* the sizes known beforehand, of all */
    unsigned connections;            /* open now, the host's among them */
    DWORD milliseconds;              /* since the batch began */
} RyKitBatch;

/* The batch so far: at the first bytes, then at most every RYKIT_PROGRESS_MS, at each file's
 * end, and once at the end. Nonzero cancels the batch. */
typedef int (*RyKitBatchProgress)(void *context, const RyKitBatch *b);
/* A file ended (t->outcome), in the order they end. */
typedef void (*RyKitTransferEnded)(void *context, RyKitTransfer *t);
/* Something the host says once ("the server took 2 connections, not 4: 421 Too many"). */
typedef void (*RyKitPoolSays)(void *context, const char *text);

#define RYKIT_PARALLEL 4       /* lftp's mirror, FileZilla 2, WinSCP 3 */
#define RYKIT_MOST_PARALLEL 16

typedef struct RyKitPool {
    RyKitLink *link;             /* the host's, connected */
    unsigned parallel;           /* connections at most, the host's among them; 0 or 1: it alone */
    RyKitBatchProgress progress; /* each may be NULL */
    RyKitTransferEnded ended;
    RyKitPoolSays says;
    void *context;
} RyKitPool;

/* Runs the count transfers, up to p->parallel at once; returns how many failed. A cancel
 * (the progress callback, or the host's watchdog) ends those under way and begins no more;
 * those not begun stay RYKIT_CANCELLED, told to no callback. */
unsigned RyKitPoolRun(const RyKitPool *p, RyKitTransfer *t, unsigned count);
/* The transfers a listing gives: list (on the calling thread) fills *t and *count, which
 * stay valid until the run returns, while the other connections are opened already (a
 * listing far away takes a round trip for every few entries); 0 from it stops the batch,
 * and everything it gave counts as failed. RyKitPoolRun opens no more connections than
 * files. */
typedef int (*RyKitPoolList)(void *context, RyKitTransfer **t, unsigned *count);
unsigned RyKitPoolRunListed(const RyKitPool *p, RyKitPoolList list, void *listContext);

#ifdef __cplusplus
}
#endif

#endif /* RYINET_KIT_H */

/* ==== The implementation, in the one file that defines RYKIT_IMPLEMENTATION ============ */
/* It comes in two parts, RYKIT_IMPLEMENTATION_BOXES (the box watch, which needs nothing of
 * WININET) and RYKIT_IMPLEMENTATION_CALLS (the rest); RYKIT_IMPLEMENTATION is both. A
 * static library of the two as two objects lets a program that only watches boxes import
 * nothing of WININET. */
#if defined(RYKIT_IMPLEMENTATION) || defined(RYKIT_IMPLEMENTATION_BOXES)
#ifndef RYKIT_BOXES_IMPLEMENTED
#define RYKIT_BOXES_IMPLEMENTED

#ifdef __cplusplus
extern "C" {
#endif

static RyKitBoxWatch *RyKit_activeWatch;

int RyKitReadBox(HWND window, RyKitShownBox *box)
{
    const int messageText = 0xFFFF; /* the static control that holds a message box's text */
    char cls[16] = "";
    if (!GetClassNameA(window, cls, sizeof cls) || lstrcmpA(cls, "#32770") != 0) return 0;
    box->box = window;
    box->owner = GetWindow(window, GW_OWNER);
    box->caption[0] = box->text[0] = '\0';
    GetWindowTextA(window, box->caption, sizeof box->caption);
    GetDlgItemTextA(window, messageText, box->text, sizeof box->text);
    return 1;
}

static LRESULT CALLBACK RyKit_OnCbt(int code, WPARAM wParam, LPARAM lParam)
{
    RyKitBoxWatch *w = RyKit_activeWatch;
    RyKitShownBox shown;
    unsigned i = 0;
    if (code == HCBT_ACTIVATE && w && RyKitReadBox((HWND)wParam, &shown)) {
        while (i < RYKIT_RECENT_BOXES && w->recent[i] != shown.box) ++i;
        if (i == RYKIT_RECENT_BOXES) {
            int answer;
            w->recent[w->next++ % RYKIT_RECENT_BOXES] = shown.box;
            ++w->shown;
            answer = w->seen ? w->seen(w->context, &shown) : 0;
            if (answer) PostMessageA(shown.box, WM_COMMAND, (WPARAM)answer, 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

int RyKitWatchBoxes(RyKitBoxWatch *w, RyKitBoxSeen seen, void *context)
{
    memset(w, 0, sizeof *w);
    if (RyKit_activeWatch) return 0;
    w->seen = seen;
    w->context = context;
    w->hook = SetWindowsHookExA(WH_CBT, RyKit_OnCbt, NULL, GetCurrentThreadId());
    if (!w->hook) return 0;
    RyKit_activeWatch = w;
    return 1;
}

void RyKitStopWatching(RyKitBoxWatch *w)
{
    if (w->hook) UnhookWindowsHookEx(w->hook);
    if (RyKit_activeWatch == w) RyKit_activeWatch = NULL;
    w->hook = NULL;
}

#ifdef __cplusplus
}
#endif

#endif
#endif /* the box watch */

#if defined(RYKIT_IMPLEMENTATION) || defined(RYKIT_IMPLEMENTATION_CALLS)
#ifndef RYKIT_CALLS_IMPLEMENTED
#define RYKIT_CALLS_IMPLEMENTED

#ifdef __cplusplus
extern "C" {
#endif

static RyKitBuffer *RyKit_activeBuffer;

/* What the kit has seen of a connection through its own calls, by handle: whether the
 * last transfer left it in binary type (WININET sends TYPE before each transfer, and a
 * listing sets ASCII), and whether its server announces a file's size in the reply that
 * opens a transfer. A host's own calls change the type unseen, and a closed handle's
 * value comes back for another connection: a wrong belief costs a reply, never a verdict,
 * as the receive checks what it was told. */
#define RYKIT_KNOWN_BINARY    1
#define RYKIT_KNOWN_ANNOUNCES 2
#define RYKIT_KNOWN_CONNECTIONS 16
static struct {
    DWORD connection;
    unsigned facts;
} RyKit_known[RYKIT_KNOWN_CONNECTIONS];
static unsigned RyKit_knownNext;
static volatile LONG RyKit_knownLock;

/* Adds set and removes clear from what is known of connection; returns what is known. */
static unsigned RyKit_Learn(DWORD connection, unsigned set, unsigned clear)
{
    unsigned i, facts = 0;
    while (InterlockedCompareExchange(&RyKit_knownLock, 1, 0)) Sleep(0);
    for (i = 0; i < RYKIT_KNOWN_CONNECTIONS && RyKit_known[i].connection != connection; ++i) {}
    if (i == RYKIT_KNOWN_CONNECTIONS && set) {
        i = RyKit_knownNext++ % RYKIT_KNOWN_CONNECTIONS;
        RyKit_known[i].connection = connection;
        RyKit_known[i].facts = 0;
    }
    if (i < RYKIT_KNOWN_CONNECTIONS) facts = RyKit_known[i].facts = (RyKit_known[i].facts & ~clear) | set;
    InterlockedExchange(&RyKit_knownLock, 0);
    return facts;
}

DWORD RyKitConnect(DWORD session, HWND owner, const char *server, const char *user, const char *password,
                   int passive, char *reply, DWORD replyBytes)
{
    char before[RYKIT_REPLY_BYTES];
    DWORD connection;
    RyKitLastResponseInfo(before, sizeof before);
    if (passive)
        connection = (DWORD)(ULONG_PTR)InternetConnectA(RyKitInternetHandle(session), server,
                                                        INTERNET_DEFAULT_FTP_PORT, user, password,
                                                        INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    else
        connection = RyFtpConnect(session, 0, owner, server, user, password);
    RyKitLastResponseInfo(reply, replyBytes);
    /* Unchanged is an earlier call's, unless it is itself a refused log-in again. */
    if (connection || (lstrcmpA(reply, before) == 0 && RyKitReplyCode(reply) / 100 != 5)) reply[0] = '\0';
    if (connection) RyKit_Learn(connection, 0, RYKIT_KNOWN_BINARY | RYKIT_KNOWN_ANNOUNCES); /* a closed one's */
    return connection;
}

int RyKitWantsEncryption(const char *reply)
{
    /* "530 Non-anonymous sessions must use encryption.", "534 Policy requires SSL.",
       "530 Please login with USER and PASS" does not ask for it. */
    int code = RyKitReplyCode(reply);
    const char *p;
    if (code != 530 && code != 534 && code != 421) return 0;
    for (p = reply; *p; ++p)
        if (!_strnicmp(p, "encrypt", 7) || !_strnicmp(p, "TLS", 3) || !_strnicmp(p, "SSL", 3)) return 1;
    return 0;
}

static LONG CALLBACK RyKit_OnBufferFault(EXCEPTION_POINTERS *info)
{
    const EXCEPTION_RECORD *e = info->ExceptionRecord;
    RyKitBuffer *b = RyKit_activeBuffer;
    char *at, *guard;
    if (!b || e->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || e->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    at = (char *)e->ExceptionInformation[1];
    guard = b->data + b->size;
    if (at < b->base || at >= b->base + b->span) return EXCEPTION_CONTINUE_SEARCH;
    if (at >= guard) b->onOverflow(b->context, b->size);
    if (!VirtualAlloc(b->base + (size_t)(at - b->base) / RYKIT_PAGE * RYKIT_PAGE, RYKIT_PAGE, MEM_COMMIT,
                      PAGE_READWRITE))
        return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&b->pages);
    return EXCEPTION_CONTINUE_EXECUTION;
}

int RyKitBufferReserve(RyKitBuffer *b, size_t bytes, RyKitOverflow onOverflow, void *context)
{
    size_t usable = (bytes + RYKIT_PAGE - 1) / RYKIT_PAGE * RYKIT_PAGE;
    memset(b, 0, sizeof *b);
    b->size = bytes;
    b->span = usable + RYKIT_GUARD;
    b->onOverflow = onOverflow;
    b->context = context;
    if (RyKit_activeBuffer || bytes == 0 || bytes > (MAXDWORD >> 1)) return 0;
    b->base = (char *)VirtualAlloc(NULL, b->span, MEM_RESERVE, PAGE_NOACCESS);
    if (!b->base) return 0;
    b->handler = AddVectoredExceptionHandler(1, RyKit_OnBufferFault);
    if (!b->handler) {
        VirtualFree(b->base, 0, MEM_RELEASE);
        b->base = NULL;
        return 0;
    }
    /* The text's last byte is the one before the guard pages: any byte past it faults. */
    b->data = b->base + usable - bytes;
    RyKit_activeBuffer = b;
    return 1;
}

void RyKitBufferFree(RyKitBuffer *b)
{
    if (!b->base) return;
    RemoveVectoredExceptionHandler(b->handler);
    VirtualFree(b->base, 0, MEM_RELEASE);
    if (RyKit_activeBuffer == b) RyKit_activeBuffer = NULL;
    b->base = b->data = NULL;
}

size_t RyKitBufferCommitted(const RyKitBuffer *b) { return (size_t)b->pages * RYKIT_PAGE; }

void RyKitBufferDecommit(RyKitBuffer *b)
{
    if (b->base && b->pages) VirtualFree(b->base, b->span - RYKIT_GUARD, MEM_DECOMMIT);
    b->pages = 0;
}

LONG RyKitBufferList(RyKitBuffer *b, DWORD connection, HWND owner, const char *pattern)
{
    RyKit_Learn(connection, 0, RYKIT_KNOWN_BINARY); /* WININET lists in ASCII type */
    return RyFtpDir(connection, owner, pattern, 0, b->data);
}

int RyKitNothingListed(char *reply, DWORD bytes)
{
    int code;
    RyKitLastResponseInfo(reply, bytes);
    code = RyKitReplyCode(reply);
    return code == 550 || (code >= 200 && code < 300);
}

void RyKitBufferPhonebook(RyKitBuffer *b) { RyRasEnumE(0, b->data); }

/* RdlParms writes a buffer only when it has something for it, so both start filled with
 * a sentinel and no terminator: a terminator afterwards is the library's. */
int RyKitReadCredentials(RyKitCredentials *c, const char *entry)
{
    memset(c->user, 0xA5, sizeof c->user);
    memset(c->password, 0xA5, sizeof c->password);
    RdlParms(entry, c->user, c->password);
    c->found = memchr(c->user, 0, sizeof c->user) != NULL;
    c->passwordSaved = memchr(c->password, 0, sizeof c->password) != NULL;
    if (!c->found) c->user[0] = '\0';
    if (!c->passwordSaved) c->password[0] = '\0';
    return c->found;
}

void RyKitWipeCredentials(RyKitCredentials *c) { SecureZeroMemory(c, sizeof *c); }

DWORD RyKitHangUp(HRASCONN dial)
{
    DWORD error = RasHangUpA(dial);
    int waited;
    for (waited = 0; error == 0 && waited < 3000; waited += 10) {
        RASCONNSTATUSA status;
        memset(&status, 0, sizeof status);
        status.dwSize = sizeof status;
        if (RasGetConnectStatusA(dial, &status) == ERROR_INVALID_HANDLE) break;
        Sleep(10);
    }
    return error;
}

void RyKitLastResponseInfo(char *reply, DWORD bytes)
{
    DWORD code = 0, length = bytes - 1;
    memset(reply, 0, bytes); /* a reply longer than the buffer comes without a terminator */
    if (!InternetGetLastResponseInfoA(&code, reply, &length)) length = 0;
    reply[length < bytes ? length : bytes - 1] = '\0';
    length = (DWORD)lstrlenA(reply);
    while (length > 0 && (reply[length - 1] == '\r' || reply[length - 1] == '\n')) reply[--length] = '\0';
}

DWORD RyKitWhyFailed(char *reply, DWORD bytes)
{
    DWORD error = GetLastError();
    reply[0] = '\0';
    if (error == ERROR_INTERNET_EXTENDED_ERROR) RyKitLastResponseInfo(reply, bytes);
    return error;
}

/* SIZE alone, in whatever type the connection is. */
static LONGLONG RyKit_AskSize(DWORD connection, const char *remote)
{
    char command[MAX_PATH + 8], reply[256];
    if (lstrlenA(remote) > MAX_PATH || strpbrk(remote, "\r\n")) return -1;
    lstrcpyA(command, "SIZE ");
    lstrcatA(command, remote);
    FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, command, 0, NULL);
    RyKitLastResponseInfo(reply, sizeof reply);
    return RyKitSizeFromReply(reply);
}

LONGLONG RyKitRemoteSize(DWORD connection, const char *remote)
{
    if (lstrlenA(remote) > MAX_PATH || strpbrk(remote, "\r\n")) return -1;
    if (!FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, "TYPE I", 0, NULL)) return -1;
    RyKit_Learn(connection, RYKIT_KNOWN_BINARY, 0);
    return RyKit_AskSize(connection, remote);
}

void RyKitNamesLearn(RyKitNames *names, DWORD connection)
{
    HINTERNET c = RyKitInternetHandle(connection);
    char reply[RYKIT_REPLY_BYTES], *line;
    names->encoding = RYKIT_NAMES_AS_SEEN;
    if (!FtpCommandA(c, FALSE, FTP_TRANSFER_TYPE_BINARY, "FEAT", 0, NULL)) return;
    names->learned = 1;
    RyKitLastResponseInfo(reply, sizeof reply);
    /* The features are the lines between 211- and 211 End. Wine keeps only a reply's last
     * line, so there the names decide, and the server is asked anyway: one that does not
     * know OPTS UTF8 refuses it and nothing changes. */
    for (line = reply; line && !names->encoding; line = strchr(line, '\n')) {
        while (*line == '\n' || *line == '\r' || *line == ' ') ++line;
        if (strncmp(line, "UTF8", 4) == 0 && (line[4] == '\r' || line[4] == '\n' || line[4] == '\0' || line[4] == ' '))
            names->encoding = RYKIT_NAMES_UTF8;
    }
    FtpCommandA(c, FALSE, FTP_TRANSFER_TYPE_BINARY, "OPTS UTF8 ON", 0, NULL);
}

void RyKitNamesSaw(RyKitNames *names, const char *name, size_t length)
{
    if (names->encoding == RYKIT_NAMES_AS_SEEN && !RyKitIsUtf8(name, length)) names->encoding = RYKIT_NAMES_ANSI;
}

size_t RyKitNameToText(const RyKitNames *names, const char *name, size_t length, WCHAR *out, size_t outUnits)
{
    size_t units = 0;
    if (outUnits == 0) return 0;
    if (length < outUnits && RyKitNamesAreUtf8(names)) {
        units = RyKitUtf8ToUtf16(name, length, (unsigned short *)out);
    } else if (!RyKitNamesAreUtf8(names) && length <= 0x7FFFFFFF) {
        units = (size_t)MultiByteToWideChar(CP_ACP, 0, name, (int)length, out, (int)(outUnits - 1));
        if (units == 0 && length > 0) units = outUnits; /* did not fit */
    } else {
        units = outUnits;
    }
    if (units >= outUnits) units = 0;
    out[units] = 0;
    return units;
}

/* 1 when a unit is half of no pair and no byte of a name that was not UTF-8. */
static int RyKit_LoneSurrogate(const WCHAR *name, size_t units)
{
    size_t i;
    for (i = 0; i < units; ++i) {
        WCHAR c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) ++i;
        else if ((c >= 0xD800 && c <= 0xDFFF) && !(c >= 0xDC80 && c <= 0xDCFF)) return 1;
    }
    return 0;
}

size_t RyKitNameToServer(const RyKitNames *names, const WCHAR *name, char *out, size_t outBytes)
{
    size_t units = (size_t)lstrlenW(name), bytes = 0;
    BOOL lost = FALSE;
    if (outBytes == 0) return 0;
    if (RyKitNamesAreUtf8(names)) {
        char *whole = units ? (char *)HeapAlloc(GetProcessHeap(), 0, units * 3) : NULL;
        if (RyKit_LoneSurrogate(name, units)) lost = TRUE;
        if (lost || (units && !whole)) bytes = outBytes;
        else if (units) bytes = RyKitUtf16ToUtf8((const unsigned short *)name, units, whole);
        if (bytes < outBytes && whole) memcpy(out, whole, bytes);
        if (whole) HeapFree(GetProcessHeap(), 0, whole);
    } else if (units) {
        /* No best fit: "a" for "ā" is another file's name. */
        bytes = (size_t)WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, (int)units, out, (int)(outBytes - 1),
                                            NULL, &lost);
        if (bytes == 0 || lost) bytes = outBytes;
    }
    if (bytes >= outBytes) bytes = 0;
    out[bytes] = '\0';
    return bytes;
}

/* A benchmark names each step of a receive as it begins (the commands before the
 * transfer, opening it, the reads, the progress calls, the writes, closing it, the cache
 * copy's removal, the check, the rename) by defining RYKIT_RECEIVE_STEP before the
 * implementation; otherwise the steps cost nothing. */
#ifndef RYKIT_RECEIVE_STEP
#define RYKIT_RECEIVE_STEP(step)
#endif

/* The pace of one transfer: the next read's or write's size, and when progress was told. */
typedef struct RyKit_Pace {
    DWORD size, most;
    LARGE_INTEGER frequency, began, told, first;
    LARGE_INTEGER since, halfway;      /* the rate's window: from since, and from halfway on */
    ULONGLONG toldBytes, moved, movedSince, movedHalfway;
    int toldOnce;
} RyKit_Pace;

static void RyKit_PaceStart(RyKit_Pace *p, DWORD most)
{
    memset(p, 0, sizeof *p);
    p->most = most;
    p->size = RYKIT_PACE_FIRST < most ? RYKIT_PACE_FIRST : most;
    QueryPerformanceFrequency(&p->frequency);
}

/* The size for the next read or write, no more than room. */
static DWORD RyKit_PaceNext(RyKit_Pace *p, DWORD room)
{
    QueryPerformanceCounter(&p->began);
    return room < p->size ? room : p->size;
}

/* n bytes came or went since RyKit_PaceNext: what a quarter of a second brings at the rate
 * of the last two to four seconds. One read or write tells little: it returns at once when
 * the data was waiting (the socket's buffer held it, or had room), so the size doubles
 * for the first quarter of a second and then follows the rate over a window. */
static void RyKit_PaceSaw(RyKit_Pace *p, DWORD n)
{
    LARGE_INTEGER now;
    ULONGLONG ticks, next, quarter = (ULONGLONG)p->frequency.QuadPart / 4;
    if (n == 0) return;
    QueryPerformanceCounter(&now);
    if (!p->moved) p->first = p->since = p->halfway = p->began;
    p->moved += n;
    if ((ULONGLONG)(now.QuadPart - p->halfway.QuadPart) > 8 * quarter) {
        p->since = p->halfway, p->movedSince = p->movedHalfway;
        p->halfway = now, p->movedHalfway = p->moved;
    }
    ticks = (ULONGLONG)(now.QuadPart - p->since.QuadPart) + 1;
    if ((ULONGLONG)(now.QuadPart - p->first.QuadPart) < quarter) next = (ULONGLONG)p->size * 2;
    else next = (p->moved - p->movedSince) * (ULONGLONG)p->frequency.QuadPart / (ticks * 4);
    if (next > (ULONGLONG)p->size * 4) next = (ULONGLONG)p->size * 4;
    if (next > p->most) next = p->most;
    next &= ~(ULONGLONG)(RYKIT_PACE_LEAST - 1);
    p->size = next < RYKIT_PACE_LEAST ? RYKIT_PACE_LEAST : (DWORD)next;
}

/* The socket buffer a write of ask holds a send to: so that it returns once most of it
 * went (Linux doubles the size given), the least until the rate is known, as what the
 * buffer takes at once would pass for a fast line, and plenty on a line that is fast. */
static DWORD RyKit_PaceHold(const RyKit_Pace *p, DWORD ask)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (!p->moved || (p->moved < 64 * 1024 &&  /* that much this early is no buffer's doing */
                      (ULONGLONG)(now.QuadPart - p->first.QuadPart) < (ULONGLONG)p->frequency.QuadPart / 4))
        return RYKIT_PACE_LEAST;
    if (p->size >= p->most) return 16 * p->most; /* a line this fast needs no holding back */
    return ask / 4 > RYKIT_PACE_LEAST ? ask / 4 : RYKIT_PACE_LEAST;
}

/* Whether to tell progress at bytes: the first bytes, then every RYKIT_PROGRESS_MS, and the
 * last bytes (last) when they were not told yet. */
static int RyKit_PaceTell(RyKit_Pace *p, ULONGLONG bytes, int last)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (last ? bytes == p->toldBytes
             : p->toldOnce && (ULONGLONG)(now.QuadPart - p->told.QuadPart) * 1000 <
                                  (ULONGLONG)RYKIT_PROGRESS_MS * (ULONGLONG)p->frequency.QuadPart)
        return 0;
    p->told = now;
    p->toldBytes = bytes;
    p->toldOnce = 1;
    return 1;
}

/* Reads into buffer until it is full or the file has ended (*ended), each read sized by
 * the pace: fewer, larger writes cost less than one for each read. */
static RyKitOutcome RyKit_Fill(HINTERNET file, char *buffer, DWORD block, DWORD *got, BOOL *ended, RyKitReceive *r,
                               RyKit_Pace *pace, RyKitProgress progress, void *context)
{
    DWORD n = 1, ask, waiting;
    for (*got = 0; *got < block && n > 0; *got += n) {
        ask = RyKit_PaceNext(pace, block - *got);
        /* What has come already is read at once, whatever the pace: a read smaller than
           the data waiting opens the sender's window by less than a segment, and on
           loopback (64 KiB segments) the sender then waits for a delayed ACK. */
        if (ask < block - *got && InternetQueryDataAvailable(file, &waiting, 0, 0) && waiting > ask)
            ask = waiting < block - *got ? waiting : block - *got;
        if (ask > r->largestRead) r->largestRead = ask;
        RYKIT_RECEIVE_STEP(read);
        if (!InternetReadFile(file, buffer + *got, ask, &n)) {
            r->error = RyKitWhyFailed(r->reply, sizeof r->reply);
            return RYKIT_BROKE_OFF;
        }
        RyKit_PaceSaw(pace, n);
        r->received += n;
        if (r->expected >= 0 && r->received > (ULONGLONG)r->expected && !r->listedSize)
            return RYKIT_TOO_LONG; /* nothing of it is kept: the file is not the one announced */
        RYKIT_RECEIVE_STEP(progress);
        if (progress && RyKit_PaceTell(pace, r->received, n == 0) && progress(context, r->received, r->expected))
            return RYKIT_CANCELLED;
    }
    *ended = n == 0;
    return RYKIT_RECEIVED;
}

static RyKitOutcome RyKit_Write(HANDLE out, const char *block, DWORD got, RyKitReceive *r)
{
    DWORD written;
    RYKIT_RECEIVE_STEP(write);
    if (WriteFile(out, block, got, &written, NULL) && written == got) return RYKIT_RECEIVED;
    r->error = GetLastError();
    return RYKIT_NOT_WRITTEN;
}

/* The large block, kept for the next receive once one is done with it: a fresh one's
 * pages cost a 64 MiB receive here about as much as its SIZE command (make bench). One
 * is kept; receives at once on other threads take blocks of their own. */
static char *volatile RyKit_spareBlock;

static char *RyKit_TakeBlock(void)
{
    char *block = (char *)InterlockedExchangePointer((void *volatile *)&RyKit_spareBlock, NULL);
    return block ? block : (char *)HeapAlloc(GetProcessHeap(), 0, RYKIT_READ_BLOCK);
}

static void RyKit_GiveBlock(char *block)
{
    if (InterlockedCompareExchangePointer((void *volatile *)&RyKit_spareBlock, block, NULL) != NULL)
        HeapFree(GetProcessHeap(), 0, block);
}

/* Copies the open file into out, each block written on this thread as it came: inside
 * each read Wine's WININET has written the block once already, to its cache copy, and a
 * thread of its own for the second write made get no faster here (make bench), only
 * dearer to start. The first block is small and on the stack; only a file that fills it
 * gets the large block (and, should the system refuse that, goes on in small ones). */
static RyKitOutcome RyKit_Copy(HINTERNET file, HANDLE out, RyKitReceive *r, RyKitProgress progress, void *context)
{
    char first[RYKIT_FIRST_BLOCK], *block = first;
    DWORD size = sizeof first, got = 0;
    BOOL ended = FALSE;
    RyKitOutcome outcome = RYKIT_RECEIVED;
    RyKit_Pace pace;
    RyKit_PaceStart(&pace, RYKIT_READ_BLOCK);
    pace.toldBytes = r->received; /* a transfer that goes on told those before */
    while (outcome == RYKIT_RECEIVED && !ended) {
        outcome = RyKit_Fill(file, block, size, &got, &ended, r, &pace, progress, context);
        /* What came before a read failed is the file's, for the partial to go on from. */
        if ((outcome == RYKIT_RECEIVED || outcome == RYKIT_BROKE_OFF) && got) {
            RyKitOutcome written = RyKit_Write(out, block, got, r);
            if (written != RYKIT_RECEIVED) outcome = written;
        }
        if (outcome == RYKIT_RECEIVED && !ended && block == first && (block = RyKit_TakeBlock()) != NULL)
            size = RYKIT_READ_BLOCK;
        if (!block) block = first;
    }
    if (block != first) RyKit_GiveBlock(block);
    return outcome;
}

/* The size before the transfer: SIZE, after TYPE I unless the connection is known to be
 * in binary type (servers answer SIZE there only, or count an ASCII transfer's bytes).
 * *certain: the answer is binary type's for sure; a believed one is checked afterwards
 * when fewer bytes come (an ASCII count is never the smaller). */
static LONGLONG RyKit_SizeBefore(DWORD connection, const char *remote, BOOL *certain)
{
    LONGLONG size = -1;
    *certain = FALSE;
    if (RyKit_Learn(connection, 0, 0) & RYKIT_KNOWN_BINARY) size = RyKit_AskSize(connection, remote);
    if (size < 0) {
        size = RyKitRemoteSize(connection, remote);
        *certain = TRUE;
    }
    return size;
}

/* The size the reply that opened the transfer announces is the transfer's own word: it
 * stands over one asked before, and the next receive on the connection asks none. The
 * transfer has set binary type. */
static void RyKit_Announced(DWORD connection, RyKitReceive *r, BOOL *certain)
{
    char reply[RYKIT_REPLY_BYTES];
    LONGLONG announced;
    RyKitLastResponseInfo(reply, sizeof reply);
    announced = RyKitSizeFromOpening(reply);
    if (announced >= 0) {
        r->expected = announced;
        r->listedSize = 0;
        *certain = TRUE;
    }
    RyKit_Learn(connection, RYKIT_KNOWN_BINARY | (announced >= 0 ? RYKIT_KNOWN_ANNOUNCES : 0),
                announced >= 0 ? 0 : RYKIT_KNOWN_ANNOUNCES);
}

/* Whether a transfer that ran to its end brought the whole file; asked once the file
 * handle is closed, when WININET has read the reply that ended the transfer. Only the
 * server knows that the file is whole: a transfer cut short without a size looks complete
 * here, and its last reply is a 426, or still the 150 that began it. A size not known
 * for certain is asked again, in the binary type the transfer set, when it could err. */
static RyKitOutcome RyKit_Complete(DWORD connection, const char *remote, RyKitReceive *r, BOOL certain)
{
    int code = RyKitReplyCode(r->reply);
    BOOL confirmed = code >= 200 && code < 300;
    if (confirmed && !certain &&
        (r->expected < 0 || r->received < (ULONGLONG)r->expected || (r->listedSize && r->received != (ULONGLONG)r->expected))) {
        LONGLONG again = RyKit_AskSize(connection, remote);
        if (again >= 0) r->expected = again;
    }
    if (r->expected >= 0 && r->received < (ULONGLONG)r->expected) return RYKIT_INCOMPLETE;
    if (r->expected >= 0 && r->received > (ULONGLONG)r->expected) return RYKIT_TOO_LONG;
    return confirmed ? RYKIT_RECEIVED : RYKIT_NOT_CONFIRMED;
}

/* ---- The partial ---- */

/* The record after the bytes of a partial; its two marks and its count of bytes say it is
 * whole (a program that ended while it wrote leaves none, and the partial then starts
 * again). */
typedef struct RyKit_Record {
    char mark[8];
    RyKitPartial p;
    char end[8];
} RyKit_Record;
static const char RyKit_recordMark[8] = {'R', 'Y', 'K', 'I', 'T', 'P', 'R', '1'};
static const char RyKit_recordEnd[8] = {'R', 'Y', 'K', 'I', 'T', 'E', 'N', 'D'};

/* Where local's partial is (MAX_PATH units); 0 when the name would not fit. */
static int RyKit_PartialName(const WCHAR *local, WCHAR *part)
{
    if (lstrlenW(local) + lstrlenW(RYKIT_PARTIAL_SUFFIX) >= MAX_PATH) return 0;
    lstrcpyW(part, local);
    lstrcatW(part, RYKIT_PARTIAL_SUFFIX);
    return 1;
}

static int RyKit_ReadRecord(HANDLE h, RyKitPartial *p)
{
    LARGE_INTEGER size, at;
    RyKit_Record record;
    DWORD got;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < (LONGLONG)sizeof record) return 0;
    at.QuadPart = size.QuadPart - (LONGLONG)sizeof record;
    if (!SetFilePointerEx(h, at, NULL, FILE_BEGIN) || !ReadFile(h, &record, sizeof record, &got, NULL) ||
        got != sizeof record)
        return 0;
    if (memcmp(record.mark, RyKit_recordMark, 8) || memcmp(record.end, RyKit_recordEnd, 8) ||
        record.p.bytes != (ULONGLONG)at.QuadPart)
        return 0;
    record.p.remote[MAX_PATH] = '\0';
    record.p.time[RYKIT_TIME_BYTES - 1] = '\0';
    *p = record.p;
    return 1;
}

int RyKitReadPartial(const WCHAR *local, RyKitPartial *p)
{
    WCHAR part[MAX_PATH];
    HANDLE h;
    int whole;
    if (!RyKit_PartialName(local, part)) return 0;
    h = CreateFileW(part, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    whole = RyKit_ReadRecord(h, p);
    CloseHandle(h);
    return whole;
}

void RyKitDiscardPartial(const WCHAR *local)
{
    WCHAR part[MAX_PATH];
    if (RyKit_PartialName(local, part)) DeleteFileW(part);
}

/* The record after what came, the partial left for the next receive; 0 when it could not
 * be written (the partial then goes). */
static int RyKit_KeepPartial(HANDLE out, const char *remote, const RyKitReceive *r, const char *time)
{
    RyKit_Record record;
    DWORD written;
    memset(&record, 0, sizeof record);
    memcpy(record.mark, RyKit_recordMark, 8);
    memcpy(record.end, RyKit_recordEnd, 8);
    lstrcpynA(record.p.remote, remote, MAX_PATH + 1);
    record.p.expected = r->expected;
    lstrcpynA(record.p.time, time, RYKIT_TIME_BYTES);
    record.p.bytes = r->received;
    return WriteFile(out, &record, sizeof record, &written, NULL) && written == sizeof record;
}

/* The remote file's time from MDTM ("213 20261211030405"), or "" when the server gives none. */
static void RyKit_AskTime(DWORD connection, const char *remote, char *time)
{
    char command[MAX_PATH + 8], reply[RYKIT_REPLY_BYTES];
    int i = 0;
    time[0] = '\0';
    if (!connection || lstrlenA(remote) > MAX_PATH || strpbrk(remote, "\r\n")) return;
    lstrcpyA(command, "MDTM ");
    lstrcatA(command, remote);
    if (!FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, command, 0, NULL)) return;
    RyKitLastResponseInfo(reply, sizeof reply);
    if (RyKitReplyCode(reply) != 213) return;
    while (i < RYKIT_TIME_BYTES - 1 && reply[4 + i] > ' ') time[i] = reply[4 + i], ++i;
    time[i] = '\0';
}

/* REST from; 1 when the server will begin the next transfer there (350). */
static int RyKit_Restart(DWORD connection, ULONGLONG from, char *reply, DWORD bytes)
{
    char command[32], digits[24];
    int n = 0, at = 5;
    do digits[n++] = (char)('0' + from % 10); while ((from /= 10) != 0);
    lstrcpyA(command, "REST ");
    while (n > 0) command[at++] = digits[--n];
    command[at] = '\0';
    FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, command, 0, NULL);
    RyKitLastResponseInfo(reply, bytes);
    return RyKitReplyCode(reply) == 350;
}

/* A broken receive keeps what came: the same file is asked for again and continued. */
static int RyKit_WorthKeeping(RyKitOutcome outcome)
{
    return outcome == RYKIT_BROKE_OFF || outcome == RYKIT_INCOMPLETE || outcome == RYKIT_NOT_CONFIRMED;
}

/* A broken transfer's file is timed (MDTM, before it began) from this size on: below it,
 * the round trip costs more than the check is worth, and the size alone is held to. */
#define RYKIT_TIMED_FROM (1024 * 1024)

/* The size to hold the transfer to, unless the connection's opening replies announce it
 * or a listing gave it (listed, else -1); asked in any case when a partial is to go on,
 * whose size must be checked first. */
static void RyKit_BeginReceive(DWORD connection, const char *remote, LONGLONG listed, RyKitReceive *r, BOOL *certain,
                               BOOL sizeNeeded)
{
    memset(r, 0, sizeof *r);
    r->expected = -1;
    *certain = FALSE;
    RYKIT_RECEIVE_STEP(size);
    if (!sizeNeeded && listed >= 0) {
        r->expected = listed;
        r->listedSize = 1;
    } else if (sizeNeeded || !(RyKit_Learn(connection, 0, 0) & RYKIT_KNOWN_ANNOUNCES)) {
        r->expected = RyKit_SizeBefore(connection, remote, certain);
    }
}

/* The verdict on a transfer that ran to its end, once its handles are closed. */
static RyKitOutcome RyKit_Confirmed(DWORD connection, const char *remote, RyKitOutcome outcome, BOOL certain,
                                    RyKitReceive *r)
{
    RYKIT_RECEIVE_STEP(check);
    if (outcome != RYKIT_RECEIVED) return outcome;
    RyKitLastResponseInfo(r->reply, sizeof r->reply);
    return RyKit_Complete(connection, remote, r, certain);
}

/* Whether the partial had goes on here: the same remote path, and the remote file's size
 * (and time, where one was recorded) as they were. Asked after the size. */
static int RyKit_GoesOn(DWORD connection, const char *remote, const RyKitPartial *had, const RyKitReceive *r,
                        char *time)
{
    if (had->expected < 0 || r->expected != had->expected || had->bytes > (ULONGLONG)had->expected) return 0;
    if (!had->time[0]) return 1;
    RyKit_AskTime(connection, remote, time);
    return lstrcmpA(time, had->time) == 0;
}

/* Opens the partial: at its end for a transfer that goes on (the record dropped), else new. */
static HANDLE RyKit_OpenPartial(RyKitReceive *r)
{
    HANDLE out;
    LARGE_INTEGER at;
    r->error = 0;
    if (r->resumedFrom) {
        out = CreateFileW(r->part, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        at.QuadPart = (LONGLONG)r->resumedFrom;
        if (out != INVALID_HANDLE_VALUE && SetFilePointerEx(out, at, NULL, FILE_BEGIN) && SetEndOfFile(out)) return out;
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        r->resumedFrom = r->received = 0;
    }
    out = CreateFileW(r->part, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE) r->error = GetLastError();
    return out;
}

/* RyKitReceiveFile, held to the size a listing gave (listed, or -1 to ask), opened through
 * RyFtpOpenFile (its box) or, quiet, through FtpOpenFileA (the refusal in r->reply). */
static RyKitOutcome RyKit_ReceiveFile(DWORD connection, HWND owner, const char *remote, const WCHAR *local,
                                      LONGLONG listed, BOOL quiet, RyKitProgress progress, void *context,
                                      RyKitReceive *r)
{
    RyKitOutcome outcome;
    RyKitPartial had;
    HANDLE out;
    DWORD file;
    WCHAR copy[MAX_PATH], part[MAX_PATH];
    char time[RYKIT_TIME_BYTES] = "";
    BOOL cached, certain, partial;
    if (!RyKit_PartialName(local, part)) {
        memset(r, 0, sizeof *r);
        r->expected = -1;
        r->error = ERROR_FILENAME_EXCED_RANGE;
        return RYKIT_NO_PART;
    }
    partial = RyKitReadPartial(local, &had) && had.bytes > 0 && lstrcmpA(had.remote, remote) == 0;
    RyKit_BeginReceive(connection, remote, listed, r, &certain, partial);
    lstrcpyW(r->part, part);
    if (partial && RyKit_GoesOn(connection, remote, &had, r, time) &&
        RyKit_Restart(connection, had.bytes, r->reply, sizeof r->reply)) {
        r->received = r->resumedFrom = had.bytes;
    } else {
        if (partial) DeleteFileW(part); /* another file now, or a server that cannot go on */
        if (r->expected > RYKIT_TIMED_FROM) RyKit_AskTime(connection, remote, time);
    }
    RYKIT_RECEIVE_STEP(open);
    file = quiet ? (DWORD)(ULONG_PTR)FtpOpenFileA(RyKitInternetHandle(connection), remote, GENERIC_READ,
                                                  FTP_TRANSFER_TYPE_BINARY, 0)
                 : RyFtpOpenFile(owner, connection, remote);
    if (!file) {
        if (quiet) r->error = RyKitWhyFailed(r->reply, sizeof r->reply);
        else RyKitLastResponseInfo(r->reply, sizeof r->reply);
        r->received = r->resumedFrom = 0;
        return RYKIT_NOT_OPENED;
    }
    /* Named now: a watchdog that ends the transfer closes the handle under it. */
    cached = RyKitCachedCopy(RyKitInternetHandle(file), copy);
    if (r->resumedFrom) RyKit_Learn(connection, RYKIT_KNOWN_BINARY, 0); /* the size asked is the whole file's */
    else RyKit_Announced(connection, r, &certain);
    RYKIT_RECEIVE_STEP(create);
    out = RyKit_OpenPartial(r);
    outcome = out == INVALID_HANDLE_VALUE ? RYKIT_NO_PART : RyKit_Copy(RyKitInternetHandle(file), out, r, progress, context);
    RYKIT_RECEIVE_STEP(close);
    RyINetClose(file, owner); /* before its connection is used again */
    RYKIT_RECEIVE_STEP(uncache);
    if (cached) DeleteFileW(copy);
    if (outcome == RYKIT_NO_PART) return outcome;
    outcome = RyKit_Confirmed(connection, remote, outcome, certain, r);
    r->partialKept = outcome != RYKIT_RECEIVED && RyKit_WorthKeeping(outcome) && r->received > 0 &&
                     r->expected >= 0 && RyKit_KeepPartial(out, remote, r, time); /* no size: nothing to go on to */
    CloseHandle(out);
    RYKIT_RECEIVE_STEP(rename);
    if (outcome == RYKIT_RECEIVED && !MoveFileExW(r->part, local, MOVEFILE_REPLACE_EXISTING)) {
        r->error = GetLastError();
        outcome = RYKIT_NOT_RENAMED;
    }
    if (outcome != RYKIT_RECEIVED && !r->partialKept) DeleteFileW(r->part);
    RYKIT_RECEIVE_STEP(done);
    return outcome;
}

RyKitOutcome RyKitReceiveFile(DWORD connection, HWND owner, const char *remote, const WCHAR *local,
                              RyKitProgress progress, void *context, RyKitReceive *r)
{
    return RyKit_ReceiveFile(connection, owner, remote, local, -1, FALSE, progress, context, r);
}

RyKitOutcome RyKitReceiveAfter(DWORD connection, const char *remote, HANDLE out, ULONGLONG from, RyKitProgress progress,
                               void *context, RyKitReceive *r)
{
    RyKitOutcome outcome;
    HINTERNET file;
    WCHAR copy[MAX_PATH];
    BOOL cached, certain;
    RyKit_BeginReceive(connection, remote, -1, r, &certain, from > 0);
    if (from && !RyKit_Restart(connection, from, r->reply, sizeof r->reply)) return RYKIT_NOT_RESTARTED;
    file = FtpOpenFileA(RyKitInternetHandle(connection), remote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file) {
        r->error = RyKitWhyFailed(r->reply, sizeof r->reply);
        return RYKIT_NOT_OPENED;
    }
    cached = RyKitCachedCopy(file, copy);
    r->received = r->resumedFrom = from;
    if (!from) RyKit_Announced(connection, r, &certain);
    outcome = RyKit_Copy(file, out, r, progress, context);
    InternetCloseHandle(file);
    if (cached) DeleteFileW(copy);
    return RyKit_Confirmed(connection, remote, outcome, certain, r);
}

RyKitOutcome RyKitReceiveInto(DWORD connection, const char *remote, HANDLE out, RyKitProgress progress, void *context,
                              RyKitReceive *r)
{
    return RyKitReceiveAfter(connection, remote, out, 0, progress, context, r);
}

/* The local block with each lone LF given its CR, into wire (room for twice the block);
 * afterCr carries a CR that ended the block before. */
static DWORD RyKit_ToWire(const char *block, DWORD got, char *wire, BOOL *afterCr)
{
    DWORD i, n = 0;
    for (i = 0; i < got; ++i) {
        if (block[i] == '\n' && !*afterCr) wire[n++] = '\r';
        wire[n++] = block[i];
        *afterCr = block[i] == '\r';
    }
    return n;
}

/* Holds the buffer of the sockets WININET sends on from this thread to bytes (0: as the
 * system sizes it), for the writes a send paces (below, with the watchdog's counter). */
static void RyKit_HoldSendBuffer(DWORD bytes);
static void RyKit_NewSendSocket(void); /* a send's data socket may bear a closed one's number */

/* A send that goes on: the local file read from byte from, the server told to write from
 * there too (TYPE I, REST). */
static RyKitOutcome RyKit_SendAfter(DWORD connection, HANDLE in, ULONGLONG from, RyKitSend *s)
{
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)from;
    if (from > s->size || !SetFilePointerEx(in, at, NULL, FILE_BEGIN)) {
        s->error = GetLastError();
        return RYKIT_NOT_READ;
    }
    if (!FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, "TYPE I", 0, NULL) ||
        !RyKit_Restart(connection, from, s->reply, sizeof s->reply)) {
        s->error = RyKitWhyFailed(s->reply, sizeof s->reply);
        return RYKIT_NOT_RESTARTED;
    }
    s->sent = s->resumedFrom = from;
    return RYKIT_SENT;
}

/* The local file's blocks into the open remote file, each write sized by the pace and its
 * socket's buffer held to match; buffer holds block bytes (three times that in ASCII type,
 * for the wire's CRLF). */
static RyKitOutcome RyKit_SendBlocks(HINTERNET file, HANDLE in, char *buffer, DWORD block, BOOL ascii,
                                     RyKitProgress progress, void *context, RyKitSend *s)
{
    RyKit_Pace pace;
    BOOL afterCr = FALSE;
    DWORD got, wrote;
    RyKit_PaceStart(&pace, block);
    RyKit_NewSendSocket();
    pace.toldBytes = s->sent;
    pace.size = RYKIT_PACE_LEAST; /* what the socket's buffer takes at once tells nothing of the rate */
    for (;;) {
        char *wire = buffer;
        DWORD ask = RyKit_PaceNext(&pace, block);
        if (ask > s->largestWrite) s->largestWrite = ask;
        if (!ReadFile(in, buffer, ask, &got, NULL)) {
            s->error = GetLastError();
            return RYKIT_NOT_READ;
        }
        if (got == 0) {
            if (progress && RyKit_PaceTell(&pace, s->sent, 1)) progress(context, s->sent, (LONGLONG)s->size);
            return RYKIT_SENT;
        }
        if (ascii) got = RyKit_ToWire(buffer, got, wire = buffer + block, &afterCr);
        RyKit_HoldSendBuffer(RyKit_PaceHold(&pace, ask));
        if (!InternetWriteFile(file, wire, got, &wrote) || wrote != got) {
            s->error = RyKitWhyFailed(s->reply, sizeof s->reply);
            RyKit_HoldSendBuffer(0);
            return RYKIT_BROKE_OFF;
        }
        RyKit_HoldSendBuffer(0);
        RyKit_PaceSaw(&pace, got);
        s->sent += got;
        if (progress && RyKit_PaceTell(&pace, s->sent, 0) && progress(context, s->sent, (LONGLONG)s->size))
            return RYKIT_CANCELLED;
    }
}

/* The send from byte from of the local file on, into the remote file from the same byte
 * (REST, binary type only); 0 is a whole send. */
static RyKitOutcome RyKit_SendFrom(DWORD connection, const WCHAR *local, const char *remote, DWORD type,
                                   ULONGLONG from, RyKitProgress progress, void *context, RyKitSend *s)
{
    DWORD block = RYKIT_SEND_BLOCK;
    RyKitOutcome outcome = RYKIT_SENT;
    HANDLE in;
    HINTERNET file;
    LARGE_INTEGER size;
    char *buffer;
    BOOL ascii = (type & FTP_TRANSFER_TYPE_ASCII) != 0;
    memset(s, 0, sizeof *s);
    in = CreateFileW(local, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (in == INVALID_HANDLE_VALUE || !GetFileSizeEx(in, &size)) {
        s->error = GetLastError();
        if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
        return RYKIT_NO_LOCAL;
    }
    s->size = (ULONGLONG)size.QuadPart;
    if (from && (outcome = RyKit_SendAfter(connection, in, from, s)) != RYKIT_SENT) {
        CloseHandle(in);
        return outcome;
    }
    if (s->size < block) block = (DWORD)s->size + 1; /* a small file pays for no large buffer */
    buffer = (char *)HeapAlloc(GetProcessHeap(), 0, ascii ? 3 * block : block);
    if (!buffer) {
        CloseHandle(in);
        s->error = ERROR_NOT_ENOUGH_MEMORY;
        return RYKIT_NOT_READ;
    }
    file = FtpOpenFileA(RyKitInternetHandle(connection), remote, GENERIC_WRITE, type, 0);
    if (!file) {
        s->error = RyKitWhyFailed(s->reply, sizeof s->reply);
        outcome = RYKIT_NOT_OPENED;
    } else {
        RyKit_Learn(connection, ascii ? 0 : RYKIT_KNOWN_BINARY, ascii ? RYKIT_KNOWN_BINARY : 0);
        outcome = RyKit_SendBlocks(file, in, buffer, block, ascii, progress, context, s);
        InternetCloseHandle(file); /* ends the data connection; the server then answers */
        if (outcome == RYKIT_SENT) {
            RyKitLastResponseInfo(s->reply, sizeof s->reply);
            if (RyKitReplyCode(s->reply) < 200 || RyKitReplyCode(s->reply) >= 300) outcome = RYKIT_NOT_CONFIRMED;
        }
    }
    /* A send that went on has the size to prove it: the server appended to what it had. */
    if (outcome == RYKIT_SENT && from && RyKit_AskSize(connection, remote) != (LONGLONG)s->size)
        outcome = RYKIT_NOT_CONFIRMED;
    HeapFree(GetProcessHeap(), 0, buffer);
    CloseHandle(in);
    return outcome;
}

RyKitOutcome RyKitSendFile(DWORD connection, const WCHAR *local, const char *remote, DWORD type,
                           RyKitProgress progress, void *context, RyKitSend *s)
{
    return RyKit_SendFrom(connection, local, remote, type, 0, progress, context, s);
}

/* The sockets layer, bound by name: the kit's header stays free of the winsock headers,
 * which clash with a host's own windows.h. */
typedef int(WINAPI *RyKit_WSAStartup)(WORD, void *);
typedef int(WINAPI *RyKit_WSACleanup)(void);
typedef int(WINAPI *RyKit_getsockopt)(UINT_PTR, int, int, char *, int *);
typedef int(WINAPI *RyKit_shutdown)(UINT_PTR, int);
#define RYKIT_SOL_SOCKET 0xFFFF
#define RYKIT_SO_TYPE    0x1008
#define RYKIT_SD_BOTH    2
/* Handle values are given out lowest first: past this many unused in a row, none is left. */
#define RYKIT_UNUSED_RUN 256

/* The sockets of this process, by handle value, at most most of them. */
static unsigned RyKit_OpenSockets(HMODULE ws2, ULONG_PTR *sockets, unsigned most)
{
    RyKit_getsockopt getOption = (RyKit_getsockopt)(void (*)(void))GetProcAddress(ws2, "getsockopt");
    unsigned count = 0, unused = 0;
    ULONG_PTR h;
    for (h = 4; getOption && unused < RYKIT_UNUSED_RUN && count < most; h += 4) {
        DWORD flags;
        int type = 0, length = sizeof type;
        if (!GetHandleInformation((HANDLE)h, &flags)) {
            ++unused;
            continue;
        }
        unused = 0;
        if (getOption(h, RYKIT_SOL_SOCKET, RYKIT_SO_TYPE, (char *)&type, &length) == 0) sockets[count++] = h;
    }
    return count;
}

static ULONGLONG RyKit_CpuTime(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!thread || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    return ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
           ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime);
}

/* Bytes WININET received, counted by the thread that called; a slot is claimed by a
 * watchdog's calling thread and taken over by another once its thread has ended. */
typedef int(WINAPI *RyKit_recv)(UINT_PTR, char *, int, int);
#define RYKIT_COUNTED_THREADS 64
static RyKit_recv RyKit_realRecv;
static volatile LONG RyKit_countedThread[RYKIT_COUNTED_THREADS];
static volatile LONG RyKit_countedBytes[RYKIT_COUNTED_THREADS];

static int RyKit_CountSlot(DWORD thread)
{
    int i;
    for (i = 0; i < RYKIT_COUNTED_THREADS; ++i)
        if ((DWORD)RyKit_countedThread[i] == thread) return i;
    return -1;
}

static int RyKit_ThreadEnded(DWORD id)
{
    HANDLE thread = id ? OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id) : NULL;
    DWORD code = 0;
    int ended = !thread || (GetExitCodeThread(thread, &code) && code != STILL_ACTIVE);
    if (thread) CloseHandle(thread);
    return ended;
}

static void RyKit_ClaimCountSlot(DWORD thread)
{
    int i;
    for (i = 0; RyKit_CountSlot(thread) < 0 && i < RYKIT_COUNTED_THREADS; ++i) {
        LONG was = RyKit_countedThread[i];
        if (!RyKit_ThreadEnded((DWORD)was)) continue;
        if (InterlockedCompareExchange(&RyKit_countedThread[i], (LONG)thread, was) == was)
            InterlockedExchange(&RyKit_countedBytes[i], 0);
    }
}

static LONG RyKit_Received(DWORD thread)
{
    int slot = RyKit_CountSlot(thread);
    return slot < 0 ? 0 : RyKit_countedBytes[slot];
}

static int WINAPI RyKit_CountedRecv(UINT_PTR socket, char *buffer, int length, int flags)
{
    int got = RyKit_realRecv(socket, buffer, length, flags);
    if (got > 0) {
        int slot = RyKit_CountSlot(GetCurrentThreadId());
        if (slot >= 0) InterlockedExchangeAdd(&RyKit_countedBytes[slot], got);
    }
    return got;
}

/* Points the loaded WININET's import of the sockets layer's name at instead (again after
 * WININET was loaded anew), keeping the real one in *real; 1 when it points there. */
static int RyKit_Redirect(const char *name, void *instead, void *volatile *real)
{
    BYTE *base = (BYTE *)GetModuleHandleA("wininet.dll");
    HMODULE ws2 = GetModuleHandleA("ws2_32.dll");
    void *function = ws2 ? (void *)GetProcAddress(ws2, name) : NULL;
    const IMAGE_NT_HEADERS *nt;
    const IMAGE_DATA_DIRECTORY *imports;
    const IMAGE_IMPORT_DESCRIPTOR *d;
    int counted = 0;
    if (!base || !function) return 0;
    InterlockedCompareExchangePointer(real, function, NULL);
    if (*real != function) return 0;
    nt = (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    imports = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (d = (const IMAGE_IMPORT_DESCRIPTOR *)(base + imports->VirtualAddress); imports->VirtualAddress && d->Name; ++d) {
        IMAGE_THUNK_DATA *slot;
        if (lstrcmpiA((const char *)(base + d->Name), "ws2_32.dll") != 0) continue;
        for (slot = (IMAGE_THUNK_DATA *)(base + d->FirstThunk); slot->u1.Function; ++slot) {
            DWORD was;
            if (slot->u1.Function == (ULONG_PTR)instead) counted = 1;
            if (slot->u1.Function != (ULONG_PTR)function ||
                !VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was))
                continue;
            InterlockedExchangePointer((void *volatile *)&slot->u1.Function, instead);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
            counted = 1;
        }
    }
    return counted;
}

static int RyKit_CountReceives(void)
{
    return RyKit_Redirect("recv", (void *)RyKit_CountedRecv, (void *volatile *)&RyKit_realRecv);
}

/* The thread that made each socket WININET made (or accepted, in active mode): a
 * connection's sockets are those its own thread made, whatever other connections of the
 * program opened meanwhile. A slot is cleared while it changes and when its socket is
 * closed, so that a reader never takes one socket's maker for another's. */
typedef UINT_PTR(WINAPI *RyKit_socket)(int, int, int);
typedef UINT_PTR(WINAPI *RyKit_accept)(UINT_PTR, void *, int *);
typedef int(WINAPI *RyKit_closesocket)(UINT_PTR);
#define RYKIT_MADE_SLOTS 256
static RyKit_socket RyKit_realSocket;
static RyKit_accept RyKit_realAccept;
static RyKit_closesocket RyKit_realClose;
static volatile LONG RyKit_madeSocket[RYKIT_MADE_SLOTS], RyKit_madeBy[RYKIT_MADE_SLOTS];

static UINT_PTR RyKit_Made(UINT_PTR s)
{
    unsigned slot = (unsigned)(s / 4) % RYKIT_MADE_SLOTS;
    if (s != (UINT_PTR)~(UINT_PTR)0) {
        InterlockedExchange(&RyKit_madeSocket[slot], 0);
        InterlockedExchange(&RyKit_madeBy[slot], (LONG)GetCurrentThreadId());
        InterlockedExchange(&RyKit_madeSocket[slot], (LONG)s);
    }
    return s;
}

static UINT_PTR WINAPI RyKit_MadeSocket(int family, int type, int protocol)
{
    return RyKit_Made(RyKit_realSocket(family, type, protocol));
}

static UINT_PTR WINAPI RyKit_MadeByAccepting(UINT_PTR listening, void *address, int *length)
{
    return RyKit_Made(RyKit_realAccept(listening, address, length));
}

static int WINAPI RyKit_Closed(UINT_PTR s)
{
    InterlockedCompareExchange(&RyKit_madeSocket[(unsigned)(s / 4) % RYKIT_MADE_SLOTS], 0, (LONG)s);
    return RyKit_realClose(s);
}

/* The thread that made the socket, or 0 where that is not known. */
static DWORD RyKit_MadeBy(ULONG_PTR socket)
{
    unsigned slot = (unsigned)(socket / 4) % RYKIT_MADE_SLOTS;
    DWORD by = (DWORD)RyKit_madeBy[slot];
    return (ULONG_PTR)RyKit_madeSocket[slot] == socket && (DWORD)RyKit_madeBy[slot] == by ? by : 0;
}

/* 1 when every socket WININET makes, accepts and closes is seen. */
static int RyKit_KnowMakers(void)
{
    int closes = RyKit_Redirect("closesocket", (void *)RyKit_Closed, (void *volatile *)&RyKit_realClose);
    int accepts = RyKit_Redirect("accept", (void *)RyKit_MadeByAccepting, (void *volatile *)&RyKit_realAccept);
    return RyKit_Redirect("socket", (void *)RyKit_MadeSocket, (void *volatile *)&RyKit_realSocket) && accepts && closes;
}

/* A send the kit paces holds its socket's buffer to about a quarter of a second at the
 * rate: Linux and Windows grow a buffer to megabytes, which a modem takes minutes to send,
 * and a write would return (and a put's progress run ahead of the line) as soon as the
 * bytes were queued on this machine. Where WININET imports no send, nothing is held. */
typedef int(WINAPI *RyKit_send)(UINT_PTR, const char *, int, int);
typedef int(WINAPI *RyKit_setsockopt)(UINT_PTR, int, int, const char *, int);
#define RYKIT_SO_SNDBUF 0x1001
static RyKit_send RyKit_realSend;
static RyKit_setsockopt RyKit_setSocketOption;
static volatile LONG RyKit_sendSlot = (LONG)TLS_OUT_OF_INDEXES; /* the bytes to hold, per thread */

static volatile LONG RyKit_heldSocket, RyKit_heldBytes; /* the last held, asked once */

static void RyKit_NewSendSocket(void) { InterlockedExchange(&RyKit_heldSocket, 0); }

static int WINAPI RyKit_PacedSend(UINT_PTR socket, const char *buffer, int length, int flags)
{
    int bytes = (int)(ULONG_PTR)TlsGetValue((DWORD)RyKit_sendSlot);
    if (bytes && RyKit_setSocketOption &&
        ((UINT_PTR)InterlockedExchange(&RyKit_heldSocket, (LONG)socket) != socket ||
         InterlockedExchange(&RyKit_heldBytes, bytes) != bytes))
        RyKit_setSocketOption(socket, RYKIT_SOL_SOCKET, RYKIT_SO_SNDBUF, (const char *)&bytes, sizeof bytes);
    return RyKit_realSend(socket, buffer, length, flags);
}

static void RyKit_HoldSendBuffer(DWORD bytes)
{
    HMODULE ws2 = GetModuleHandleA("ws2_32.dll");
    if (bytes && (DWORD)RyKit_sendSlot == TLS_OUT_OF_INDEXES) {
        DWORD slot = TlsAlloc();
        if (slot != TLS_OUT_OF_INDEXES &&
            InterlockedCompareExchange(&RyKit_sendSlot, (LONG)slot, (LONG)TLS_OUT_OF_INDEXES) != (LONG)TLS_OUT_OF_INDEXES)
            TlsFree(slot);
    }
    if ((DWORD)RyKit_sendSlot == TLS_OUT_OF_INDEXES) return;
    if (bytes && ws2 && !RyKit_setSocketOption)
        RyKit_setSocketOption = (RyKit_setsockopt)(void (*)(void))GetProcAddress(ws2, "setsockopt");
    if (bytes && !RyKit_Redirect("send", (void *)RyKit_PacedSend, (void *volatile *)&RyKit_realSend)) bytes = 0;
    TlsSetValue((DWORD)RyKit_sendSlot, (void *)(ULONG_PTR)bytes);
}

void RyKitCloseTaken(volatile LONG *handle, HWND owner)
{
    DWORD h = handle ? (DWORD)InterlockedExchange(handle, 0) : 0;
    if (h) RyINetClose(h, owner);
}

/* The watchdogs of the program, each with its connection's sockets. */
static RyKitWatchdog *RyKit_liveWatchdogs;
static volatile LONG RyKit_liveLock;
static void RyKit_LockLive(void)
{
    while (InterlockedCompareExchange(&RyKit_liveLock, 1, 0)) Sleep(0);
}
static void RyKit_UnlockLive(void) { InterlockedExchange(&RyKit_liveLock, 0); }

static int RyKit_Holds(const ULONG_PTR *set, unsigned count, ULONG_PTR socket)
{
    unsigned i;
    for (i = 0; i < count && set[i] != socket; ++i) {}
    return i < count;
}

/* The connection's sockets: those open now that were not before the host connected, but
 * for the connections of the program's other watchdogs and another thread's calls. */
static void RyKit_EndSocketCalls(RyKitWatchdog *w)
{
    ULONG_PTR now[RYKIT_MOST_SOCKETS];
    unsigned n = RyKit_OpenSockets(w->sockets, now, RYKIT_MOST_SOCKETS), i;
    RyKit_shutdown shut = (RyKit_shutdown)(void (*)(void))GetProcAddress(w->sockets, "shutdown");
    int makers = RyKit_KnowMakers();
    for (i = 0; shut && i < n; ++i) {
        const RyKitWatchdog *other;
        int others = 0;
        DWORD maker = makers ? RyKit_MadeBy(now[i]) : 0;
        if (RyKit_Holds(w->socketsBefore, w->socketsBeforeCount, now[i])) continue;
        RyKit_LockLive();
        if (maker && maker != w->callThreadId && !RyKit_Holds(w->own, w->ownCount, now[i]))
            others = 1; /* another thread's call */
        for (other = RyKit_liveWatchdogs; other && !others; other = other->nextLive)
            others = other != w && other->connection && *other->connection &&  /* still connected */
                     RyKit_Holds(other->own, other->ownCount, now[i]);
        RyKit_UnlockLive();
        if (others) continue;
        shut(now[i], RYKIT_SD_BOTH);
        CancelIoEx((HANDLE)now[i], NULL);
    }
}

static void RyKit_Check(RyKitWatchdog *w)
{
    EnterCriticalSection(&w->lock);
    if (w->busy && w->ending == RYKIT_RUNNING) {
        ULONGLONG cpu = RyKit_CpuTime(w->callThread);
        LONG received = RyKit_Received(w->callThreadId);
        DWORD now;
        int stalled, over;
        /* CPU time is counted in the system's 10 ms steps: a slow trickle may show none. */
        if (w->counting ? received != w->receivedAtProgress : cpu != w->cpuAtProgress) {
            w->cpuAtProgress = cpu;
            w->receivedAtProgress = received;
            InterlockedExchange(&w->lastProgress, (LONG)GetTickCount());
        }
        now = GetTickCount();
        stalled = w->timeoutSeconds && !w->waitingForUser && now - (DWORD)w->lastProgress >= w->timeoutSeconds * 1000;
        over = w->maxTimeSeconds && now - w->began >= w->maxTimeSeconds * 1000;
        if (w->cancelAsked || stalled || over) {
            w->ending = w->cancelAsked ? RYKIT_CANCELLED_CALL : over ? RYKIT_OVER_TIME : RYKIT_STALLED;
            RyKitCloseTaken(w->connection, NULL);
            RyKitCloseTaken(w->session, NULL);
        }
    }
    /* A call may block again on its way out (WININET reads the reply that ends a transfer
       as its file handle goes): keep ending them until the call is back. */
    if (w->busy && w->ending != RYKIT_RUNNING && w->sockets) RyKit_EndSocketCalls(w);
    LeaveCriticalSection(&w->lock);
}

static DWORD WINAPI RyKit_Watch(void *self)
{
    RyKitWatchdog *w = (RyKitWatchdog *)self;
    while (!w->stop) {
        WaitForSingleObject(w->wake, 100);
        RyKit_Check(w);
    }
    return 0;
}

int RyKitWatchdogStart(RyKitWatchdog *w, volatile LONG *connection, volatile LONG *session)
{
    char wsa[1024]; /* WSADATA, which the winsock headers would declare */
    memset(w, 0, sizeof *w);
    w->timeoutSeconds = 120;
    w->connection = connection;
    w->session = session;
    InitializeCriticalSection(&w->lock);
    w->sockets = LoadLibraryA("ws2_32.dll");
    if (w->sockets) {
        RyKit_WSAStartup start = (RyKit_WSAStartup)(void (*)(void))GetProcAddress(w->sockets, "WSAStartup");
        if (!start || start(MAKEWORD(2, 2), wsa) != 0) {
            FreeLibrary(w->sockets);
            w->sockets = NULL;
        }
    }
    w->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    w->thread = w->wake ? CreateThread(NULL, 0, RyKit_Watch, w, 0, NULL) : NULL;
    RyKit_LockLive();
    w->nextLive = RyKit_liveWatchdogs;
    RyKit_liveWatchdogs = w;
    RyKit_UnlockLive();
    return w->thread != NULL;
}

void RyKitWatchdogStop(RyKitWatchdog *w)
{
    RyKitWatchdog **at;
    RyKit_LockLive();
    for (at = &RyKit_liveWatchdogs; *at && *at != w; at = &(*at)->nextLive) {}
    if (*at) *at = w->nextLive;
    RyKit_UnlockLive();
    w->stop = 1;
    if (w->thread) {
        SetEvent(w->wake);
        WaitForSingleObject(w->thread, INFINITE);
        CloseHandle(w->thread);
    }
    if (w->wake) CloseHandle(w->wake);
    if (w->callThread) CloseHandle(w->callThread);
    if (w->sockets) {
        RyKit_WSACleanup cleanup = (RyKit_WSACleanup)(void (*)(void))GetProcAddress(w->sockets, "WSACleanup");
        if (cleanup) cleanup();
        FreeLibrary(w->sockets);
    }
    DeleteCriticalSection(&w->lock);
    w->thread = w->wake = w->callThread = NULL;
    w->sockets = NULL;
}

void RyKitWatchdogConnecting(RyKitWatchdog *w)
{
    ULONG_PTR before[RYKIT_MOST_SOCKETS];
    unsigned n = w->sockets ? RyKit_OpenSockets(w->sockets, before, RYKIT_MOST_SOCKETS) : 0;
    RyKit_KnowMakers();
    EnterCriticalSection(&w->lock);
    memcpy(w->socketsBefore, before, n * sizeof before[0]);
    w->socketsBeforeCount = n;
    LeaveCriticalSection(&w->lock);
    RyKit_LockLive();
    w->ownCount = 0;
    RyKit_UnlockLive();
}

void RyKitWatchdogConnected(RyKitWatchdog *w)
{
    ULONG_PTR now[RYKIT_MOST_SOCKETS], own[RYKIT_MOST_SOCKETS];
    unsigned n = w->sockets ? RyKit_OpenSockets(w->sockets, now, RYKIT_MOST_SOCKETS) : 0, i, count = 0;
    int makers = RyKit_KnowMakers();
    for (i = 0; i < n; ++i) {
        DWORD maker = makers ? RyKit_MadeBy(now[i]) : 0;
        if (!RyKit_Holds(w->socketsBefore, w->socketsBeforeCount, now[i]) && (!maker || maker == GetCurrentThreadId()))
            own[count++] = now[i];
    }
    RyKit_LockLive();
    memcpy(w->own, own, count * sizeof own[0]);
    w->ownCount = count;
    RyKit_UnlockLive();
}

void RyKitWatchdogBegin(RyKitWatchdog *w)
{
    EnterCriticalSection(&w->lock);
    if (w->callThreadId != GetCurrentThreadId()) {
        if (w->callThread) CloseHandle(w->callThread);
        w->callThreadId = GetCurrentThreadId();
        w->callThread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, w->callThreadId);
        RyKit_ClaimCountSlot(w->callThreadId);
    }
    w->counting = RyKit_CountReceives() && RyKit_CountSlot(w->callThreadId) >= 0;
    w->cpuAtProgress = RyKit_CpuTime(w->callThread);
    w->receivedAtProgress = RyKit_Received(w->callThreadId);
    w->began = GetTickCount();
    w->lastProgress = (LONG)w->began;
    w->ending = RYKIT_RUNNING;
    w->cancelAsked = w->waitingForUser = 0;
    w->busy = 1;
    LeaveCriticalSection(&w->lock);
}

RyKitEnding RyKitWatchdogFinish(RyKitWatchdog *w)
{
    RyKitEnding how;
    EnterCriticalSection(&w->lock);
    w->busy = 0;
    how = (RyKitEnding)w->ending;
    w->ending = RYKIT_RUNNING;
    LeaveCriticalSection(&w->lock);
    return how;
}

void RyKitWatchdogProgress(RyKitWatchdog *w) { InterlockedExchange(&w->lastProgress, (LONG)GetTickCount()); }

void RyKitWatchdogWaitForUser(RyKitWatchdog *w, int waiting)
{
    w->waitingForUser = waiting;
    RyKitWatchdogProgress(w);
}

int RyKitWatchdogCancel(RyKitWatchdog *w)
{
    int running;
    EnterCriticalSection(&w->lock);
    running = w->busy != 0;
    if (running) w->cancelAsked = 1;
    LeaveCriticalSection(&w->lock);
    if (running) SetEvent(w->wake);
    return running;
}

RyKitEnding RyKitWatchdogEnding(const RyKitWatchdog *w) { return (RyKitEnding)w->ending; }

void RyKitWatchdogGoOn(RyKitWatchdog *w)
{
    EnterCriticalSection(&w->lock);
    w->cpuAtProgress = RyKit_CpuTime(w->callThread);
    w->receivedAtProgress = RyKit_Received(w->callThreadId);
    w->lastProgress = (LONG)GetTickCount();
    if (w->ending == RYKIT_STALLED) w->ending = RYKIT_RUNNING; /* a cancel, or the allowance, stays */
    LeaveCriticalSection(&w->lock);
}

/* ---- Trying again ---- */

void RyKitLinkInit(RyKitLink *l, volatile LONG *session, volatile LONG *connection, HWND owner,
                   RyKitWatchdog *watchdog, RyKitBoxWatch *boxes)
{
    memset(l, 0, sizeof *l);
    l->session = session;
    l->connection = connection;
    l->owner = owner;
    l->watchdog = watchdog;
    l->boxes = boxes;
    l->retries = RYKIT_RETRIES;
    l->type = FTP_TRANSFER_TYPE_BINARY;
    l->passive = 1;
}

void RyKitLinkLoggedIn(RyKitLink *l, const char *server, const char *user, const char *password, int passive)
{
    lstrcpynA(l->server, server, sizeof l->server);
    lstrcpynA(l->user, user, sizeof l->user);
    lstrcpynA(l->password, password, sizeof l->password);
    l->passive = passive;
    l->directory[0] = '\0';
}

void RyKitLinkDialed(RyKitLink *l, const char *entry, const char *user, const char *password, HRASCONN dial)
{
    SecureZeroMemory(l->dialPassword, sizeof l->dialPassword);
    l->entry[0] = l->dialUser[0] = '\0';
    l->dial = dial;
    if (!dial) return;
    lstrcpynA(l->entry, entry, sizeof l->entry);
    lstrcpynA(l->dialUser, user, sizeof l->dialUser);
    lstrcpynA(l->dialPassword, password, sizeof l->dialPassword);
}

void RyKitLinkMoved(RyKitLink *l)
{
    char directory[RYINET_CURDIR_BYTES];
    DWORD units = sizeof directory, connection = l->connection ? (DWORD)*l->connection : 0;
    if (connection && FtpGetCurrentDirectoryA(RyKitInternetHandle(connection), directory, &units))
        lstrcpynA(l->directory, directory, sizeof l->directory); /* otherwise the last one known */
}

void RyKitLinkForget(RyKitLink *l)
{
    SecureZeroMemory(l->password, sizeof l->password);
    l->server[0] = l->user[0] = l->directory[0] = '\0';
}

int RyKitWorthAnotherTry(RyKitOutcome outcome, const char *reply, RyKitEnding ending)
{
    int code = RyKitReplyCode(reply);
    if (ending != RYKIT_RUNNING) return ending == RYKIT_STALLED;
    switch (outcome) {
    case RYKIT_BROKE_OFF:
    case RYKIT_INCOMPLETE: return 1;
    case RYKIT_NOT_OPENED:
    case RYKIT_NOT_CONFIRMED: break;
    case RYKIT_CALL_FAILED: return code == 421 || code == 425 || code == 426;
    default: return 0; /* received, cancelled, or a local file's error */
    }
    /* No new reply (the last is still an earlier command's 2xx or 3xx, or a 150) is a
       connection lost. */
    return code == 421 || code == 425 || code == 426 || code < 400;
}

/* "900 bytes", "12 KiB", "1.9 MiB". */
static void RyKit_Amount(ULONGLONG bytes, char *out)
{
    ULONGLONG tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
    if (bytes < 1024) wsprintfA(out, "%lu bytes", (unsigned long)bytes);
    else if (bytes < 1024 * 1024) wsprintfA(out, "%lu KiB", (unsigned long)(bytes / 1024));
    else wsprintfA(out, "%lu.%lu MiB", (unsigned long)(tenths / 10), (unsigned long)(tenths % 10));
}

/* Why a transfer is tried again, as a line says it. */
static void RyKit_Why(const RyKitLink *l, RyKitOutcome outcome, const char *reply, RyKitEnding ending, ULONGLONG had,
                      LONGLONG expected, char *why)
{
    char amount[32], whole[40] = "";
    RyKit_Amount(had, amount);
    if (expected >= 0) {
        lstrcpyA(whole, " of ");
        RyKit_Amount((ULONGLONG)expected, whole + 4);
    }
    if (ending == RYKIT_STALLED)
        wsprintfA(why, "no progress for %lu s after %s%s", (unsigned long)l->watchdog->timeoutSeconds, amount, whole);
    else if (outcome == RYKIT_NOT_OPENED)
        wsprintfA(why, "not opened (%.300s)", RyKitReplyCode(reply) >= 400 ? reply : "the connection was lost");
    else
        wsprintfA(why, "broken off after %s%s", amount, whole);
}

/* The pause before another try: the watchdog counts none of it as a stall, and a cancel or
 * the whole allowance running out ends it (0). */
static int RyKit_Pause(RyKitLink *l, DWORD seconds)
{
    DWORD waited;
    RyKitWatchdog *w = l->watchdog;
    if (!w) {
        Sleep(seconds * 1000);
        return 1;
    }
    RyKitWatchdogGoOn(w);
    RyKitWatchdogWaitForUser(w, 1);
    for (waited = 0; waited < seconds * 1000 && RyKitWatchdogEnding(w) == RYKIT_RUNNING; waited += 100) Sleep(100);
    RyKitWatchdogWaitForUser(w, 0);
    return RyKitWatchdogEnding(w) == RYKIT_RUNNING;
}

/* The dial-up connection the session dialed, dialed again when RAS says it is down. */
static int RyKit_Redial(RyKitLink *l, unsigned attempt, char *why)
{
    RASCONNSTATUSA status;
    DWORD dialed;
    memset(&status, 0, sizeof status);
    status.dwSize = sizeof status;
    if (RasGetConnectStatusA(l->dial, &status) == 0 && status.rasconnstate == RASCS_Connected) return 1;
    RyKitHangUp(l->dial);
    l->dial = NULL;
    dialed = RyRasDial(l->owner, l->entry, l->dialUser, l->dialPassword);
    if (!dialed) {
        wsprintfA(why, "the dial-up connection %.256s is down, and dialing it again failed", l->entry);
        return 0;
    }
    l->dial = (HRASCONN)(ULONG_PTR)dialed;
    if (l->retrying) {
        wsprintfA(why, "the dial-up connection %.256s was down: dialed it again", l->entry);
        l->retrying(l->context, attempt, l->retries, 0, why);
    }
    return 1;
}

static volatile LONG RyKit_connecting;

/* The host's connection opened anew, where it was; why says what failed. */
static int RyKit_Reopen(RyKitLink *l, unsigned attempt, char *why)
{
    char reply[RYKIT_REPLY_BYTES];
    DWORD session, connection = 0;
    int alone;
    RyKitCloseTaken(l->connection, l->owner);
    RyKitCloseTaken(l->session, l->owner);
    if (l->dial && l->entry[0] && !RyKit_Redial(l, attempt, why)) return 0;
    session = RyINetOpen(l->owner);
    /* Where nobody knows which thread made a socket, one connection at a time: the
       sockets that open while it connects are its own. */
    alone = !RyKit_KnowMakers();
    while (alone && InterlockedCompareExchange(&RyKit_connecting, 1, 0)) Sleep(1);
    if (l->watchdog) RyKitWatchdogConnecting(l->watchdog);
    InterlockedExchange(l->session, (LONG)session); /* the watchdog ends a connect that hangs */
    if (session)
        connection = RyKitConnect(session, l->owner, l->server, l->user, l->password, l->passive, reply, sizeof reply);
    InterlockedExchange(l->connection, (LONG)connection);
    if (l->watchdog) RyKitWatchdogConnected(l->watchdog);
    if (alone) InterlockedExchange(&RyKit_connecting, 0);
    if (!connection) {
        wsprintfA(why, "not connected again to %.200s%s%.300s%s", l->server, reply[0] ? " (" : "", reply,
                  reply[0] ? ")" : "");
        return 0;
    }
    if (l->names && l->names->learned) /* the server's session is new; what the names showed of it stays */
        FtpCommandA(RyKitInternetHandle(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, "OPTS UTF8 ON", 0, NULL);
    else if (l->names)
        RyKitNamesLearn(l->names, connection);
    if (l->directory[0] && !FtpSetCurrentDirectoryA(RyKitInternetHandle(connection), l->directory)) {
        wsprintfA(why, "connected again to %.200s, but not into %.256s", l->server, l->directory);
        return 0;
    }
    return 1;
}

int RyKitLinkAgain(RyKitLink *l, unsigned *attempt, const char *reason)
{
    char why[RYKIT_REPLY_BYTES + 256];
    lstrcpynA(why, reason, sizeof why);
    while (*attempt < l->retries) {
        DWORD pause = *attempt < 5 ? 1u << *attempt : 30;
        ++*attempt;
        if (l->watchdog) RyKitWatchdogGoOn(l->watchdog); /* the host may speak again */
        if (l->retrying) l->retrying(l->context, *attempt, l->retries, pause, why);
        if (!RyKit_Pause(l, pause)) break;
        if (RyKit_Reopen(l, *attempt, why)) return 1;
    }
    RyKitCloseTaken(l->connection, l->owner);
    RyKitCloseTaken(l->session, l->owner);
    return 0;
}

static RyKitEnding RyKit_Ending(const RyKitLink *l)
{
    return l->watchdog ? RyKitWatchdogEnding(l->watchdog) : RYKIT_RUNNING;
}

static RyKitOutcome RyKit_LinkReceive(RyKitLink *l, const char *remote, const WCHAR *local, LONGLONG listed,
                                      BOOL quiet, RyKitProgress progress, void *context, RyKitReceive *r)
{
    char why[RYKIT_REPLY_BYTES + 64];
    unsigned attempt = 0;
    int boxes = l->boxes ? l->boxes->shown : 0;
    BOOL ascii = (l->type & FTP_TRANSFER_TYPE_ASCII) != 0;
    RyKitOutcome outcome;
    for (;;) {
        if (ascii) RyKitDiscardPartial(local); /* an ASCII transfer's bytes are no file's to go on from */
        outcome = RyKit_ReceiveFile((DWORD)*l->connection, l->owner, remote, local, listed, quiet, progress, context, r);
        if (outcome == RYKIT_RECEIVED) break;
        if (outcome == RYKIT_CANCELLED || RyKit_Ending(l) == RYKIT_CANCELLED_CALL) {
            RyKitDiscardPartial(local); /* the user said stop */
            r->partialKept = 0;
            break;
        }
        if (!RyKitWorthAnotherTry(outcome, r->reply, RyKit_Ending(l)) || attempt >= l->retries) break;
        RyKit_Why(l, outcome, r->reply, RyKit_Ending(l), r->received, r->expected, why);
        if (l->boxes) l->boxes->shown = boxes;
        if (!RyKitLinkAgain(l, &attempt, why)) break;
    }
    if (ascii && outcome != RYKIT_RECEIVED) {
        RyKitDiscardPartial(local);
        r->partialKept = 0;
    }
    return outcome;
}

RyKitOutcome RyKitLinkReceive(RyKitLink *l, const char *remote, const WCHAR *local, RyKitProgress progress,
                              void *context, RyKitReceive *r)
{
    return RyKit_LinkReceive(l, remote, local, -1, FALSE, progress, context, r);
}

RyKitOutcome RyKitLinkReceiveListed(RyKitLink *l, const char *remote, const WCHAR *local, LONGLONG listed,
                                    RyKitProgress progress, void *context, RyKitReceive *r)
{
    return RyKit_LinkReceive(l, remote, local, listed, FALSE, progress, context, r);
}

RyKitOutcome RyKitLinkSend(RyKitLink *l, const WCHAR *local, const char *remote, RyKitProgress progress,
                           void *context, RyKitSend *s)
{
    char why[RYKIT_REPLY_BYTES + 64];
    unsigned attempt = 0;
    int boxes = l->boxes ? l->boxes->shown : 0;
    BOOL binary = !(l->type & FTP_TRANSFER_TYPE_ASCII);
    ULONGLONG from = 0;
    RyKitOutcome outcome;
    for (;;) {
        outcome = RyKit_SendFrom((DWORD)*l->connection, local, remote, l->type, from, progress, context, s);
        if (outcome == RYKIT_NOT_RESTARTED) /* a server that cannot go on gets the whole file */
            outcome = RyKit_SendFrom((DWORD)*l->connection, local, remote, l->type, 0, progress, context, s);
        if (outcome == RYKIT_SENT || outcome == RYKIT_CANCELLED) break;
        if (!RyKitWorthAnotherTry(outcome, s->reply, RyKit_Ending(l)) || attempt >= l->retries) break;
        RyKit_Why(l, outcome, s->reply, RyKit_Ending(l), s->sent, (LONGLONG)s->size, why);
        if (l->boxes) l->boxes->shown = boxes;
        if (!RyKitLinkAgain(l, &attempt, why)) break;
        from = 0;
        if (binary) { /* what the server kept of the file this send was writing */
            LONGLONG kept = RyKitRemoteSize((DWORD)*l->connection, remote);
            if (kept > 0 && (ULONGLONG)kept <= s->size) from = (ULONGLONG)kept;
        }
    }
    return outcome;
}


/* ---- The pool ---- */

#define RYKIT_WAITING 0
#define RYKIT_UNDER_WAY 1
#define RYKIT_ENDED 2
#define RYKIT_NOTES 32

struct RyKit_Run;

typedef struct RyKit_Lane {
    struct RyKit_Run *run;
    RyKitLink *link;             /* the host's, or own */
    RyKitLink own;
    volatile LONG session, connection;
    RyKitWatchdog watchdog;
    RyKitNames names;
    HANDLE thread;
    RyKitTransfer *current;
    ULONGLONG moving;            /* the current file's bytes so far */
    int watching;                /* its watchdog runs: a cancel may reach it */
} RyKit_Lane;

typedef struct RyKit_Note {
    unsigned attempt, retries;
    DWORD pause;
    char text[RYKIT_REPLY_BYTES + 64];
} RyKit_Note;

typedef struct RyKit_Run {
    const RyKitPool *pool;
    RyKitTransfer *t;
    unsigned count, lanes, told, ended, failed;
    unsigned *order;             /* the transfers, as they ended */
    LONG *after;                 /* the earlier transfer to the same file, or -1 */
    volatile LONG next, stop, connections, refused, connecting;
    char refusal[RYKIT_REPLY_BYTES + 256];  /* why the first connection refused was not opened */
    RyKitRetrying retrying;      /* the host's, while the host's link tells the pool */
    void *retryingContext;
    RyKit_Lane *lane;
    CRITICAL_SECTION lock;
    HANDLE changed, listed;      /* listed: the transfers are there (or the batch stopped) */
    RyKit_Note notes[RYKIT_NOTES];
    unsigned noteIn, noteOut;
    ULONGLONG endedBytes, total;
    DWORD began, toldAt;
    int toldOnce;
} RyKit_Run;

/* A transfer has ended, its outcome set; under the run's lock. */
static void RyKit_Ended(RyKit_Run *run, unsigned index)
{
    run->t[index].state = RYKIT_ENDED;
    run->order[run->ended++] = index;
    run->failed += run->t[index].outcome != RYKIT_RECEIVED;
}

static void RyKit_AddNote(RyKit_Run *run, unsigned attempt, unsigned retries, DWORD pause, const char *text)
{
    EnterCriticalSection(&run->lock);
    if (run->noteIn - run->noteOut < RYKIT_NOTES) { /* more at once is no news */
        RyKit_Note *n = &run->notes[run->noteIn++ % RYKIT_NOTES];
        n->attempt = attempt, n->retries = retries, n->pause = pause;
        lstrcpynA(n->text, text, sizeof n->text);
    }
    LeaveCriticalSection(&run->lock);
    SetEvent(run->changed);
}

/* A lane's retries, with the file's name, told by the calling thread: at once for the
 * host's connection, which runs there. */
static void RyKit_LaneRetrying(void *context, unsigned attempt, unsigned retries, DWORD pause, const char *reason)
{
    RyKit_Lane *lane = (RyKit_Lane *)context;
    RyKit_Run *run = lane->run;
    char text[RYKIT_REPLY_BYTES + 64];
    if (lane->current) wsprintfA(text, "%.300s (%.200s)", reason, lane->current->remote);
    else lstrcpynA(text, reason, sizeof text);
    if (lane != run->lane) RyKit_AddNote(run, attempt, retries, pause, text);
    else if (run->retrying) run->retrying(run->retryingContext, attempt, retries, pause, text);
}

/* The batch's cancel reaches the calls under way on the other connections. */
static void RyKit_Stop(RyKit_Run *run)
{
    unsigned i;
    if (InterlockedExchange(&run->stop, 1)) return;
    EnterCriticalSection(&run->lock);
    for (i = 1; i < run->lanes; ++i)
        if (run->lane[i].watching) RyKitWatchdogCancel(&run->lane[i].watchdog);
    LeaveCriticalSection(&run->lock);
}

/* On the calling thread: what the other connections did, told to the host. */
static void RyKit_Tell(RyKit_Run *run, int last)
{
    const RyKitPool *p = run->pool;
    RyKitBatch b;
    RyKit_Note note;
    unsigned i, index;
    int news = 0;
    DWORD now = GetTickCount();
    for (;;) {
        int have;
        EnterCriticalSection(&run->lock);
        have = run->noteOut != run->noteIn;
        if (have) note = run->notes[run->noteOut++ % RYKIT_NOTES];
        LeaveCriticalSection(&run->lock);
        if (!have) break;
        if (note.attempt == 0 && p->says) p->says(p->context, note.text);
        else if (note.attempt && run->retrying)
            run->retrying(run->retryingContext, note.attempt, note.retries, note.pause, note.text);
    }
    for (;;) {
        EnterCriticalSection(&run->lock);
        index = run->told < run->ended ? run->order[run->told++] : run->count;
        LeaveCriticalSection(&run->lock);
        if (index == run->count) break;
        news = 1;
        if (p->ended) p->ended(p->context, &run->t[index]);
    }
    if (!last && !news && run->toldOnce && now - run->toldAt < RYKIT_PROGRESS_MS) return;
    memset(&b, 0, sizeof b);
    EnterCriticalSection(&run->lock);
    b.ended = run->ended;
    b.bytes = run->endedBytes;
    for (i = 0; i < run->lanes; ++i)
        if (run->lane[i].current) b.bytes += run->lane[i].moving;
    b.failed = run->failed;
    LeaveCriticalSection(&run->lock);
    b.count = run->count;
    b.total = run->total;
    b.connections = (unsigned)run->connections;
    b.milliseconds = now - run->began;
    run->toldAt = now;
    run->toldOnce = 1;
    if (p->progress && p->progress(p->context, &b)) RyKit_Stop(run);
    if (RyKit_Ending(p->link) == RYKIT_CANCELLED_CALL || RyKit_Ending(p->link) == RYKIT_OVER_TIME) RyKit_Stop(run);
}

static int RyKit_LaneProgress(void *context, ULONGLONG bytes, LONGLONG expected)
{
    RyKit_Lane *lane = (RyKit_Lane *)context;
    RyKit_Run *run = lane->run;
    (void)expected;
    if (lane->link->watchdog) RyKitWatchdogProgress(lane->link->watchdog);
    EnterCriticalSection(&run->lock);
    lane->moving = bytes;
    LeaveCriticalSection(&run->lock);
    if (lane == run->lane) RyKit_Tell(run, 0);
    return (int)run->stop;
}

/* A delete, tried again as the link says. */
static RyKitOutcome RyKit_LinkDelete(RyKitLink *l, RyKitTransfer *t)
{
    char why[RYKIT_REPLY_BYTES + 64];
    unsigned attempt = 0;
    for (;;) {
        if (FtpDeleteFileA(RyKitInternetHandle((DWORD)*l->connection), t->remote)) return RYKIT_RECEIVED;
        t->error = RyKitWhyFailed(t->reply, sizeof t->reply);
        if (!RyKitWorthAnotherTry(RYKIT_CALL_FAILED, t->reply, RyKit_Ending(l)) || attempt >= l->retries)
            return RYKIT_CALL_FAILED;
        wsprintfA(why, "not deleted (%.300s)", t->reply[0] ? t->reply : "the connection was lost");
        if (!RyKitLinkAgain(l, &attempt, why)) return RYKIT_CALL_FAILED;
    }
}

/* Takes the next file and carries it, until none is left, the batch stops, or the lane's
 * connection is gone (its attempts ran out: the other lanes take the rest). */
static void RyKit_LaneWorks(RyKit_Lane *lane)
{
    RyKit_Run *run = lane->run;
    RyKitLink *l = lane->link;
    int own = lane != run->lane;
    for (;;) {
        LONG index;
        RyKitTransfer *t;
        DWORD began = GetTickCount();
        ULONGLONG bytes = 0;
        if (run->stop || !*l->connection) break; /* a file taken is carried */
        index = InterlockedIncrement(&run->next) - 1;
        if (index >= (LONG)run->count) break;
        t = &run->t[index];
        /* Two transfers to one file would write it at once: the later waits. */
        while (run->after[index] >= 0 && run->t[run->after[index]].state < RYKIT_ENDED && !run->stop) Sleep(10);
        t->state = RYKIT_UNDER_WAY;
        EnterCriticalSection(&run->lock);
        lane->current = t;
        lane->moving = 0;
        LeaveCriticalSection(&run->lock);
        if (own) RyKitWatchdogBegin(&lane->watchdog);
        if (t->task == RYKIT_TASK_GET) {
            t->outcome = RyKit_LinkReceive(l, t->remote, t->local, t->size, TRUE, RyKit_LaneProgress, lane, &t->receive);
            bytes = t->receive.received;
        } else if (t->task == RYKIT_TASK_PUT) {
            t->outcome = RyKitLinkSend(l, t->local, t->remote, RyKit_LaneProgress, lane, &t->send);
            bytes = t->send.sent;
        } else {
            t->outcome = RyKit_LinkDelete(l, t);
        }
        if (own) RyKitWatchdogFinish(&lane->watchdog);
        t->milliseconds = GetTickCount() - began;
        EnterCriticalSection(&run->lock);
        lane->current = NULL;
        run->endedBytes += bytes;
        RyKit_Ended(run, (unsigned)index);
        LeaveCriticalSection(&run->lock);
        SetEvent(run->changed);
        if (!own) RyKit_Tell(run, 0);
    }
}

/* What a refusal says, once the lanes that connect at the same time have all connected:
 * the connections the server took are counted by then. */
static void RyKit_SayRefusal(RyKit_Run *run, const char *server)
{
    char text[RYKIT_REPLY_BYTES + 320], *reply = run->refusal;
    int length;
    while (*reply && (reply[0] != ' ' || reply[1] != '(')) ++reply; /* "... (421 Too many ...)" */
    reply = *reply ? reply + 2 : (char *)"no reply";
    length = lstrlenA(reply);
    if (length && reply[length - 1] == ')') reply[length - 1] = '\0';
    wsprintfA(text, "%.200s took %lu connections, not %lu: another was refused (%.300s)", server,
              (unsigned long)run->connections, (unsigned long)run->lanes, reply);
    RyKit_AddNote(run, 0, 0, 0, text);
}

/* Another connection: opened (all at once, and none after one was refused), then working
 * until the files run out. */
static DWORD WINAPI RyKit_LaneRuns(void *self)
{
    RyKit_Lane *lane = (RyKit_Lane *)self;
    RyKit_Run *run = lane->run;
    char why[RYKIT_REPLY_BYTES + 256];
    int opened = 0, watched = RyKitWatchdogStart(&lane->watchdog, &lane->connection, &lane->session);
    if (watched && run->pool->link->watchdog) lane->watchdog.timeoutSeconds = run->pool->link->watchdog->timeoutSeconds;
    EnterCriticalSection(&run->lock);
    lane->watching = watched;
    LeaveCriticalSection(&run->lock);
    lane->own.watchdog = watched ? &lane->watchdog : NULL;
    if (!run->refused && !run->stop && run->next < (LONG)run->count) { /* (count is large until listed) */
        if (watched) RyKitWatchdogBegin(&lane->watchdog);
        opened = RyKit_Reopen(&lane->own, 0, why);
        if (watched) RyKitWatchdogFinish(&lane->watchdog);
        if (opened) InterlockedIncrement(&run->connections);
        else if (!InterlockedExchange(&run->refused, 1))
            lstrcpynA(run->refusal, why, sizeof run->refusal);
    }
    if (!InterlockedDecrement(&run->connecting) && run->refused && !run->stop) RyKit_SayRefusal(run, lane->own.server);
    if (opened) {
        WaitForSingleObject(run->listed, INFINITE);
        if (!run->stop) RyKit_LaneWorks(lane);
        InterlockedDecrement(&run->connections);
    }
    RyKitCloseTaken(&lane->connection, NULL);
    RyKitCloseTaken(&lane->session, NULL);
    EnterCriticalSection(&run->lock);
    lane->watching = 0;
    LeaveCriticalSection(&run->lock);
    if (watched) RyKitWatchdogStop(&lane->watchdog);
    SecureZeroMemory(&lane->own, sizeof lane->own);
    SetEvent(run->changed);
    return 0;
}

static void RyKit_LaneFromHost(RyKit_Lane *lane, const RyKitLink *host)
{
    lane->own = *host;
    lane->own.session = &lane->session;
    lane->own.connection = &lane->connection;
    lane->own.owner = NULL;      /* no boxes: nobody answers them on this thread */
    lane->own.boxes = NULL;
    lane->own.entry[0] = '\0';   /* the host's connection redials; this one waits for it */
    lane->own.dial = NULL;
    lane->names = host->names ? *host->names : lane->names; /* what the host learned of the server */
    lane->own.names = &lane->names;
    lane->own.retrying = RyKit_LaneRetrying;
    lane->own.context = lane;
    lane->link = &lane->own;
}

/* The file a transfer writes: a get's local file (Windows' names ignore case), a put's
 * remote one; hashed, for RyKit_SameFiles. */
static DWORD RyKit_FileHash(const RyKitTransfer *t)
{
    DWORD hash = 2166136261u;
    const WCHAR *w;
    const char *c;
    if (t->task == RYKIT_TASK_GET)
        for (w = t->local; *w; ++w) hash = (hash ^ (DWORD)(ULONG_PTR)CharUpperW((LPWSTR)(ULONG_PTR)*w)) * 16777619u;
    else
        for (c = t->remote; *c; ++c) hash = (hash ^ (BYTE)*c) * 16777619u;
    return hash;
}

/* For each transfer, the last before it that writes the same file, or -1. */
static void RyKit_SameFiles(const RyKitTransfer *t, unsigned count, LONG *after, DWORD *hash)
{
    unsigned i, j;
    for (i = 0; i < count; ++i) {
        after[i] = -1;
        hash[i] = t[i].task == RYKIT_TASK_DELETE ? 0 : RyKit_FileHash(&t[i]);
        for (j = i; j-- > 0 && hash[i];)
            if (hash[j] == hash[i] && t[j].task == t[i].task &&
                (t[i].task == RYKIT_TASK_GET ? lstrcmpiW(t[j].local, t[i].local) == 0
                                             : lstrcmpA(t[j].remote, t[i].remote) == 0)) {
                after[i] = (LONG)j;
                break;
            }
    }
}

/* The transfers the host listed, ready for the lanes: what each writes, what is known of
 * their sizes. 0 when there is nothing to run. */
static int RyKit_Listed(RyKit_Run *run, RyKitTransfer *t, unsigned count)
{
    unsigned i;
    run->t = t;
    run->count = count;
    if (!count) return 0;
    run->order = (unsigned *)HeapAlloc(GetProcessHeap(), 0, count * sizeof *run->order);
    run->after = (LONG *)HeapAlloc(GetProcessHeap(), 0, count * (sizeof *run->after + sizeof(DWORD)));
    if (!run->order || !run->after) return 0;
    RyKit_SameFiles(t, count, run->after, (DWORD *)(run->after + count));
    for (i = 0; i < count; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA f;
        t[i].state = RYKIT_WAITING;
        t[i].outcome = RYKIT_CANCELLED;
        t[i].error = 0;
        t[i].reply[0] = '\0';
        t[i].milliseconds = 0;
        if (t[i].task == RYKIT_TASK_PUT)
            t[i].size = GetFileAttributesExW(t[i].local, GetFileExInfoStandard, &f)
                            ? (LONGLONG)(((ULONGLONG)f.nFileSizeHigh << 32) | f.nFileSizeLow) : -1;
        if (t[i].size > 0) run->total += (ULONGLONG)t[i].size;
    }
    run->began = GetTickCount();
    return 1;
}

/* The host's connection as the first lane, and a thread for each other, which connects at
 * once; returns the threads started, in waits. */
static unsigned RyKit_StartLanes(RyKit_Run *run, const RyKitPool *p, HANDLE *waits)
{
    unsigned i, started = 0;
    run->lane[0].run = run;
    run->lane[0].link = p->link;
    p->link->retrying = RyKit_LaneRetrying;
    p->link->context = &run->lane[0];
    run->connections = 1;
    run->connecting = (LONG)run->lanes - 1; /* less those that do not start */
    for (i = 1; i < run->lanes; ++i) {
        run->lane[i].run = run;
        RyKit_LaneFromHost(&run->lane[i], p->link);
        run->lane[i].thread = CreateThread(NULL, 0, RyKit_LaneRuns, &run->lane[i], 0, NULL);
        if (!run->lane[i].thread) break;
        waits[started++] = run->lane[i].thread;
    }
    InterlockedExchangeAdd(&run->connecting, -(LONG)(run->lanes - 1 - started));
    return started;
}

/* Once every lane has ended: what no connection was left for fails as the connection did,
 * and the host hears the last of the batch. */
static unsigned RyKit_EndRun(RyKit_Run *run)
{
    unsigned i, failed = 0;
    for (i = 0; i < run->count && !run->stop; ++i)
        if (run->t[i].state == RYKIT_WAITING) {
            run->t[i].outcome = RYKIT_NOT_OPENED;
            run->t[i].error = ERROR_INTERNET_CONNECTION_ABORTED;
            lstrcpyA(run->t[i].reply, "no connection is left");
            RyKit_Ended(run, i);
        }
    RyKit_Tell(run, 1);
    for (i = 0; i < run->count; ++i) failed += run->t[i].outcome != RYKIT_RECEIVED;
    return failed;
}

unsigned RyKitPoolRunListed(const RyKitPool *p, RyKitPoolList list, void *listContext)
{
    RyKit_Run run;
    RyKitTransfer *t = NULL;
    unsigned i, count = 0, failed = 0, started = 0;
    HANDLE waits[RYKIT_MOST_PARALLEL + 1];
    int ready, listed, runnable;
    memset(&run, 0, sizeof run);
    run.pool = p;
    run.lanes = p->parallel < 1 ? 1 : p->parallel > RYKIT_MOST_PARALLEL ? RYKIT_MOST_PARALLEL : p->parallel;
    if (!p->link->passive) run.lanes = 1;
    run.lane = (RyKit_Lane *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, run.lanes * sizeof *run.lane);
    run.changed = CreateEventA(NULL, FALSE, FALSE, NULL);
    run.listed = CreateEventA(NULL, TRUE, FALSE, NULL);
    InitializeCriticalSection(&run.lock);
    run.next = 0;
    run.count = ~0u >> 1; /* until the listing says: the lanes connect meanwhile */
    run.retrying = p->link->retrying;
    run.retryingContext = p->link->context;
    ready = run.lane && run.changed && run.listed;
    if (ready) started = RyKit_StartLanes(&run, p, waits);
    listed = list(listContext, &t, &count);
    runnable = ready && listed && RyKit_Listed(&run, t, count);
    if (!runnable) InterlockedExchange(&run.stop, 1);
    if (run.listed) SetEvent(run.listed);
    if (runnable) {
        RyKit_Tell(&run, 0);
        RyKit_LaneWorks(&run.lane[0]);
    }
    /* The host's connection is done; the others' watchdogs watch them (again after each
       callback, where a host may have said it waits for the user no more). */
    waits[started] = run.changed;
    while (started && WaitForMultipleObjects(started, waits, TRUE, 0) == WAIT_TIMEOUT) {
        if (p->link->watchdog) RyKitWatchdogWaitForUser(p->link->watchdog, 1);
        WaitForMultipleObjects(started + 1, waits, FALSE, RYKIT_PROGRESS_MS);
        if (runnable) RyKit_Tell(&run, 0);
    }
    if (p->link->watchdog) RyKitWatchdogWaitForUser(p->link->watchdog, 0);
    for (i = 0; i < started; ++i) CloseHandle(waits[i]);
    p->link->retrying = run.retrying;
    p->link->context = run.retryingContext;
    if (runnable) {
        failed = RyKit_EndRun(&run);
    } else if (listed) { /* the system had no room for the batch */
        for (i = 0; i < count; ++i) t[i].outcome = RYKIT_CANCELLED;
        failed = count;
    }
    DeleteCriticalSection(&run.lock);
    if (run.changed) CloseHandle(run.changed);
    if (run.listed) CloseHandle(run.listed);
    if (run.lane) HeapFree(GetProcessHeap(), 0, run.lane);
    if (run.order) HeapFree(GetProcessHeap(), 0, run.order);
    if (run.after) HeapFree(GetProcessHeap(), 0, run.after);
    return failed;
}

typedef struct RyKit_Given {
    RyKitTransfer *t;
    unsigned count;
} RyKit_Given;

static int RyKit_GiveList(void *context, RyKitTransfer **t, unsigned *count)
{
    RyKit_Given *given = (RyKit_Given *)context;
    *t = given->t;
    *count = given->count;
    return 1;
}

unsigned RyKitPoolRun(const RyKitPool *p, RyKitTransfer *t, unsigned count)
{
    RyKitPool fewer = *p;
    RyKit_Given given;
    given.t = t;
    given.count = count;
    if (!count) return 0;
    if (fewer.parallel > count) fewer.parallel = count; /* no connection without a file for it */
    return RyKitPoolRunListed(&fewer, RyKit_GiveList, &given);
}

#ifdef __cplusplus
}
#endif

#endif
#endif /* the calls */
