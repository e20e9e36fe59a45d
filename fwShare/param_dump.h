// Console dump of the machine parameters and job settings.
#pragma once

// Prints every machine parameter and job setting (start-up trace "VemtracDbg").
void dump_machine_params();
