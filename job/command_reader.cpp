#include "job/command_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// Reads the next block of the file (a job in memory is one block); returns
// its first byte, or EOF at the end of the job or when it cannot be read.
int refill(CmdReader* r)
{
    r->block_pos = 0;
    if (r->source.file == nullptr) {
        r->block_len = r->memory_taken ? 0 : r->source.bytes.size();
        r->data = reinterpret_cast<const unsigned char*>(r->source.bytes.data());
        r->memory_taken = true;
    } else {
        r->block_len = std::fread(r->block, 1, CMD_READ_BLOCK, r->source.file);
        r->data = r->block;
        if (r->block_len == 0 && std::ferror(r->source.file) != 0) {
            r->error = CmdReadError::read_failed;
        }
    }
    if (r->block_len == 0) {
        return EOF;
    }
    return r->data[r->block_pos++];
}

// The next character: one given back first, else the next byte of the file.
inline int next_char(CmdReader* r)
{
    if (r->pushed > 0) {
        return r->pushback[--r->pushed];
    }
    if (r->block_pos < r->block_len) {
        return r->data[r->block_pos++];
    }
    return refill(r);
}

// Gives a character back to be read next. The byte just handed out from
// the block is given back by stepping back over it, so that the block stays
// next to read for the fast path.
void give_back(CmdReader* r, int c)
{
    if (c == EOF) {
        return;
    }
    if (r->pushed == 0 && r->block_pos > 0 && r->data[r->block_pos - 1] == c) {
        --r->block_pos;
        return;
    }
    r->pushback[r->pushed++] = c;
}

// The six white-space characters of a scan: space, and tab to carriage
// return (9..13).
bool is_blank(int c)
{
    return c == ' ' || static_cast<unsigned>(c - '\t') <= '\r' - '\t';
}

bool is_digit(int c)
{
    return static_cast<unsigned>(c - '0') <= 9;
}

// Skips white space, counting the line breaks (LF, CR LF, or a lone CR);
// returns the first other character (or EOF).
int skip_blanks(CmdReader* r)
{
    int c = next_char(r);
    int last = EOF;
    while (is_blank(c)) {
        if (c == '\r' || (c == '\n' && last != '\r')) {
            ++r->line;
        }
        last = c;
        c = next_char(r);
    }
    return c;
}

// Reads a keyword token. Returns 1 when one was read, -1 at the end of the
// input, 0 with reader->error set when the token does not fit.
int read_keyword(CmdReader* r, char* keyword)
{
    int c = skip_blanks(r);
    if (c == EOF) {
        return -1;
    }
    r->keyword_line = r->line;
    int len = 0;
    while (c != EOF && !is_blank(c)) {
        if (len == CMD_KEYWORD_SIZE - 1) {
            r->error = CmdReadError::keyword_too_long;
            keyword[len] = '\0';
            r->keyword_length = len;
            return 0;
        }
        keyword[len++] = static_cast<char>(c);
        c = next_char(r);
    }
    give_back(r, c);
    keyword[len] = '\0';
    r->keyword_length = len;
    return 1;
}

// The fast path: while nothing is given back, an entry that the current
// block holds whole is read straight from the block's bytes. Whatever the
// block cannot settle on its own (a token reaching the block's end, a
// keyword too long, a number of ten digits or more, a sign without digits)
// is left to the character path above, from the entry's start.

// What the fast path needs to know of a byte.
enum ByteClass : unsigned char {
    BLANK = 1,       // one of the six white-space characters
    LINE_BREAK = 2,  // CR or LF
};

constexpr std::array<unsigned char, 256> byte_classes = [] {
    std::array<unsigned char, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        classes[static_cast<unsigned char>(c)] = BLANK;
    }
    classes['\n'] |= LINE_BREAK;
    classes['\r'] |= LINE_BREAK;
    return classes;
}();

// Skips white space from p, counting the line breaks as skip_blanks does;
// returns the first other byte, or end.
inline const unsigned char* skip_blanks_in(const unsigned char* p, const unsigned char* end,
                                           int* line)
{
    // Most often at most one blank (a space or a line break) comes next.
    if (end - p >= 2 && (byte_classes[p[1]] & BLANK) == 0) {
        const unsigned char first = byte_classes[*p];
        *line += (first & LINE_BREAK) != 0 ? 1 : 0;
        return p + (first & BLANK);
    }
    const unsigned char* const run = p;
    for (; p < end && (byte_classes[*p] & BLANK) != 0; ++p) {
        // A CR ends a line, and so does an LF unless it completes a CR LF.
        if ((byte_classes[*p] & LINE_BREAK) != 0 && (*p == '\r' || p == run || p[-1] != '\r')) {
            ++*line;
        }
    }
    return p;
}

// Copies the keyword that starts at p (no blank) to keyword, without its
// NUL; bytes past it up to a multiple of eight may be written too. Returns
// the blank past it, or null when the block does not settle it.
inline const unsigned char* scan_keyword(const unsigned char* p, const unsigned char* end,
                                         char* keyword)
{
    const auto in_block = static_cast<std::size_t>(end - p);
    const std::size_t room = std::min<std::size_t>(in_block, CMD_KEYWORD_SIZE - 1);
    std::size_t n = 0;
    // Eight bytes at a time up to the first byte below '!', the only bytes
    // that can be blanks: the lowest such byte of a word is the lowest one
    // that borrows when '!' is taken from each byte.
    constexpr std::uint64_t ones = 0x0101010101010101u;
    for (; n + 8 <= room; n += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p + n, 8);
        std::memcpy(keyword + n, &word, 8);
        const std::uint64_t low = (word - ones * '!') & ~word & ones * 0x80;
        if (low != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                n += static_cast<std::size_t>(std::countr_zero(low) / 8);
                if ((byte_classes[p[n]] & BLANK) != 0) {
                    return p + n;
                }
            }
            break;  // a control character or NUL of the keyword: byte by byte
        }
    }
    for (; n < room && (byte_classes[p[n]] & BLANK) == 0; ++n) {
        keyword[n] = static_cast<char>(p[n]);
    }
    if (n == in_block || (byte_classes[p[n]] & BLANK) == 0) {
        return nullptr;
    }
    return p + n;
}

