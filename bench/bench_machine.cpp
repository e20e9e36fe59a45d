#include "bench_machine.h"

#include "base/console.h"

void BenchMachine::start()
{
    if (started) {
        return;
    }
    started = true;
    {
        // The start-up's console lines are of no interest here.
        const ConsoleScope quiet(*this, console_quiet_sink());
        InitHardwareScaleFactor();
        // Pen 1 at the default speed code, as a vector job starts.
        ptCurrentFile->VectorCurrentPen = 1;
        HandleStartVectorCutting();
    }
    pipeflag = 1;
}
