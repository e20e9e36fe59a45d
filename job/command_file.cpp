#include "job/command_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>
#include <system_error>

#include "base/shown_text.h"
#include "base/wrap_math.h"
#include "job/job_machine.h"
#include "job/status_file.h"

// A move in HPGL units, scaled to plot-bed units; a zero move only changes
// the pen.
void JobMachine::hpgl_move(std::int32_t dx, std::int32_t dy)
{
    if (dx != 0 || dy != 0) {
        srvo_on_ve(wrap_mul(dx, hpgl_to_pbd_x), wrap_mul(dy, hpgl_to_pbd_y));
    }
}

// "pd_default": lowers the pen unless this interpreter lowered it last.
[[gnu::always_inline]] inline void JobMachine::pen_down_move(std::int32_t dx, std::int32_t dy)
{
    if (cmd_pen_down != 1) {
        pendnout();
        cmd_pen_down = 1;
    }
    hpgl_move(dx, dy);
}

// "pu_default": raises the pen unless this interpreter raised it last.
[[gnu::always_inline]] inline void JobMachine::pen_up_move(std::int32_t dx, std::int32_t dy)
{
    if (cmd_pen_down != 0) {
        penupout();
        cmd_pen_down = 0;
    }
    hpgl_move(dx, dy);
}

void JobMachine::to_pcl_mode(std::int32_t)
{
    if (lsr_lang_mode == 1) {
        HandleHpglToPclPosition();
        lsr_lang_mode = 2;
    }
}

namespace {

// The keywords' routines run on the machine the job runs on.
struct OneIntKeyword {
    std::string_view keyword;
    void (*run)(JobMachine& m, std::int32_t n);
    bool sets_value = false;  // stores its integer in a setting, nothing more
};

struct TwoIntKeyword {
    std::string_view keyword;
    void (*run)(JobMachine& m, std::int32_t a, std::int32_t b);
};

// A setting entry: stores the number at the width of the field of the job's
// settings record.
#define VEMTRAC_SETTING(field, type) \
    [](JobMachine& m, std::int32_t n) { m.ptCurrentFile->field = static_cast<type>(n); }

// Settings entries store the number at the width of their field.
constexpr OneIntKeyword one_int_keywords[] = {
    {"RasterDPI", VEMTRAC_SETTING(RasterDPI, std::uint16_t), true},
    {"RasterUnit", VEMTRAC_SETTING(RasterUnit, std::uint16_t), true},
    {"RasterBandingFree", VEMTRAC_SETTING(RasterBandingFree, std::uint8_t), true},
    {"RasterFiringType", VEMTRAC_SETTING(RasterFiringType, std::uint16_t), true},
    {"RasterSpeedX", VEMTRAC_SETTING(RasterSpeedX, std::uint16_t), true},
    {"RasterSpeedY", VEMTRAC_SETTING(RasterSpeedY, std::uint16_t), true},
    {"ImageWidth", VEMTRAC_SETTING(ImageWidth, std::int32_t), true},
    {"ImageHeight", VEMTRAC_SETTING(ImageHeight, std::int32_t), true},
    {"RasterPower", VEMTRAC_SETTING(RasterPower, std::uint16_t), true},
    {"RasterAccelEngrave", VEMTRAC_SETTING(RasterAccelEngrave, std::uint8_t), true},
    {"RasterBuEngrave", VEMTRAC_SETTING(RasterBuEngrave, std::uint8_t), true},
    {"SetStartRasterGraphics",
     [](JobMachine& m, std::int32_t) {
         m.work_start_image();
         m.HandleStartRasterGraphics();
     }},
    {"SetEndRasterGraphics", [](JobMachine& m, std::int32_t) { m.HandleEndRasterGraphics(); }},
    {"RasterLineOut", [](JobMachine& m, std::int32_t) { m.RasterLineOut(); }},
    {"ToHpglMode", [](JobMachine& m, std::int32_t) { m.HandleToHpglMode(); }},
    {"ToPclMode", [](JobMachine& m, std::int32_t n) { m.to_pcl_mode(n); }},
    {"execute_penselect", [](JobMachine& m, std::int32_t pen) { m.execute_penselect(pen); }},
};

#undef VEMTRAC_SETTING

constexpr TwoIntKeyword two_int_keywords[] = {
    {"pd_default",
     [](JobMachine& m, std::int32_t dx, std::int32_t dy) { m.pen_down_move(dx, dy); }},
    {"pu_default", [](JobMachine& m, std::int32_t dx, std::int32_t dy) { m.pen_up_move(dx, dy); }},
    {"SetHorizontalPositionPCL",
     [](JobMachine& m, std::int32_t flag, std::int32_t x) {
         m.ptCurrentFile->ImageAbsPosFlag = static_cast<std::int8_t>(flag);
         m.ptCurrentFile->ImageOffsetX = x;
     }},
    {"SetVerticalPositionPCL",
     [](JobMachine& m, std::int32_t flag, std::int32_t y) {
         m.ptCurrentFile->ImageAbsPosFlag = static_cast<std::int8_t>(flag);
         m.ptCurrentFile->ImageOffsetY = y;
     }},
};

template <typename Entry, std::size_t N>
const Entry* find_keyword(const Entry (&table)[N], std::string_view keyword)
{
    for (const Entry& e : table) {
        if (e.keyword == keyword) {
            return &e;
        }
    }
    return nullptr;
}

// Whether the keyword just read, a string in the reading's buffer of
// CMD_KEYWORD_SIZE bytes, is name: its string ends where name does, and
// the bytes before are name's; with name known where it is called, a byte
// test and a few word compares.
inline bool read_keyword_is(const char* keyword, std::string_view name)
{
    return keyword[name.size()] == '\0' &&
           std::memcmp(keyword, name.data(), name.size()) == 0;
}

// The entry of table whose keyword was read: each entry compared by its
// own length, known when the program is built.
template <const auto& table, std::size_t... i>
auto find_read_keyword(const char* keyword, std::index_sequence<i...>) -> decltype(&table[0])
{
    decltype(&table[0]) found = nullptr;
    static_cast<void>(
        ((read_keyword_is(keyword, table[i].keyword) && (found = &table[i]) != nullptr) || ...));
    return found;
}

template <const auto& table>
[[gnu::always_inline]] inline auto find_read_keyword(const char* keyword)
{
    return find_read_keyword<table>(keyword, std::make_index_sequence<std::size(table)>{});
}

// Runs run(entry) for the entry of table whose keyword was read, with the
// entry known where it is called; false when no entry's keyword was read.
template <const auto& table, typename Run, std::size_t... i>
bool run_read_keyword(const char* keyword, Run run, std::index_sequence<i...>)
{
    return ((read_keyword_is(keyword, table[i].keyword) && (run(table[i]), true)) || ...);
}

template <const auto& table, typename Run>
[[gnu::always_inline]] inline bool run_read_keyword(const char* keyword, Run run)
{
    return run_read_keyword<table>(keyword, run, std::make_index_sequence<std::size(table)>{});
}

} // namespace

