/* The host kit's calls around RYINET.dll and WININET (all but the box watch). */
#define RYKIT_IMPLEMENTATION_CALLS
#include "ryinet_kit.h"
