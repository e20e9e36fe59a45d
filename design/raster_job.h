// The writer of a picture's job.
#pragma once

#include <string>

#include "design/design_import.h"
#include "design/read/design_readers.h"

namespace design {

// Writes the raster job of a picture and fills the summary's raster part.
std::string write_raster_job(const Picture& picture, const DesignSettings& settings,
                             DesignSummary* summary);

// The lines per inch the machine steps evenly: the divisors of 3048, and
// 304 and 609.
bool lpi_supported(int lpi);
int nearest_supported_lpi(int lpi);

}  // namespace design