// The keyword as it can be shown on a console: bytes outside printable
// ASCII (binary garbage, other encodings) are written as \xNN.
void JobMachine::printable_keyword(char* out, std::size_t size) const
{
    std::size_t n = 0;
    const int length = entry_reader != nullptr ? entry_reader->keyword_length : 0;
    for (int i = 0; i < length && n + 5 < size; ++i) {
        const auto c = static_cast<unsigned char>(entry_keyword[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out[n++] = static_cast<char>(c);
        } else {
            n += static_cast<std::size_t>(std::snprintf(out + n, size - n, "\\x%02X", c));
        }
    }
    out[n] = '\0';
}

// The line of the job file on which the entry being executed starts.
int JobMachine::entry_line() const
{
    return entry_reader != nullptr ? entry_reader->keyword_line : 0;
}

void JobMachine::report_entry(const char* what)
{
    char shown[4 * CMD_KEYWORD_SIZE + 8];
    printable_keyword(shown, sizeof shown);
    diag_printf("vemtrac: %s line %d, entry %d \"%s\": %s\n",
                shown::text(job_file_label).c_str(), entry_line(), entry_number, shown, what);
}

// Keeps the entry at which reading stops as the job's end.
void JobMachine::note_stop(const char* what)
{
    char shown[4 * CMD_KEYWORD_SIZE + 8];
    printable_keyword(shown, sizeof shown);
    job_end->complete = false;
    job_end->entry = entry_number;
    job_end->line = entry_line();
    job_end->keyword = shown;
    job_end->reason = what;
}

// Reports the entry at which reading stops and keeps it as the job's end.
void JobMachine::stop_at_entry(const char* what)
{
    report_entry(what);
    note_stop(what);
}

// Keeps what the entry just run queued, for the report's timeline and
// picture (only while the ticks are accounted).
void JobMachine::note_entry_motion()
{
    if (entry_log_state.enabled) {
        char shown[4 * CMD_KEYWORD_SIZE + 8];
        printable_keyword(shown, sizeof shown);
        entry_log_note(entry_number, shown);
    }
}

// The value a setting entry stores: the job's own, or the one it runs at in
// its place.
std::int32_t JobMachine::setting_value(const char* keyword, std::int32_t value) const
{
    for (int i = 0; i < cmd_overrides.keyword_count; ++i) {
        if (std::strcmp(cmd_overrides.keyword[i], keyword) == 0) {
            return cmd_overrides.keyword_value[i];
        }
    }
    return value;
}

// Puts the pens' overridden speed codes in place of the ones just set.
void JobMachine::override_pen_speeds()
{
    for (int pen = 1; pen <= CMD_PEN_COUNT; ++pen) {
        if (cmd_overrides.pen_speed_set[pen]) {
            ptCurrentFile->VectorSpeed[pen] = cmd_overrides.pen_speed[pen];
        }
    }
}

// The overridden settings as entries standing before the job's first: each
// keyword's entry, and a VectorSpeed entry with the start-up codes but the
// overridden pens'. They move nothing and are no entry of the job's file.
void JobMachine::run_override_entries()
{
    for (int i = 0; i < cmd_overrides.keyword_count; ++i) {
        if (const OneIntKeyword* e = find_keyword(one_int_keywords, cmd_overrides.keyword[i])) {
            e->run(*this, cmd_overrides.keyword_value[i]);
        }
    }
    override_pen_speeds();
}

// "VectorSpeed" s1 s2 and 14 more integers: the speed codes of pens 1..16.
// When the list runs short, the pens not reached keep their speeds.
void JobMachine::read_vector_speeds(CmdReader* reader, std::int32_t s1, std::int32_t s2)
{
    ptCurrentFile->VectorSpeed[1] = static_cast<std::uint16_t>(s1);
    ptCurrentFile->VectorSpeed[2] = static_cast<std::uint16_t>(s2);
    for (int pen = 3; pen <= 16; ++pen) {
        std::int32_t speed = 0;
        if (cmd_read_int(reader, &speed) != 1) {
            if (reader->error == CmdReadError::none) {
                char what[96];
                std::snprintf(what, sizeof what,
                              "%d of 16 speed codes given; pens %d to 16 keep their speeds",
                              pen - 1, pen);
                report_entry(what);
            }
            return;
        }
        ptCurrentFile->VectorSpeed[pen] = static_cast<std::uint16_t>(speed);
    }
}

// Stops reading at an entry whose integers do not fit its keyword: a keyword
// known with the other count gets the expected count as the reason, any
// other one is unknown. Returns false, since reading stops.
bool JobMachine::stop_at_misfit(bool known_with_other_count, const char* expected)
{
    stop_at_entry(known_with_other_count ? expected : "unknown keyword; reading stops here");
    return false;
}

// Runs one entry of fields keyword (in the reading's buffer) + count
// integers. Returns false when reading must stop.
bool JobMachine::run_entry(CmdReader* reader, const char* keyword, int fields, std::int32_t a,
                           std::int32_t b)
{
    if (fields == 2) {
        if (run_read_keyword<one_int_keywords>(keyword, [&](const OneIntKeyword& e) {
                e.run(*this, e.sets_value ? setting_value(keyword, a) : a);
            })) {
            return true;
        }
        const bool takes_two = find_read_keyword<two_int_keywords>(keyword) != nullptr ||
                               read_keyword_is(keyword, "VectorSpeed");
        return stop_at_misfit(takes_two, "expects two integers; reading stops here");
    }
    if (read_keyword_is(keyword, "VectorSpeed")) {
        read_vector_speeds(reader, a, b);
        override_pen_speeds();
        return reader->error == CmdReadError::none;
    }
    if (run_read_keyword<two_int_keywords>(
            keyword, [&](const TwoIntKeyword& e) { e.run(*this, a, b); })) {
        return true;
    }
    const bool takes_one = find_read_keyword<one_int_keywords>(keyword) != nullptr ||
                           read_keyword_is(keyword, "VemtracCmdVer");
    return stop_at_misfit(takes_one, "expects one integer; reading stops here");
}

void JobMachine::report_read_error(const CmdReader& reader)
{
    switch (reader.error) {
    case CmdReadError::keyword_too_long:
        stop_at_entry("keyword longer than 259 characters; reading stops here");
        break;
    case CmdReadError::number_out_of_range:
        stop_at_entry("number outside the signed 32-bit range; reading stops here");
        break;
    case CmdReadError::read_failed:
        stop_at_entry("the job file could not be read any further; reading stops here");
        break;
    case CmdReadError::none:
        break;
    }
}

// Reads and runs the entries until the file ends or an entry stops the
// reading. Returns false when the job is refused for its version.
bool JobMachine::run_entries(const CmdSource& cmd)
{
    CmdReader reader;
    cmd_reader_open(&reader, cmd);
    entry_reader = &reader;
    // The keyword in a buffer of the reading's own: its size is known where
    // it is compared with the keywords of the tables.
    char keyword[CMD_KEYWORD_SIZE] = {};
    entry_keyword = keyword;
    run_override_entries();
    for (;;) {
        std::int32_t a = 0;
        std::int32_t b = 0;
        const int fields = cmd_read_entry(&reader, keyword, &a, &b);
        ++entry_number;
        work_set_entry(entry_number);
        if (reader.error != CmdReadError::none) {
            report_read_error(reader);
            return true;
        }
        if (fields == 2 && read_keyword_is(keyword, "VemtracCmdVer")) {
            if (a != 1) {
                stop_at_entry("version of the job file is not 1; the job is refused");
                return false;
            }
            continue;
        }
        if (fields < 2) {
            if (fields == 1) {
                stop_at_entry("no integer follows the keyword; reading stops here");
            }
            return true;
        }
        const bool ran = run_entry(&reader, keyword, fields, a, b);
        note_entry_motion();
        if (!ran) {
            if (reader.error != CmdReadError::none) {
                report_read_error(reader);
            }
            return true;
        }
        if (const char* reason = job_stop_reason()) {
            char what[192];
            std::snprintf(what, sizeof what, "%s; the job ends here", reason);
            stop_at_entry(what);
            return true;
        }
        if (job_abort != 0) {
            note_stop(servo_ticks_abort_reason());  // the servo has said why
            return true;
        }
    }
}

bool command_file_resolve_overrides(const SettingOverrides& overrides, CmdOverrides* resolved,
                                    std::string* bad_key)
{
    CmdOverrides& set = *resolved;
    set = CmdOverrides{};
    for (const SettingOverride& o : overrides) {
        const char* const pen_prefix = "VectorSpeed.";
        const std::size_t prefix_size = std::strlen(pen_prefix);
        if (o.key.compare(0, prefix_size, pen_prefix) == 0) {
            const std::string pen_text = o.key.substr(prefix_size);
            const int pen = pen_text.size() <= 2 && !pen_text.empty() &&
                                    pen_text.find_first_not_of("0123456789") == std::string::npos
                                ? std::stoi(pen_text)
                                : 0;
            if (pen < 1 || pen > CMD_PEN_COUNT) {
                *bad_key = o.key;
                return false;
            }
            set.pen_speed_set[pen] = true;
            set.pen_speed[pen] = static_cast<std::uint16_t>(o.value);
            continue;
        }
        const OneIntKeyword* e = find_keyword(one_int_keywords, o.key.c_str());
        if (e == nullptr || !e->sets_value) {
            *bad_key = o.key;
            return false;
        }
        // A keyword given again takes its later value.
        int slot = 0;
        while (slot < set.keyword_count && set.keyword[slot] != e->keyword.data()) {
            ++slot;
        }
        if (slot == CMD_OVERRIDE_KEYWORDS_MAX) {
            *bad_key = o.key;
            return false;
        }
        set.keyword[slot] = e->keyword.data();
        set.keyword_value[slot] = o.value;
        set.keyword_count = std::max(set.keyword_count, slot + 1);
    }
    return true;
}

bool command_file_runs_entry(const char* keyword, int integers)
{
    if (integers == 1) {
        return find_keyword(one_int_keywords, keyword) != nullptr ||
               std::strcmp(keyword, "VemtracCmdVer") == 0;
    }
    return integers == 2 && (find_keyword(two_int_keywords, keyword) != nullptr ||
                             std::strcmp(keyword, "VectorSpeed") == 0);
}

JobFile open_job_file(const char* path)
{
    JobFile job_file;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        job_file.folder = true;
        return job_file;
    }
    job_file.file = std::fopen(path, "rb");
    if (job_file.file == nullptr) {
        job_file.error = errno;
    }
    return job_file;
}

