/* c_listing FILE: the records ryinet_listing.h reads in a listing text, in the form
 * check_bindings.py compares every binding's listing reader with. */
#include <stdio.h>
#include "ryinet_listing.h"

int main(int argc, char **argv)
{
    static char text[1 << 16];
    const char *cursor = text;
    RyListingEntry e;
    int got;
    FILE *f = argc > 1 ? fopen(argv[1], "rb") : NULL;
    if (!f) return 2;
    text[fread(text, 1, sizeof text - 1, f)] = '\0';
    fclose(f);
    while ((got = RyListingNext(&cursor, &e)) == 1)
        printf("record %.*s|%d|%u|%u|%u|%u|%u|%lu\n", (int)e.nameLength, e.name, e.isDirectory,
               e.month, e.day, e.year, e.hour, e.minute, e.size);
    printf("whole %d\n", got == 0);
    return 0;
}
