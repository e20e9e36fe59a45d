#include "base/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/shown_text.h"

const char* const dbg_category_names[] = {
    "Always", "Fatal", "Error", "Warning", "Event", "Process", "Detail", "UsbHwTx",
    "SocketIO", "Echo", "Lwip", "LwipL2", "LwipL3", "PrnBlkIo", "PortCmd", "PortCmdIO",
    "ModBus", "ModBusIO", "PcBoot", "PcBootIO", "Broadcast", "SvoMove", "AccDist",
    "MfsJobEvent", "MfsJobDetail", "MfsJobQueProc", "MfsJobCrcChk", "MfsErrBlocked",
    "MfsCmd", "MfsVar", "MfsECatIo", "DirNavi", "RasterProc", "DbgRasterCrc",
    "DbgRasterBlk", "JobProc", "PbdFun", "SendVdb", "CommGenCrc", "CommTrace",
    "CommBufSem", "CommBufMonitor", "HostPan", "HPanReq", "AckReq", "UsbDbgPkt",
    "RPiFileIoL1", "RPiFileIoL2", "RPiFileIoL3", "RPiFileIoSem", "PhotoCapture",
    "EnCapture", "EnDelayCapture", "SimuPktLost", "SimuKey", "ShowPclCmdErr",
    "ShowHpglCmdErr", "VemtracDbg", "ShowVdbVect", "DeltaMove", "RasterMove", "PenSel",
    "SvoSpeed", "CarriagePos", "AngleSmooth", "SvoIsr", "ShowPrnCmd", "SvoVdbCmd",
    "ShowJobTime", "CmpLogMode", "Temp1", "Temp2", "Temp3", "TempOff", "TempOn",
};

void DebugTrace::dbg_set(int category, bool on)
{
    std::uint32_t bit = 1u << (category % 32);
    if (on) {
        dbg_flags[category / 32] |= bit;
    } else {
        dbg_flags[category / 32] &= ~bit;
    }
}

int dbg_category_by_name(const char* name)
{
    for (int i = 0; i < DBG_CATEGORY_COUNT; ++i) {
        if (std::strcmp(dbg_category_names[i], name) == 0) {
            return i;
        }
    }
    return -1;
}

namespace {

// Every category name, for the message about one that is not known.
std::string category_list()
{
    std::string list;
    for (int i = 0; i < DBG_CATEGORY_COUNT; ++i) {
        list += (i % 10 == 0 ? "\n  " : " ") + std::string(dbg_category_names[i]);
    }
    return list;
}

} // namespace

int DebugTrace::dbg_enable_list(const char* list)
{
    int unknown = 0;
    const char* p = list;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        const char* start = p;
        while (*p != '\0' && *p != ',') {
            ++p;
        }
        const char* end = p;
        while (end > start && (end[-1] == ' ' || end[-1] == '\t')) {
            --end;
        }
        if (*p == ',') {
            ++p;
        }
        std::size_t len = static_cast<std::size_t>(end - start);
        if (len == 0) {
            continue;
        }
        char name[64];
        int category = -1;
        if (len < sizeof name) {
            std::memcpy(name, start, len);
            name[len] = '\0';
            category = dbg_category_by_name(name);
        }
        if (category < 0) {
            diag_printf("vemtrac: unknown debug category \"%s\"; the categories are:%s\n",
                        shown::text(std::string_view(start, len)).c_str(),
                        category_list().c_str());
            ++unknown;
        } else {
            dbg_set(category, true);
        }
    }
    return unknown;
}

// The trace prefix, written with the format "%s " of the machine's trace calls.
constexpr const char* dbg_prefix_text = "T00000 ";

void DebugTrace::dbg_prefix()
{
    console_write(ConsoleStream::console, dbg_prefix_text, std::strlen(dbg_prefix_text));
}

void DebugTrace::dbg_trace_line(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    console_prefixed_vprintf(dbg_prefix_text, fmt, args);
    va_end(args);
}

void DebugTrace::dbg_plain_line(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    console_vprintf(fmt, args);
    va_end(args);
}
