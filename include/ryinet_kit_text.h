/*
 * ryinet_kit_text.h - the host kit's readers of text that comes from elsewhere: the
 * phonebook's names, a server's replies and names, the end of a result text. They need
 * nothing of Windows and build on any platform (the fuzz targets build them natively). C
 * and C++; ryinet_kit.h includes this header.
 */
#ifndef RYINET_KIT_TEXT_H
#define RYINET_KIT_TEXT_H

#include <stddef.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define RYKIT_INLINE static inline
#else
#define RYKIT_INLINE static __inline
#endif

/* 1 when text holds a terminator within its first bytes. */
RYKIT_INLINE int RyKitTextEnds(const char *text, size_t bytes)
{
    return memchr(text, '\0', bytes) != NULL;
}

/* Reads the next name of RyRasEnumE's text ("Office;Home;") at *cursor into *name and
 * *length (the name is not terminated) and moves past it. 1 for a name, 0 at the end. */
RYKIT_INLINE int RyKitNextName(const char **cursor, const char **name, size_t *length)
{
    const char *p = *cursor;
    if (*p == '\0') return 0;
    *name = p;
    while (*p && *p != ';') ++p;
    *length = (size_t)(p - *name);
    *cursor = *p ? p + 1 : p;
    return 1;
}

/* The code of the final reply in a server's reply text: the last line that reads three
 * digits and then a blank or its end ("226 Transfer complete"), so a multi-line reply
 * counts by its closing line. 0 when no line does. */
RYKIT_INLINE int RyKitReplyCode(const char *reply)
{
    int code = 0;
    const char *line = reply;
    while (*line) {
        if (line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9' && line[2] >= '0' &&
            line[2] <= '9' && (line[3] == ' ' || line[3] == '\0' || line[3] == '\r' || line[3] == '\n'))
            code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        while (*line && *line != '\n') ++line;
        if (*line) ++line;
    }
    return code;
}

/* The size in a SIZE answer ("213 1156"), or -1 for any other reply. At most 18 digits
 * are read, so the size cannot overflow. */
RYKIT_INLINE long long RyKitSizeFromReply(const char *reply)
{
    long long size = 0;
    const char *p;
    if (strncmp(reply, "213 ", 4) != 0) return -1;
    for (p = reply + 4; *p >= '0' && *p <= '9' && p < reply + 22; ++p) size = size * 10 + (*p - '0');
    return p == reply + 4 ? -1 : size;
}

/* The size a server's reply to RETR announces, as vsftpd, ProFTPD and wu-ftpd write it:
 * "150 Opening BINARY mode data connection for f (1156 bytes).", or -1 when the reply
 * says none. The count closes the line, after the name, so only "(N bytes)" at its end
 * (a dot may follow) is read; at most 18 digits. */
RYKIT_INLINE long long RyKitSizeFromOpening(const char *reply)
{
    const char *end = reply + strlen(reply), *digits;
    long long size = 0;
    if (strncmp(reply, "150 ", 4) != 0 && strncmp(reply, "125 ", 4) != 0) return -1;
    while (end > reply + 4 && (end[-1] == '\r' || end[-1] == '\n' || end[-1] == ' ')) --end;
    if (end > reply + 4 && end[-1] == '.') --end;
    if (end - reply < 4 + 9 || strncmp(end - 7, " bytes)", 7) != 0) return -1;
    end -= 7;
    for (digits = end; digits > reply + 4 && digits[-1] >= '0' && digits[-1] <= '9'; --digits) {}
    if (digits == end || end - digits > 18 || digits[-1] != '(') return -1;
    for (; digits < end; ++digits) size = size * 10 + (*digits - '0');
    return size;
}

