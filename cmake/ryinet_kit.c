/* The host kit's implementation, compiled once into the program that links RYINET::kit. */
#define RYKIT_IMPLEMENTATION
#include "ryinet_kit.h"
