/*
 * ryinet_kit_text.h - the host kit's readers of text that comes from elsewhere: the
 * phonebook's names, a server's replies, the end of a result text. They need nothing of
 * Windows and build on any platform (the fuzz targets build them natively). C and C++;
 * ryinet_kit.h includes this header.
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

#ifdef __cplusplus
}
#endif

#endif /* RYINET_KIT_TEXT_H */
