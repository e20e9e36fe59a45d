#include "bench_machine.h"

#include "base/console.h"
#include "fwShare/machine_params.h"
#include "fwShare/servo/servo_gains.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/start_up.h"
#include "fwShare/vector_cutting.h"

void bench_start_machine()
{
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    {
        // The start-up's console lines are of no interest here.
        const ConsoleScope quiet(console_quiet_sink());
        InitHardwareScaleFactor();
        // Pen 1 at the default speed code, as a vector job starts.
        ptCurrentFile->VectorCurrentPen = 1;
        HandleStartVectorCutting();
    }
    pipeflag = 1;
}
