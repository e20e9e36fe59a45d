// Console dump of the machine parameters and job settings.
#pragma once

void dump_machine_params();
