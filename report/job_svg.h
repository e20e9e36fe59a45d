// The job drawn as the head moves it, to scale on the table (seen from
// above, the plot-bed origin at the lower left): pen-down cuts in the
// colour of their pen, pen-up travel thin and dashed, each raster image as
// the band its passes sweep, and beside it a bar of where the time goes
// per activity, in the same colours, with h:mm:ss.
#pragma once

#include <string>

#include "report/job_report.h"

// The picture as an SVG document.
std::string job_svg(const JobReport& report);
