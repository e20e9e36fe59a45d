#include "fwShare/machine_params.h"

MachineParamState machine_param_state;

void machine_params_reset()
{
    machine_param_state = MachineParamState{};
}
