// The files the estimator writes for people and programs: the status file,
// the timeline and the picture. Each is written to a scratch file beside
// its place and moved into place only once it is complete and every write,
// the flush and the close have succeeded, so that no reader ever finds it
// empty or half-written. A device or pipe named as the output (no place to
// move into) is written directly, and so is standard output, named "-".
#pragma once

#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { discard(); }

    // Prepares to write path: creates the scratch file (or opens the
    // device). Says why in *error when it cannot.
    bool open(const std::string& path, std::string* error);

    // The stream to write to (null unless open).
    std::FILE* stream() const { return file_; }

    // Writes bytes; a failure is kept and reported by commit.
    void write(const std::string& bytes);

    // Flushes and closes the stream and moves the scratch file into place.
    // Says why in *error when any write, the flush, the close or the move
    // failed; the scratch file is then removed and the place left as it was.
    bool commit(std::string* error);

    // Closes and removes the scratch file, leaving the place as it was.
    void discard();

private:
    std::FILE* file_ = nullptr;
    bool to_stdout_ = false;  // file_ is standard output: flushed, never closed
    std::string path_;
    std::string scratch_;  // empty when writing directly
    int write_errno_ = 0;  // the first failed write's errno
};

// The name that stands for standard output as an output's file.
inline constexpr const char* standard_output_name = "-";

// The kinds of file the report writes, each recognised by how it begins.
enum class OutputKind { timeline, picture };

// The first bytes of every file of the kind.
const char* output_header(OutputKind kind);

// Whether an output may be written at path as far as job files go: false,
// with why, when the file there reads as a job file (job/file_kind.h),
// which no output ever replaces, whatever the kind or --force.
bool output_spares_job_file(const std::string& path, std::string* error);

// Whether path may be written as an output of the kind: a new file, an
// empty one, one that starts as an earlier output of the kind does, or any
// file but a job file when force is set. A job file is never replaced.
// Says why not in *error.
bool output_replaceable(const std::string& path, OutputKind kind, bool force, std::string* error);

// Whether the name suits the kind of output: its extension is the kind's
// own (.svg, .csv), none, or none of the kinds of file it would pass for
// (out.png holding SVG, a timeline named .cmd). Says why not.
bool output_name_fits(const std::string& path, OutputKind kind, std::string* error);

// True when the two paths name the same file: the same file on disk when
// both exist, else the same path once made absolute and normalised.
bool same_file(const std::string& a, const std::string& b);
