#pragma once

#include "morvel_host/host.h"

// Rectangles are half-open: right and bottom lie outside.
bool IsEmptyRect(const PF_LRect* r);
// dst becomes the smallest rectangle holding both; an empty dst takes src as it is, and an empty
// src leaves a non-empty dst alone.
void UnionLRect(const PF_LRect* src, PF_LRect* dst);
// On the outline, with the right and bottom lines counted as part of it.
bool IsEdgePixel(PF_LRect* r, int x, int y);
