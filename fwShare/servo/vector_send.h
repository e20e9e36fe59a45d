// The main thread's side of the vector queue: handing out a free record
// (waiting for the interrupt to free it when the ring is full), committing
// it, and the records of the simple commands.
#pragma once

#include <cstdint>

#include "fwShare/servo/vector_queue.h"

// Hands out the record at freeptr, waiting while the interrupt still uses
// it. Returns null only when that record can never become free (the job
// then ends).
VdbData* getfreevdb();
// Commits a record; starts an idle interrupt on it while the servo is on line.
void sendvdb(VdbData* rec);
// Queues a pen-up record: the following moves use the pen-up profile.
void srvo_on_pu();
// Queues a pen-down record: the following moves use the pen-down profile.
void srvo_on_pd();
// Queues a move-kind record: the following moves use the profile of kind.
void srvo_on_raster_move(std::int32_t kind);

