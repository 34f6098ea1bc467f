/*
 * ryinet_listing.h - reads the listing text that RyFtpDir writes, record by record.
 * Header only, C and C++, no library code: include it in any host.
 *
 * A listing is records "name;MM/DD/YYYY  hh:mm;size|" one after another. A directory's
 * name is written " [ name ] " and its size "<DIR>"; a file's size is the low 32 bits of
 * its size as a signed decimal number. Names are not escaped, so splitting the text at
 * ';' and '|' breaks on real names such as "notes;v2.txt" or "a|b". This reader anchors
 * each record on its end instead: the record ends at the first place after its start
 * that reads ";" date ";" size "|" with a well-formed date and size, and where a "<DIR>"
 * size follows a name in " [ ] ".
 *
 * The one ambiguity left: a name that itself contains such an ending (for example a
 * file named "x;01/02/2003  04:05;6|y") reads as two records, "x" and "y". The text
 * carries nothing that tells the two apart.
 *
 *     const char *cursor = listing;
 *     RyListingEntry e;
 *     while (RyListingNext(&cursor, &e) == 1)
 *         printf("%.*s %s %lu\n", (int)e.nameLength, e.name,
 *                e.isDirectory ? "<DIR>" : "", e.size);
 *
 * The entry points into the listing text (name is not zero-terminated), so the text
 * must outlive the entries read from it.
 */
#ifndef RYINET_LISTING_H
#define RYINET_LISTING_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define RYLISTING_INLINE static inline
#else
#define RYLISTING_INLINE static __inline
#endif

typedef struct RyListingEntry {
    const char *name;      /* the entry's name, without the " [ ] " of a directory */
    unsigned nameLength;
    int isDirectory;
    unsigned month, day, year, hour, minute; /* all 0 for a time outside the calendar */
    unsigned long size;    /* low 32 bits of the size; 0 for a directory */
} RyListingEntry;

/* Reads count digits at p into *value; 1 when they are all digits. */
RYLISTING_INLINE int RyListing_Digits(const char *p, int count, unsigned *value)
{
    unsigned v = 0;
    int i;
    for (i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        v = v * 10 + (unsigned)(p[i] - '0');
    }
    *value = v;
    return 1;
}

/* Matches ";MM/DD/YYYY  hh:mm;size|" at p (p points at the first ';'). Returns the
 * length of the match, or 0. The year has 4 or 5 digits; the size is "<DIR>" or an
 * optional minus and 1 to 10 digits. */
RYLISTING_INLINE unsigned RyListing_Ending(const char *p, RyListingEntry *e, int *directory)
{
    const char *q = p;
    int yearDigits = 0;
    if (*q++ != ';') return 0;
    if (!RyListing_Digits(q, 2, &e->month) || q[2] != '/') return 0;
    q += 3;
    if (!RyListing_Digits(q, 2, &e->day) || q[2] != '/') return 0;
    q += 3;
    while (yearDigits < 6 && q[yearDigits] >= '0' && q[yearDigits] <= '9') ++yearDigits;
    if (yearDigits < 4 || yearDigits > 5) return 0;
    RyListing_Digits(q, yearDigits, &e->year);
    q += yearDigits;
    if (q[0] != ' ' || q[1] != ' ') return 0;
    q += 2;
    if (!RyListing_Digits(q, 2, &e->hour) || q[2] != ':') return 0;
    q += 3;
    if (!RyListing_Digits(q, 2, &e->minute) || q[2] != ';') return 0;
    q += 3;
    if (q[0] == '<' && q[1] == 'D' && q[2] == 'I' && q[3] == 'R' && q[4] == '>') {
        *directory = 1;
        e->size = 0;
        q += 5;
    } else {
        int negative = 0, digits = 0;
        unsigned long size = 0;
        if (*q == '-') { negative = 1; ++q; }
        while (digits < 11 && q[digits] >= '0' && q[digits] <= '9')
            size = size * 10 + (unsigned long)(q[digits++] - '0');
        if (digits == 0 || digits > 10) return 0;
        q += digits;
        /* "%d" of the low 32 bits: a negative text is the same bits read as unsigned. */
        e->size = negative ? (unsigned long)(0UL - size) & 0xFFFFFFFFUL : size & 0xFFFFFFFFUL;
        *directory = 0;
    }
    if (*q != '|') return 0;
    return (unsigned)(q + 1 - p);
}

/* Reads the record at *cursor into *entry and moves *cursor past it. Returns 1 for a
 * record, 0 at the end of the text, -1 when the rest of the text is not a record
 * (then *cursor is left where it was). */
RYLISTING_INLINE int RyListingNext(const char **cursor, RyListingEntry *entry)
{
    const char *start = *cursor, *p;
    if (*start == '\0') return 0;
    for (p = start; *p; ++p) {
        unsigned nameLength = (unsigned)(p - start), length;
        int directory = 0;
        if (*p != ';') continue;
        length = RyListing_Ending(p, entry, &directory);
        if (length == 0) continue;
        if (directory) {
            /* A directory's name field is " [ name ] "; "<DIR>" after any other name is
             * part of a longer name. */
            if (nameLength < 6 || start[0] != ' ' || start[1] != '[' || start[2] != ' ' ||
                p[-3] != ' ' || p[-2] != ']' || p[-1] != ' ')
                continue;
            entry->name = start + 3;
            entry->nameLength = nameLength - 6;
        } else {
            entry->name = start;
            entry->nameLength = nameLength;
        }
        entry->isDirectory = directory;
        *cursor = p + length;
        return 1;
    }
    return -1;
}

#ifdef __cplusplus
}
#endif

#endif /* RYINET_LISTING_H */
