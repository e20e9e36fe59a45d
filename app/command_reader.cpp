#include "app/command_reader.h"

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
