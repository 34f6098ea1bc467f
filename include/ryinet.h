/*
 * ryinet.h - RYINET.DLL: dial-up networking, an FTP client and connectivity facts
 * as flat stdcall exports for Windows GUI hosts.
 *
 * Conventions
 *  - Every function is WINAPI (stdcall), exported undecorated at a fixed ordinal.
 *  - Handles are opaque 32-bit values; 0 means none or failure. Session, connection,
 *    listing and file handles belong to the host and are closed with RyINetClose:
 *    file handles, then connections, then the session.
 *  - These handles stay valid only while WININET.DLL stays loaded in the host process.
 *    RYINET loads it only for the length of each call, so a host that keeps handles
 *    also keeps its own reference (LoadLibrary("wininet.dll")).
 *  - Text is zero-terminated ANSI. Result buffers are owned and sized by the host;
 *    their size is never passed, so size them as each function states.
 *  - hwndOwner owns the information boxes a call shows on failure; 0 gives boxes
 *    without owner. A box blocks the calling thread until dismissed.
 */
#ifndef RYINET_H
#define RYINET_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Buffer sizes, in bytes. RYINET never learns a buffer's size, so a host sizes each one
 * from these: a list needs its per-entry size times the most entries expected, plus one. */
#define RYINET_LISTING_ENTRY_BYTES   290  /* RyFtpDir: one listing record at most */
#define RYINET_PHONEBOOK_ENTRY_BYTES 257  /* RyRasEnumE: one entry name and its ';' */
#define RYINET_CREDENTIAL_BYTES      257  /* RdlParms: the user name, and the password */
#define RYINET_CURDIR_BYTES          260  /* RyFtpCurDir: the remote directory */
#define RYINET_ADDRESS_BYTES         16   /* RyGetIp: a dotted IPv4 address */
#define RYINET_LISTING_BYTES(entries)   ((entries) * RYINET_LISTING_ENTRY_BYTES + 1)
#define RYINET_PHONEBOOK_BYTES(entries) ((entries) * RYINET_PHONEBOOK_ENTRY_BYTES + 1)

/* Loader entry (ordinal 1). Hosts never call it. */
BOOL WINAPI DllEntryPoint(HINSTANCE hinst, DWORD reason, LPVOID reserved);

/* ---- Dial-up networking (default phonebook) ---------------------------------- */

/* Stored user name and password of an entry. Each buffer must hold 257 bytes. The
 * password buffer is written only when a password is stored. Unknown entries, and
 * names longer than 256 characters, leave both buffers untouched. Returns 0. */
LONG WINAPI RdlParms(LPCSTR entry, LPSTR userName, LPSTR password);

/* Dials an entry synchronously. Returns the connection handle (HRASCONN), or 0 when
 * the dial failed (a failed dial is hung up before returning). Texts are limited to
 * 256 characters; longer ones dial nothing. hwndIgnored is not used. */
DWORD WINAPI RyRasDial(HWND hwndIgnored, LPCSTR entry, LPCSTR userName, LPCSTR password);

/* Writes the phonebook's entry names as "Office;Home;" ("" when there are none).
 * The buffer must hold 257 bytes per entry plus one. Returns 0. */
LONG WINAPI RyRasEnumE(DWORD ignored, LPSTR names);

/* ---- Connectivity ------------------------------------------------------------ */

/* 1 when the system reports an internet connection, otherwise 0. */
LONG WINAPI RyINetConn(void);

/* Writes the local machine's IPv4 address as dotted text (buffer of 16 bytes); with
 * several addresses the last one the lookup lists. Returns 0, or -1 on failure with
 * the buffer untouched. hostName is not used and may be NULL. */
LONG WINAPI RyGetIp(LPSTR address, LPCSTR hostName);

/* ---- FTP client -------------------------------------------------------------- */

/* Opens an internet session (agent "RY", direct access). Returns it, or 0. */
DWORD WINAPI RyINetOpen(HWND hwndOwner);

/* Closes any handle RYINET returned: file, listing, connection or session. Returns 0. */
LONG WINAPI RyINetClose(DWORD handle, HWND hwndOwner);

/* Connects a session to an FTP server on port 21 (active mode). Returns the
 * connection handle, or 0 after the box "Could not connect to site.". */
DWORD WINAPI RyFtpConnect(DWORD session, DWORD ignored, HWND hwndOwner,
                          LPCSTR server, LPCSTR userName, LPCSTR password);

/* Lists the entries matching pattern (a name, wildcard or path; NULL lists the current
 * directory) as records "name;MM/DD/YYYY  hh:mm;size|". A directory's name is written
 * " [ name ] " and its size "<DIR>"; a file's size is the low 32 bits as signed decimal.
 * Allow 290 bytes per entry plus one. Returns 0 when the listing was opened, else 1. */
LONG WINAPI RyFtpDir(DWORD connection, HWND hwndOwner, LPCSTR pattern,
                     DWORD ignored, LPSTR listing);

/* Sets the remote current directory; a refusal is not reported. Returns 0. */
LONG WINAPI RyFSetDir(DWORD connection, DWORD ignored, LPCSTR directory);

/* Writes the remote current directory (buffer of 260 bytes). Returns 0. */
LONG WINAPI RyFtpCurDir(DWORD connection, HWND hwndOwner, LPSTR directory);

/* Remote file and directory operations; a refusal shows a box. Each returns 0. */
LONG WINAPI RyFDelFile(DWORD connection, HWND hwndOwner, LPCSTR fileName);
LONG WINAPI RyFRenFile(DWORD connection, HWND hwndOwner, LPCSTR existingName, LPCSTR newName);
LONG WINAPI RyFtpMd(DWORD connection, HWND hwndOwner, LPCSTR directory);
LONG WINAPI RyFtpRd(DWORD connection, HWND hwndOwner, LPCSTR directory);

/* Opens a remote file for binary reading. Note the owner window comes first. Returns
 * the file handle, or 0. Read it with WININET's InternetReadFile and close it with
 * RyINetClose before closing the connection. */
DWORD WINAPI RyFtpOpenFile(HWND hwndOwner, DWORD connection, LPCSTR fileName);

#ifdef __cplusplus
}
#endif

#endif /* RYINET_H */
