#pragma once

#include "RayHit.h"

// Discards the 4 shortest and the 4 longest rays of one pass, then gives each
// discarded ray the mirrored offset of its partner (rays 2k and 2k + 1 point
// in opposite directions). Expects hits[r] to be ray r, all set, and leaves
// them so. Equal lengths rank by ray index: lower indices count as shorter.
void TrimExtremeRays(RayHits& hits);
