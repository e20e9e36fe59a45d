#include "job/file_kind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/shown_text.h"
#include "job/command_file.h"
#include "job/command_reader.h"

namespace {

// The six white-space characters that separate a job file's tokens.
bool is_blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The bytes after a UTF-8 byte-order mark and white space.
std::string_view text_start(std::string_view head)
{
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    }
    std::size_t first = 0;
    while (first < head.size() && is_blank(head[first])) {
        ++first;
    }
    return head.substr(first);
}

// The token the text starts with, as the job file's reader takes it.
std::string_view first_token(std::string_view text)
{
    const auto end = std::find_if(text.begin(), text.end(), is_blank);
    return text.substr(0, static_cast<std::size_t>(end - text.begin()));
}

// The token after the first, or empty.
std::string_view second_token(std::string_view text)
{
    return first_token(text_start(text.substr(first_token(text).size())));
}

// The mark a binary format begins with, and what it is.
struct Signature {
    std::string_view start;
    const char* kind;
};

constexpr std::array<Signature, 12> signatures{{
    {"\x89PNG\r\n\x1A\n", "a PNG image"},
    {"\xFF\xD8\xFF", "a JPEG image"},
    {"GIF87a", "a GIF image"},
    {"GIF89a", "a GIF image"},
    {std::string_view("II*\0", 4), "a TIFF image"},
    {std::string_view("MM\0*", 4), "a TIFF image"},
    {"%PDF-", "a PDF document"},
    {"%!PS", "a PostScript file"},
    {"PK\x03\x04", "a ZIP archive (or a document packed as one)"},
    {"\x1F\x8B", "a gzip-compressed file"},
    {"AutoCAD Binary DXF", "a DXF drawing"},
    {"\x7F" "ELF", "a program"},
}};

// What binary bytes look like, from the mark their format begins with.
const char* binary_kind(std::string_view head)
{
    for (const Signature& s : signatures) {
        if (head.starts_with(s.start)) {
            return s.kind;
        }
    }
    if (head.size() >= 12 && head.starts_with("RIFF") && head.substr(8, 4) == "WEBP") {
        return "a WebP image";
    }
    // A bitmap's header holds two reserved 16-bit words of 0 after its size.
    if (head.size() >= 14 && head.starts_with("BM") &&
        head.substr(6, 4) == std::string_view("\0\0\0\0", 4)) {
        return "a BMP image";
    }
    if (head.starts_with("MZ")) {
        return "a Windows program";
    }
    if (head.starts_with("\x1B")) {
        return "a print file of printer commands (PCL or PJL)";
    }
    return nullptr;
}

// The text in lower case, for markup's tags.
std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// True when the text starts as a plotter's HPGL commands do: a two-letter
// instruction followed by its parameters or a ';' (IN;SP1;PU0,0;...).
bool starts_as_hpgl(std::string_view text)
{
    static const char* const instructions[] = {"IN", "DF", "SP", "PU", "PD", "PA", "PR",
                                               "VS", "LT", "SC", "IP", "WU", "PW", "BP"};
    if (text.size() < 3 || text.find(';') == std::string_view::npos) {
        return false;
    }
    const char next = text[2];
    const bool follows = next == ';' || next == ',' || next == '-' ||
                         std::isdigit(static_cast<unsigned char>(next)) != 0;
    return follows && std::any_of(std::begin(instructions), std::end(instructions),
                                  [&](const char* i) { return text.starts_with(i); });
}

// What text that is not a job file looks like: markup, a drawing, plotter
// commands; null for other text.
const char* text_kind(std::string_view text)
{
    if (text.starts_with("<")) {
        const std::string tags = lower(text);
        if (tags.find("<svg") != std::string::npos) {
            return "an SVG drawing";
        }
        if (tags.find("<html") != std::string::npos || tags.starts_with("<!doctype html")) {
            return "an HTML page";
        }
        return "an XML document";
    }
    // A DXF file's group codes and values stand on lines of their own.
    if (first_token(text) == "0" && second_token(text) == "SECTION") {
        return "a DXF drawing";
    }
    if (starts_as_hpgl(text)) {
        return "HPGL plotter commands";
    }
    if (text.starts_with("{") || text.starts_with("[")) {
        return "JSON data";
    }
    return nullptr;
}

// True for bytes no text holds: NUL, and control characters other than
// white space and escape.
bool looks_binary(std::string_view head)
{
    const auto controls = std::count_if(head.begin(), head.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 && !is_blank(c) && b != 0x1B;
    });
    return head.find('\0') != std::string_view::npos ||
           static_cast<std::size_t>(controls) * 20 > head.size();
}

// What the program reads, said after what a file looks like.
const char* const what_is_read =
    ". vemtrac reads job files, the Vemtrac.cmd that printing a job to the machine gives: "
    "entries of a keyword and integers, such as \"VemtracCmdVer 1\"; and designs (SVG, DXF, "
    "HPGL plot files, PNG and JPEG pictures), which it imports to a job first";

} // namespace

bool reads_as_job_file(std::string_view head)
{
    const std::string_view token = first_token(text_start(head));
    if (token.empty() || token.size() >= CMD_KEYWORD_SIZE) {
        return false;
    }
    const std::string keyword(token);
    return command_file_runs_entry(keyword.c_str(), 1) ||
           command_file_runs_entry(keyword.c_str(), 2);
}

std::string file_head(const std::string& path)
{
    // A device or a pipe is no job file, and reading one may wait for
    // input (a terminal) or take what another reader is owed.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {};
    }
    std::string head(file_head_size, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    return head;
}

bool file_reads_as_job_file(const std::string& path)
{
    return reads_as_job_file(file_head(path));
}

std::string open_file_head(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return {};
    }
    std::string head(file_head_size, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::clearerr(file);
    std::fseek(file, 0, SEEK_SET);
    return head;
}

std::string not_a_job_file_reason(std::string_view head)
{
    const std::string_view text = text_start(head);
    if (text.empty() || reads_as_job_file(head)) {
        return {};
    }
    std::string looks;
    if (const char* kind = binary_kind(head)) {
        looks = std::string("it looks like ") + kind;
    } else if (const char* markup = text_kind(text)) {
        looks = std::string("it looks like ") + markup;
    } else if (looks_binary(head)) {
        looks = "it holds binary data";
    } else {
        const std::string_view word = first_token(text).substr(0, 40);
        looks = "it is text whose first word, \"" + shown::text(word) +
                "\", is no keyword of a job file";
    }
    return "not a job file: " + looks + what_is_read;
}
