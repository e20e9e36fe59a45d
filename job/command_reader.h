// Reading the job file: white-space separated keywords and decimal
// integers, read the way a "%s %d %d" scan reads them (white space of any
// kind, line breaks included, separates tokens; a failed number leaves the
// token in place for the next read). Unlike a library scan it never
// overflows: a keyword too long for its buffer or a number outside the
// signed 32-bit range is reported as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

inline constexpr int CMD_KEYWORD_SIZE = 260;  // at most 259 characters

enum class CmdReadError {
    none,
    keyword_too_long,
    number_out_of_range,
    read_failed,        // the file could not be read to its end
};

// Where the bytes of a job come from: an open job file, read a block at a
// time, or the whole job in memory (when file is null).
struct CmdSource {
    std::FILE* file = nullptr;
    std::string_view bytes;
};

// Bytes the reader takes from a file at a time.
inline constexpr std::size_t CMD_READ_BLOCK = 16384;

struct CmdReader {
    CmdSource source;
    unsigned char block[CMD_READ_BLOCK];  // a file's bytes read ahead
    const unsigned char* data;            // the bytes being handed out: block, or the job in memory
    std::size_t block_pos;                // next byte of data to hand out
    std::size_t block_len;                // bytes of data that hold the job
    bool memory_taken;                    // the job in memory is being handed out
    int pushback[4];    // characters read ahead and given back, last first
    int pushed;
    CmdReadError error;
    int line;             // line of the file being read (1 = first)
    int keyword_line;     // line on which the last keyword starts
    int keyword_length;   // bytes of the last keyword (a NUL among them included)
};

// Starts reading a job, skipping a UTF-8 byte-order mark.
void cmd_reader_open(CmdReader* reader, const CmdSource& source);

// Reads a keyword and up to two integers. Returns the number of fields
// converted (0..3), or -1 when the input ends before a keyword. On an error
// the fields read before it are returned and reader->error says which.
int cmd_read_entry(CmdReader* reader, char keyword[CMD_KEYWORD_SIZE], std::int32_t* first,
                   std::int32_t* second);

// Reads one integer. Returns 1 when one was read, 0 when the next token is
// not a number (it stays in place), -1 at the end of the input.
int cmd_read_int(CmdReader* reader, std::int32_t* value);
