/* The host kit's box watch, an object of its own: it imports nothing of WININET. */
#define RYKIT_IMPLEMENTATION_BOXES
#include "ryinet_kit.h"
