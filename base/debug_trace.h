// Debug categories and trace lines.
//
// Every optional diagnostic line belongs to one of 75 named categories; a
// category n is enabled when bit n mod 32 of dbg_flags[n / 32] is set. A
// gated line goes to standard output behind the prefix "T00000 ".
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define VEMTRAC_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define VEMTRAC_PRINTF(fmt_index, first_arg)
#endif

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
extern DebugTraceState debug_trace_state;
inline constinit std::uint32_t (&dbg_flags)[3] = debug_trace_state.dbg_flags;

// Puts the category words back to their built-in values.
void debug_trace_reset();

// Category names in number order.
extern const char* const dbg_category_names[DBG_CATEGORY_COUNT];

// True when the category's bit is set.
inline bool dbg_enabled(int category)
{
    return (dbg_flags[category / 32] >> (category % 32)) & 1u;
}

// Switches a category on or off.
void dbg_set(int category, bool on);

// Looks a category up by its exact name; -1 when there is none.
int dbg_category_by_name(const char* name);

// Enables the categories named in a comma-separated list (extra blanks
// around names are ignored). Unknown names are reported on standard error.
// Returns the number of unknown names.
int dbg_enable_list(const char* list);

// Writes the trace prefix and the formatted line when the category is on.
void dbg_trace(int category, const char* fmt, ...) VEMTRAC_PRINTF(2, 3);

// The same for a line that either of two categories enables.
void dbg_trace2(int category1, int category2, const char* fmt, ...) VEMTRAC_PRINTF(3, 4);

// A gated line without the prefix (the indented call lines).
void dbg_line(int category, const char* fmt, ...) VEMTRAC_PRINTF(2, 3);

// The prefix alone, for lines that are assembled in several pieces.
void dbg_prefix();
