// Debug categories and trace lines.
//
// Every optional diagnostic line belongs to one of 75 named categories; a
// category n is enabled when bit n mod 32 of dbg_flags[n / 32] is set. A
// gated line goes to the machine's console (base/console.h) behind the
// prefix "T00000 ".
#pragma once

#include <cstdint>

#include "base/console.h"

enum DbgCategory : int {
    DBG_Always, DBG_Fatal, DBG_Error, DBG_Warning, DBG_Event, DBG_Process, DBG_Detail,
    DBG_UsbHwTx, DBG_SocketIO, DBG_Echo, DBG_Lwip, DBG_LwipL2, DBG_LwipL3, DBG_PrnBlkIo,
    DBG_PortCmd, DBG_PortCmdIO, DBG_ModBus, DBG_ModBusIO, DBG_PcBoot, DBG_PcBootIO,
    DBG_Broadcast, DBG_SvoMove, DBG_AccDist, DBG_MfsJobEvent, DBG_MfsJobDetail,
    DBG_MfsJobQueProc, DBG_MfsJobCrcChk, DBG_MfsErrBlocked, DBG_MfsCmd, DBG_MfsVar,
    DBG_MfsECatIo, DBG_DirNavi, DBG_RasterProc, DBG_DbgRasterCrc, DBG_DbgRasterBlk,
    DBG_JobProc, DBG_PbdFun, DBG_SendVdb, DBG_CommGenCrc, DBG_CommTrace, DBG_CommBufSem,
    DBG_CommBufMonitor, DBG_HostPan, DBG_HPanReq, DBG_AckReq, DBG_UsbDbgPkt,
    DBG_RPiFileIoL1, DBG_RPiFileIoL2, DBG_RPiFileIoL3, DBG_RPiFileIoSem, DBG_PhotoCapture,
    DBG_EnCapture, DBG_EnDelayCapture, DBG_SimuPktLost, DBG_SimuKey, DBG_ShowPclCmdErr,
    DBG_ShowHpglCmdErr, DBG_VemtracDbg, DBG_ShowVdbVect, DBG_DeltaMove, DBG_RasterMove,
    DBG_PenSel, DBG_SvoSpeed, DBG_CarriagePos, DBG_AngleSmooth, DBG_SvoIsr, DBG_ShowPrnCmd,
    DBG_SvoVdbCmd, DBG_ShowJobTime, DBG_CmpLogMode, DBG_Temp1, DBG_Temp2, DBG_Temp3,
    DBG_TempOff, DBG_TempOn,
    DBG_CATEGORY_COUNT
};

// The category words; the built-in values enable categories 0..4 only
// ("Always" .. "Event"), and none of those gates a line.
struct DebugTraceState {
    std::uint32_t dbg_flags[3] = {0x0000001Fu, 0u, 0u};
};

// Category names in number order.
extern const char* const dbg_category_names[DBG_CATEGORY_COUNT];

// Looks a category up by its exact name; -1 when there is none.
int dbg_category_by_name(const char* name);

// The trace categories of one machine, and its trace lines, which go to
// its console.
struct DebugTrace : Console, DebugTraceState {
    // Puts the category words back to their built-in values.
    void debug_trace_reset() { static_cast<DebugTraceState&>(*this) = DebugTraceState{}; }

    // True when the category's bit is set.
    bool dbg_enabled(int category) const
    {
        return (dbg_flags[category / 32] >> (category % 32)) & 1u;
    }

    // Switches a category on or off.
    void dbg_set(int category, bool on);

    // Enables the categories named in a comma-separated list (extra blanks
    // around names are ignored). Unknown names are reported as diagnostics.
    // Returns the number of unknown names.
    int dbg_enable_list(const char* list);

    // Writes the trace prefix and the formatted line (whatever the categories).
    void dbg_trace_line(const char* fmt, ...) VEMTRAC_PRINTF(2, 3);
    // Writes the formatted line without the prefix.
    void dbg_plain_line(const char* fmt, ...) VEMTRAC_PRINTF(2, 3);

    // The prefix alone, for lines that are assembled in several pieces.
    void dbg_prefix();
};

// The gated lines. The category is tested in line, before the arguments
// are evaluated, so that a switched-off line costs one bit test: the
// planner's corner pass passes several lines per record it looks back on.
//
// dbg_trace(category, fmt, ...): the prefix and the line when the category is on.
#define dbg_trace(category, ...) (dbg_enabled(category) ? dbg_trace_line(__VA_ARGS__) : void())
// dbg_trace2(category1, category2, fmt, ...): the same when either category is on.
#define dbg_trace2(category1, category2, ...)                                              \
    (dbg_enabled(category1) || dbg_enabled(category2) ? dbg_trace_line(__VA_ARGS__) : void())
// dbg_line(category, fmt, ...): a gated line without the prefix (the indented call lines).
#define dbg_line(category, ...) (dbg_enabled(category) ? dbg_plain_line(__VA_ARGS__) : void())
