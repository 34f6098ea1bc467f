/* The listing reader compiles as C: a C host counts a listing's records. */
#include "ryinet_listing.h"

int CHostCountsRecords(const char *listing)
{
    RyListingEntry e;
    int count = 0;
    while (RyListingNext(&listing, &e) == 1) ++count;
    return count;
}