// Reads the integer token at p (no blank). Returns the byte past it with
// its value, p itself when the token has no digit and no sign (no number),
// or null when the block does not settle it: the token reaches the block's
// end, is a sign without digits, or has ten digits or more (which a range
// check would have to settle).
inline const unsigned char* scan_int(const unsigned char* p, const unsigned char* end,
                                     std::int32_t* value)
{
    const unsigned char* q = p;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+') {
        ++q;
    }
    const unsigned char* const digits = q;
    std::uint32_t magnitude = 0;  // wraps harmlessly past nine digits, which are refused
    for (; q < end && is_digit(*q); ++q) {
        magnitude = magnitude * 10 + static_cast<std::uint32_t>(*q - '0');
    }
    if (q == p) {
        return p;
    }
    const auto digit_count = static_cast<std::size_t>(q - digits);
    if (q == end || digit_count - 1 >= 9) {  // none, or ten or more
        return nullptr;
    }
    const auto number = static_cast<std::int32_t>(magnitude);
    *value = negative ? -number : number;
    return q;
}

// Reads an entry that the current block holds whole, up to the byte that
// ends it (which stays). Returns its field count (1..3), or -2 when it is
// left to the character path with nothing taken (keyword may be written).
int read_entry_in_block(CmdReader* r, char* keyword, std::int32_t* first, std::int32_t* second)
{
    if (r->pushed != 0) {
        return -2;
    }
    const unsigned char* const end = r->data + r->block_len;
    int line = r->line;
    const unsigned char* p = skip_blanks_in(r->data + r->block_pos, end, &line);
    if (p == end) {
        return -2;
    }
    const int keyword_line = line;
    const unsigned char* past = scan_keyword(p, end, keyword);
    if (past == nullptr) {
        return -2;
    }
    const auto length = static_cast<std::size_t>(past - p);
    // A number read here is what the character path would read too, so it
    // may be stored before the entry is settled.
    int fields = 1;
    p = skip_blanks_in(past, end, &line);
    const unsigned char* number_end = p == end ? nullptr : scan_int(p, end, first);
    if (number_end != p) {  // a number, or unsettled
        if (number_end == nullptr) {
            return -2;
        }
        fields = 2;
        p = skip_blanks_in(number_end, end, &line);
        number_end = p == end ? nullptr : scan_int(p, end, second);
        if (number_end == nullptr) {
            return -2;
        }
        if (number_end != p) {
            fields = 3;
            p = number_end;
        }
    }
    keyword[length] = '\0';
    r->keyword_length = static_cast<int>(length);
    r->keyword_line = keyword_line;
    r->line = line;
    r->block_pos = static_cast<std::size_t>(p - r->data);
    return fields;
}

} // namespace

void cmd_reader_open(CmdReader* reader, const CmdSource& source)
{
    reader->source = source;
    reader->data = reader->block;
    reader->block_pos = 0;
    reader->block_len = 0;
    reader->memory_taken = false;
    reader->pushed = 0;
    reader->error = CmdReadError::none;
    reader->line = 1;
    reader->keyword_line = 1;
    reader->keyword_length = 0;
    // Editors on Windows often start a text file with a UTF-8 byte-order mark.
    int b0 = next_char(reader);
    if (b0 == 0xEF) {
        int b1 = next_char(reader);
        if (b1 == 0xBB) {
            int b2 = next_char(reader);
            if (b2 == 0xBF) {
                return;
            }
            give_back(reader, b2);
        }
        give_back(reader, b1);
    }
    give_back(reader, b0);
}

int cmd_read_int(CmdReader* r, std::int32_t* value)
{
    int c = skip_blanks(r);
    if (c == EOF) {
        return -1;
    }
    bool negative = false;
    int sign = 0;
    if (c == '+' || c == '-') {
        negative = c == '-';
        sign = c;
        c = next_char(r);
    }
    if (!is_digit(c)) {
        give_back(r, c);
        if (sign != 0) {
            give_back(r, sign);
        }
        return 0;
    }
    // Magnitude, saturated just past the largest that fits.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    bool too_large = false;
    while (is_digit(c)) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            too_large = true;
            magnitude = limit;
        }
        c = next_char(r);
    }
    give_back(r, c);
    if (too_large) {
        r->error = CmdReadError::number_out_of_range;
        return 0;
    }
    *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return 1;
}

int cmd_read_entry(CmdReader* r, char keyword[CMD_KEYWORD_SIZE], std::int32_t* first,
                   std::int32_t* second)
{
    const int fields = read_entry_in_block(r, keyword, first, second);
    if (fields != -2) {
        return fields;
    }
    int got = read_keyword(r, keyword);
    if (got <= 0) {
        return got;
    }
    if (cmd_read_int(r, first) != 1) {
        return 1;
    }
    if (cmd_read_int(r, second) != 1) {
        return 2;
    }
    return 3;
}
