// Puts every global of the machine back to its power-on value, as a fresh
// process has it. The machine start-up still has to run afterwards.
#pragma once

void reset_machine_globals();
