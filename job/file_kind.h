// What a file holds, told from its first bytes: a job file begins with one
// of the job file's keywords; anything else handed in as a job (a photo, a
// PDF, a design drawing) is named for what it looks like, so that the
// operator learns what went wrong instead of getting a 0:00:00 estimate;
// and no output is ever written over a job file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Bytes from the start of a file that tell what it holds.
inline constexpr std::size_t file_head_size = 4096;

// True when the bytes (a file's start) read as a job file: their first
// token, after a UTF-8 byte-order mark and white space, is a keyword the
// job file's reader knows.
bool reads_as_job_file(std::string_view head);

// The first bytes of the regular file at path (at most file_head_size);
// empty for anything else (a device, a pipe, a folder) or when it cannot be
// read.
std::string file_head(const std::string& path);

// True when the file at path exists and reads as a job file.
bool file_reads_as_job_file(const std::string& path);

// The first bytes of an open file, the file put back at its start; empty
// for a stream that cannot be put back (a pipe), which is then read as it
// comes.
std::string open_file_head(std::FILE* file);

// Why bytes handed in as a job are not a job file, beginning "not a job
// file: ", with what they look like and what the program reads; empty when
// they read as one or hold nothing but white space (an empty job).
std::string not_a_job_file_reason(std::string_view head);
