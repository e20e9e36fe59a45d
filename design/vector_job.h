// A vector design's job: pens for its colours or layers, speed codes for
// the pens' speeds, the placement on the table, the cutting order and the
// pen-up and pen-down entries.
#pragma once

#include <cstdint>
#include <string>

#include "design/read/design_geometry.h"
#include "design/design_import.h"

namespace design {

// The speed code nearest to a speed in mm/s when the machine's top Y speed
// stands at max_y (plot-bed units per second); *max_y becomes the top speed
// the code leaves in force.
int speed_code_for(double mm_s, std::int32_t* max_y);

// The pen-down speed in mm/s a code gives, with *max_y as for speed_code_for.
double speed_of_code(int code, std::int32_t* max_y);

// Writes the job of a vector design and fills the summary's vector part.
// Fails (ImportFailure) for a design that does not fit the table.
std::string write_vector_job(const VectorDesign& design, const DesignSettings& settings,
                             DesignSummary* summary);

}  // namespace design
