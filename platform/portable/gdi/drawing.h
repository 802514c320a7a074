// Drawing on surfaces: the colours brushes and pens resolve to, fills, polygons, block transfers.
#pragma once

// Lets go of the scratch the rasterizer keeps between calls (ResetGdi).
void ResetDrawing();
