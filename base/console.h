// The console: where the machine's console lines (banner, speed lines,
// warnings, dumps, trace lines) and the tool's own diagnostic lines
// ("vemtrac: ...") go. A job run sets the sink; until one is set, console
// lines go to standard output and diagnostics to standard error, as the
// machine's tool writes them.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define VEMTRAC_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define VEMTRAC_PRINTF(fmt_index, first_arg)
#endif

// The two streams of the sink.
enum class ConsoleStream : unsigned char {
    console,     // the machine's console lines
    diagnostic,  // the tool's own lines about bad input, files and limits
};

// Receives the text of one write (one formatted line or piece of a line,
// not NUL-terminated); the writes of a stream, joined, are its bytes.
using ConsoleWrite = void (*)(void* context, ConsoleStream stream, const char* text,
                              std::size_t size);

struct ConsoleSink {
    ConsoleWrite receive = nullptr;  // null: standard output and standard error
    void* context = nullptr;
};

// The sink that writes the console to standard output and the diagnostics
// to standard error.
ConsoleSink console_standard_sink();

// Console lines dropped, diagnostics to standard error.
ConsoleSink console_quiet_sink();

// Both streams to standard error.
ConsoleSink console_stderr_sink();

// Both streams kept in memory, for whoever wants the lines afterwards.
struct ConsoleCapture {
    std::string console;
    std::string diagnostic;
    ConsoleSink sink();
};

// The console of one machine: the sink its writes go through (standard
// output and standard error until one is set) and how many it wrote.
class Console {
public:
    // Sets the sink for the writes that follow; returns the one it replaces.
    ConsoleSink console_set_sink(ConsoleSink sink);

    // Writes text as it stands to a stream of the sink.
    void console_write(ConsoleStream stream, const char* text, std::size_t size);

    // Writes to either stream since the console was made: whoever remembers
    // what a stretch of work did can tell whether it wrote anything.
    std::uint64_t console_writes() const { return console_write_count_; }

    // A formatted console line (or piece of one).
    void console_printf(const char* fmt, ...) VEMTRAC_PRINTF(2, 3);
    void console_vprintf(const char* fmt, std::va_list args);
    // The same behind a prefix, in one write.
    void console_prefixed_vprintf(const char* prefix, const char* fmt, std::va_list args);

    // A formatted diagnostic line; the text is written as given ("vemtrac: ...\n").
    void diag_printf(const char* fmt, ...) VEMTRAC_PRINTF(2, 3);

private:
    // Formats the prefix and the text into one write.
    void write_formatted(ConsoleStream stream, const char* prefix, const char* fmt,
                         std::va_list args);

    ConsoleSink console_sink_ = console_standard_sink();
    std::uint64_t console_write_count_ = 0;
};

// Sets a console's sink for as long as it lives, then puts the one before it back.
class ConsoleScope {
public:
    ConsoleScope(Console& console, ConsoleSink sink)
        : console_(console), previous_(console.console_set_sink(sink))
    {
    }
    ~ConsoleScope() { console_.console_set_sink(previous_); }
    ConsoleScope(const ConsoleScope&) = delete;
    ConsoleScope& operator=(const ConsoleScope&) = delete;

private:
    Console& console_;
    ConsoleSink previous_;
};
