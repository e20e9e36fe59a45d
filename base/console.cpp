#include "base/console.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Standard output for the console, standard error for the diagnostics.
void write_standard(void*, ConsoleStream stream, const char* text, std::size_t size)
{
    std::fwrite(text, 1, size, stream == ConsoleStream::console ? stdout : stderr);
}

// Diagnostics to standard error; the console lines nowhere.
void write_quiet(void*, ConsoleStream stream, const char* text, std::size_t size)
{
    if (stream == ConsoleStream::diagnostic) {
        std::fwrite(text, 1, size, stderr);
    }
}

void write_stderr(void*, ConsoleStream, const char* text, std::size_t size)
{
    std::fwrite(text, 1, size, stderr);
}

// Appends to the stream's string of a ConsoleCapture.
void write_capture(void* context, ConsoleStream stream, const char* text, std::size_t size)
{
    auto* capture = static_cast<ConsoleCapture*>(context);
    (stream == ConsoleStream::console ? capture->console : capture->diagnostic).append(text, size);
}

} // namespace

// In a buffer on the stack (every line the machine writes fits); a longer
// text gets one of its own size.
void Console::write_formatted(ConsoleStream stream, const char* prefix, const char* fmt,
                              std::va_list args)
{
    char line[512];
    const std::size_t lead = std::strlen(prefix);
    if (lead >= sizeof line) {
        return;
    }
    std::memcpy(line, prefix, lead);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(line + lead, sizeof line - lead, fmt, args);
    if (n >= 0) {
        const std::size_t size = lead + static_cast<std::size_t>(n);
        if (size < sizeof line) {
            console_write(stream, line, size);
        } else {
            const std::unique_ptr<char[]> long_line(new char[size + 1]);
            std::memcpy(long_line.get(), prefix, lead);
            std::vsnprintf(long_line.get() + lead, size + 1 - lead, fmt, again);
            console_write(stream, long_line.get(), size);
        }
    }
    va_end(again);
}

ConsoleSink console_standard_sink()
{
    return ConsoleSink{write_standard, nullptr};
}

ConsoleSink console_quiet_sink()
{
    return ConsoleSink{write_quiet, nullptr};
}

ConsoleSink console_stderr_sink()
{
    return ConsoleSink{write_stderr, nullptr};
}

ConsoleSink ConsoleCapture::sink()
{
    return ConsoleSink{write_capture, this};
}

ConsoleSink Console::console_set_sink(ConsoleSink sink)
{
    const ConsoleSink previous = console_sink_;
    console_sink_ = sink.receive != nullptr ? sink : console_standard_sink();
    return previous;
}

void Console::console_write(ConsoleStream stream, const char* text, std::size_t size)
{
    ++console_write_count_;
    console_sink_.receive(console_sink_.context, stream, text, size);
}

void Console::console_vprintf(const char* fmt, std::va_list args)
{
    write_formatted(ConsoleStream::console, "", fmt, args);
}

void Console::console_prefixed_vprintf(const char* prefix, const char* fmt, std::va_list args)
{
    write_formatted(ConsoleStream::console, prefix, fmt, args);
}

void Console::console_printf(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    write_formatted(ConsoleStream::console, "", fmt, args);
    va_end(args);
}

void Console::diag_printf(const char* fmt, ...)
{
    std::va_list args;
    va_start(args, fmt);
    write_formatted(ConsoleStream::diagnostic, "", fmt, args);
    va_end(args);
}
