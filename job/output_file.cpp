#include "job/output_file.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/platform.h"
#include "base/shown_text.h"
#include "job/file_kind.h"

namespace fs = std::filesystem;

namespace {

// A scratch name beside path that no other run of this program shares.
std::string scratch_path(const std::string& path)
{
    return path + "." + std::to_string(platform::process_id()) + ".tmp";
}

// True for a path that exists and is something other than a regular file
// or a folder: a device or a pipe, written in place.
bool is_device(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

} // namespace

bool OutputFile::open(const std::string& path, std::string* error)
{
    discard();
    path_ = path;
    if (path == standard_output_name) {
        file_ = stdout;
        to_stdout_ = true;
        write_errno_ = 0;
        return true;
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        *error = "it is a folder";
        return false;
    }
    if (is_device(path)) {
        file_ = std::fopen(path.c_str(), "wb");
    } else {
        scratch_ = scratch_path(path);
        file_ = platform::create_new_file(scratch_);
    }
    if (file_ == nullptr) {
        *error = std::strerror(errno);
        scratch_.clear();
        return false;
    }
    write_errno_ = 0;
    return true;
}

void OutputFile::write(const std::string& bytes)
{
    if (file_ != nullptr && write_errno_ == 0 &&
        std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        write_errno_ = errno != 0 ? errno : EIO;
    }
}

bool OutputFile::commit(std::string* error)
{
    if (file_ == nullptr) {
        *error = "it was not opened";
        return false;
    }
    errno = 0;
    bool ok = write_errno_ == 0 && std::ferror(file_) == 0;
    int code = write_errno_ != 0 ? write_errno_ : (ok ? 0 : EIO);
    if (std::fflush(file_) != 0 && ok) {
        ok = false;
        code = errno != 0 ? errno : EIO;
    }
    if (!to_stdout_ && std::fclose(file_) != 0 && ok) {
        ok = false;
        code = errno != 0 ? errno : EIO;
    }
    file_ = nullptr;
    to_stdout_ = false;
    if (!ok) {
        *error = std::strerror(code);
        discard();
        return false;
    }
    if (!scratch_.empty() && !platform::replace_file(scratch_, path_, error)) {
        discard();
        return false;
    }
    scratch_.clear();
    return true;
}

void OutputFile::discard()
{
    if (file_ != nullptr && !to_stdout_) {
        std::fclose(file_);
    }
    file_ = nullptr;
    to_stdout_ = false;
    if (!scratch_.empty()) {
        std::error_code ec;
        fs::remove(scratch_, ec);
        scratch_.clear();
    }
}

const char* output_header(OutputKind kind)
{
    return kind == OutputKind::timeline
               ? "entry,keyword,start_ms,end_ms\n"
               : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
}

bool output_spares_job_file(const std::string& path, std::string* error)
{
    if (path == standard_output_name || !file_reads_as_job_file(path)) {
        return true;
    }
    *error = path + " is a job file (it starts with a job file's keyword): no output ever "
                    "replaces one, not even with --force; name another file";
    return false;
}

bool output_replaceable(const std::string& path, OutputKind kind, bool force, std::string* error)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status) || is_device(path)) {
        return true;
    }
    if (fs::is_directory(status)) {
        *error = path + " is a folder";
        return false;
    }
    if (!output_spares_job_file(path, error)) {
        return false;
    }
    if (force || fs::file_size(path, ec) == 0) {
        return true;
    }
    const std::string header = output_header(kind);
    std::string start(header.size(), '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const std::size_t got = file != nullptr ? std::fread(start.data(), 1, start.size(), file) : 0;
    if (file != nullptr) {
        std::fclose(file);
    }
    if (got == header.size() && start == header) {
        return true;
    }
    *error = path + " exists and is not " +
             (kind == OutputKind::timeline ? "a timeline" : "a picture") +
             " written by vemtrac; to replace it, add --force";
    return false;
}

namespace {

// The extension of a name, lower case, without its dot; empty without one.
std::string extension_of(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    if (!ext.empty()) {
        ext.erase(0, 1);
    }
    for (char& c : ext) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return ext;
}

} // namespace

bool output_name_fits(const std::string& path, OutputKind kind, std::string* error)
{
    // Names that say a kind of file other than the output's: images,
    // documents, drawings, job and status files, what Windows runs, and
    // each other's (text of any other name is fine).
    static const char* const other_kinds[] = {
        "png", "jpg", "jpeg", "gif", "bmp", "tif", "tiff", "webp", "pdf", "eps", "ps", "ai",
        "dxf", "dwg", "plt", "hpgl", "cmd", "bat", "exe", "sts", "svg", "csv"};
    const bool picture = kind == OutputKind::picture;
    const std::string ext = extension_of(path);
    const bool own = ext == (picture ? "svg" : "csv");
    if (path == standard_output_name || own ||
        std::none_of(std::begin(other_kinds), std::end(other_kinds),
                     [&](const char* other) { return ext == other; })) {
        return true;
    }
    *error = std::string(picture ? "--svg writes an SVG picture" : "--timeline writes CSV") +
             ", but " + path + " is named as a ." + ext + " file; name it *." +
             (picture ? "svg" : "csv");
    return false;
}

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code ec_a, ec_b;
    if (fs::exists(a, ec_a) && fs::exists(b, ec_b)) {
        std::error_code ec;
        return fs::equivalent(a, b, ec);
    }
    std::error_code ec;
    const fs::path na = fs::weakly_canonical(fs::absolute(a, ec), ec).lexically_normal();
    const fs::path nb = fs::weakly_canonical(fs::absolute(b, ec), ec).lexically_normal();
    return na == nb;
}