const char* job_file_error_text(const JobFile& job_file)
{
    return job_file.folder ? "it is a folder" : std::strerror(job_file.error);
}

JobEnd JobMachine::job_run_entries(const CmdSource& cmd, const char* file_label,
                                   std::uint32_t app_start)
{
    JobEnd end;
    job_end = &end;
    job_file_label = file_label;
    entry_number = 0;
    job_stop_clear();

    srvo_off_to_on();
    entry_log_start();
    end.refused = !run_entries(cmd);
    entry_reader = nullptr;
    entry_keyword = nullptr;
    if (!end.refused) {
        svo_wait_idle();
        if (job_abort != 0 && end.complete) {
            // The whole file was read, but the motion it queued was cut
            // short (by the tick limit or the deadline): the estimate is
            // not the job's, and the end of the file is where it stopped.
            note_stop(servo_ticks_abort_reason());
        }
        JobTimeTick();
        srvo_on_to_off();
        end.run_time = job_run_time(job_start_tick, job_end_tick);
        console_printf("Job Run Time: %d:%d\n\r", end.run_time.minutes, end.run_time.seconds);
        end.status = status_ok_lines(end.run_time, platform::tick_count_ms() - app_start);
    } else {
        end.status = status_version_mismatch_lines();
    }
    job_end = nullptr;
    return end;
}
