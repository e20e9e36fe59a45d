#include "bench_machine.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "fwShare/machine_params.h"
#include "fwShare/servo/servo_gains.h"
#include "fwShare/start_up.h"
#include "fwShare/servo/vector_queue.h"
#include "fwShare/vector_cutting.h"

void bench_start_machine()
{
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    std::fflush(stdout);
    const int saved = dup(1);
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    InitHardwareScaleFactor();
    // Pen 1 at the default speed code, as a vector job starts.
    ptCurrentFile->VectorCurrentPen = 1;
    HandleStartVectorCutting();
    std::fflush(stdout);
    dup2(saved, 1);
    close(devnull);
    close(saved);
    pipeflag = 1;
}