/* ---- Names in UTF-8 -------------------------------------------------------------------- */
/* Nearly every server today sends its names in UTF-8, and a host shows and stores them in
 * UTF-16. A server's name must also come back byte for byte when the host names that file
 * to it again, valid UTF-8 or not, so a byte that begins no valid sequence (a stray
 * continuation byte, an overlong or surrogate form, a cut sequence) is decoded to
 * U+DC80-U+DCFF, the byte's value plus 0xDC00: no valid text holds those units alone, and
 * encoding gives the byte back. UTF-16 units are unsigned short here (WCHAR on Windows). */

/* The bytes of the valid UTF-8 sequence at p (1 to 4), or 0 when none begins there. */
RYKIT_INLINE size_t RyKitUtf8Sequence(const char *p, size_t left)
{
    const unsigned char *b = (const unsigned char *)p;
    size_t n, i;
    unsigned long c;
    if (left == 0) return 0;
    if (b[0] < 0x80) return 1;
    if (b[0] >= 0xC2 && b[0] <= 0xDF) n = 2, c = b[0] & 0x1F;
    else if (b[0] >= 0xE0 && b[0] <= 0xEF) n = 3, c = b[0] & 0x0F;
    else if (b[0] >= 0xF0 && b[0] <= 0xF4) n = 4, c = b[0] & 0x07;
    else return 0;
    if (left < n) return 0;
    for (i = 1; i < n; ++i) {
        if ((b[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b[i] & 0x3F);
    }
    if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

/* 1 when all length bytes are valid UTF-8. */
RYKIT_INLINE int RyKitIsUtf8(const char *text, size_t length)
{
    size_t at = 0, n;
    while (at < length) {
        if ((n = RyKitUtf8Sequence(text + at, length - at)) == 0) return 0;
        at += n;
    }
    return 1;
}

/* Decodes length bytes into out, which has room for length units; returns the units
 * written (not terminated). */
RYKIT_INLINE size_t RyKitUtf8ToUtf16(const char *text, size_t length, unsigned short *out)
{
    const unsigned char *b = (const unsigned char *)text;
    size_t at = 0, units = 0, n, i;
    while (at < length) {
        unsigned long c;
        n = RyKitUtf8Sequence(text + at, length - at);
        if (n == 0) {
            out[units++] = (unsigned short)(0xDC00 + b[at++]);
            continue;
        }
        c = n == 1 ? b[at] : b[at] & (0x7F >> n);
        for (i = 1; i < n; ++i) c = (c << 6) | (b[at + i] & 0x3F);
        at += n;
        if (c >= 0x10000) {
            out[units++] = (unsigned short)(0xD800 + ((c - 0x10000) >> 10));
            out[units++] = (unsigned short)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[units++] = (unsigned short)c;
        }
    }
    return units;
}

/* Encodes count units into out, which has room for 3 bytes a unit; returns the bytes
 * written (not terminated). U+DC80-U+DCFF alone give their byte back; any other unpaired
 * surrogate becomes U+FFFD. */
RYKIT_INLINE size_t RyKitUtf16ToUtf8(const unsigned short *units, size_t count, char *out)
{
    unsigned char *o = (unsigned char *)out;
    size_t at = 0, bytes = 0;
    while (at < count) {
        unsigned long c = units[at++];
        if (c >= 0xD800 && c <= 0xDBFF && at < count && units[at] >= 0xDC00 && units[at] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[at++] - 0xDC00);
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            o[bytes++] = (unsigned char)(c - 0xDC00);
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            o[bytes++] = (unsigned char)c;
        } else if (c < 0x800) {
            o[bytes++] = (unsigned char)(0xC0 | (c >> 6));
            o[bytes++] = (unsigned char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            o[bytes++] = (unsigned char)(0xE0 | (c >> 12));
            o[bytes++] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            o[bytes++] = (unsigned char)(0x80 | (c & 0x3F));
        } else {
            o[bytes++] = (unsigned char)(0xF0 | (c >> 18));
            o[bytes++] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
            o[bytes++] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            o[bytes++] = (unsigned char)(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

#ifdef __cplusplus
}
#endif

#endif /* RYINET_KIT_TEXT_H */
