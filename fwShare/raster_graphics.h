// Raster graphics: the start of an image (placement of the PCL cursor,
// raster servo settings, the carriage brought to the first pass), one pass
// and one Y step per raster line, and the end of the image.
//
// The Y step of each line comes from a table that spreads the plot-bed
// resolution (3048 units per inch) evenly over the raster lines of an inch.
#pragma once

#include "fwShare/raster_lines.h"

// Starts an image: raster servo settings, placement, pass planning, carriage move.
void HandleStartRasterGraphics();
// Ends an image: the PCL cursor moves down (or up) by its height.
void HandleEndRasterGraphics();
// One raster line: a pass, then the Y step, each run to rest.
void RasterLineOut();
