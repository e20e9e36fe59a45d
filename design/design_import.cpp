// The import's entry: finds the format, has its reader turn the design into
// subpaths or pixels and the job writer turn those into entries, and brings
// every failure back as one message naming the design.
#include "design/design_import.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "design/raster_job.h"
#include "design/read/design_geometry.h"
#include "design/read/design_readers.h"
#include "design/vector_job.h"

namespace {

using design::ImportFailure;

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The bytes after a UTF-8 byte-order mark and leading blanks.
std::string_view content_start(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.front()))) {
        bytes.remove_prefix(1);
    }
    return bytes;
}

// An ASCII DXF opens with group code 0 and SECTION, or a 999 comment.
bool looks_like_dxf(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        ++i;
    }
    const std::string_view code = s.substr(0, i);
    if (i == 0 || (code != "0" && code != "999")) {
        return false;
    }
    std::string_view rest = content_start(s.substr(i));
    return code == "999" || rest.substr(0, 7) == "SECTION";
}

// A plot file opens with an HPGL instruction (perhaps after a printer
// escape sequence).
bool looks_like_hpgl(std::string_view s)
{
    if (!s.empty() && s.front() == '\x1b') {
        return s.find("IN") != std::string_view::npos || s.find("SP") != std::string_view::npos;
    }
    static const char* const openers[] = {"IN", "SP", "PU", "PD", "PA", "PR", "DF", "VS", "CO"};
    const std::string head = lower(s.substr(0, 2));
    for (const char* m : openers) {
        if (head == lower(m) &&
            (s.size() == 2 || !std::isalpha(static_cast<unsigned char>(s[2])))) {
            return true;
        }
    }
    return false;
}

std::string extension_of(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return lower(name.substr(dot + 1));
}

// The limits of an import within the memory the settings allow: reading
// the design's text (the XML tree, the DXF's entities) comes first, and
// its segments get the rest.
design::ImportLimits import_limits(std::string_view bytes, DesignFormat format,
                                   std::size_t memory)
{
    design::ImportLimits limits;
    limits.memory = memory;
    if (memory == 0) {
        return limits;
    }
    const auto count = [&](char c) {
        return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), c));
    };
    std::size_t reading = 0;
    if (format == DesignFormat::svg) {
        reading = count('<') * design::SVG_ELEMENT_BYTES + count('=') * design::SVG_ATTRIBUTE_BYTES;
    } else if (format == DesignFormat::dxf) {
        reading = count('\n') * design::DXF_LINE_BYTES;
    }
    if (reading > memory) {
        throw ImportFailure("reading it needs about " + design::memory_text(reading) +
                            ", more than the " + design::memory_text(memory) +
                            " of memory allowed");
    }
    const auto segments = static_cast<std::int64_t>((memory - reading) / design::SEGMENT_BYTES);
    if (segments < design::MAX_SEGMENTS) {
        limits.max_segments = segments;
        limits.memory_bound = true;
    }
    return limits;
}

// The summary's raster part is left empty for vector designs and the other
// way round.
DesignImport run_import(std::string_view bytes, DesignFormat format, const DesignSettings& settings)
{
    DesignImport out;
    out.summary.format = format;
    const double tolerance_pu = settings.tolerance_mm * design::PU_PER_MM;
    const design::ImportLimits limits = import_limits(bytes, format, settings.memory_limit);
    design::VectorDesign vectors;
    switch (format) {
    case DesignFormat::svg:
        vectors = design::read_svg(bytes, tolerance_pu, limits);
        break;
    case DesignFormat::dxf:
        vectors = design::read_dxf(bytes, tolerance_pu, limits);
        break;
    case DesignFormat::hpgl:
        vectors = design::read_hpgl(bytes, limits);
        break;
    case DesignFormat::png:
    case DesignFormat::jpeg: {
        const design::Picture picture = format == DesignFormat::png
                                            ? design::read_png(bytes, limits)
                                            : design::read_jpeg(bytes, limits);
        out.summary.warnings = picture.warnings;
        out.job = design::write_raster_job(picture, settings, &out.summary);
        return out;
    }
    case DesignFormat::automatic:
        throw ImportFailure("not a design this import reads");
    }
    out.summary.warnings = vectors.warnings;
    out.job = design::write_vector_job(vectors, settings, &out.summary);
    return out;
}

}  // namespace

const char* design_format_name(DesignFormat format)
{
    // In the enumeration's order.
    static const char* const names[] = {"auto", "svg", "dxf", "hpgl", "png", "jpeg"};
    const auto i = static_cast<std::size_t>(format);
    return i < std::size(names) ? names[i] : "auto";
}

bool design_format_from_name(std::string_view name, DesignFormat* format)
{
    const std::string n = lower(name);
    if (n == "auto" || n.empty()) {
        *format = DesignFormat::automatic;
    } else if (n == "svg") {
        *format = DesignFormat::svg;
    } else if (n == "dxf") {
        *format = DesignFormat::dxf;
    } else if (n == "hpgl" || n == "plt" || n == "hpg" || n == "hgl") {
        *format = DesignFormat::hpgl;
    } else if (n == "png") {
        *format = DesignFormat::png;
    } else if (n == "jpeg" || n == "jpg" || n == "jpe") {
        *format = DesignFormat::jpeg;
    } else {
        return false;
    }
    return true;
}

DesignFormat design_detect_format(std::string_view bytes, std::string_view name)
{
    if (bytes.substr(0, 8) == "\x89PNG\r\n\x1a\n") {
        return DesignFormat::png;
    }
    if (bytes.substr(0, 3) == "\xFF\xD8\xFF") {
        return DesignFormat::jpeg;
    }
    const std::string_view s = content_start(bytes);
    if (!s.empty() && s.front() == '<') {
        return DesignFormat::svg;
    }
    if (looks_like_dxf(s)) {
        return DesignFormat::dxf;
    }
    if (looks_like_hpgl(s)) {
        return DesignFormat::hpgl;
    }
    DesignFormat hinted = DesignFormat::automatic;
    const std::string ext = extension_of(name);
    // Only a plot file may open with anything at all; an extension cannot
    // make a picture or an XML file of other bytes.
    if (design_format_from_name(ext, &hinted) && hinted == DesignFormat::hpgl) {
        return hinted;
    }
    return DesignFormat::automatic;
}

// Why bytes that are no design could not be read.
static std::string unknown_format_reason(std::string_view bytes)
{
    if (bytes.empty()) {
        return "the file is empty";
    }
    if (bytes.substr(0, 2) == "\x1f\x8b") {
        return "a compressed file (SVGZ?): unpack it first";
    }
    if (bytes.substr(0, 22) == "AutoCAD Binary DXF\r\n\x1a") {
        return "a binary DXF: save it as an ASCII DXF";
    }
    return "not an SVG, DXF, HPGL plot file, PNG or JPEG";
}

DesignImport design_import(std::string_view bytes, std::string_view name,
                           const DesignSettings& settings)
{
    const std::string label = name.empty() ? "design" : std::string(name);
    DesignImport out;
    std::string why;
    DesignFormat format = settings.format;
    if (!design_settings_check(settings, &why)) {
        out.error = label + ": " + why;
        return out;
    }
    if (bytes.size() > design::MAX_DESIGN_BYTES) {
        out.error = label + ": larger than the limit of 256 MiB";
        return out;
    }
    if (format == DesignFormat::automatic) {
        format = design_detect_format(bytes, name);
    }
    if (format == DesignFormat::automatic) {
        out.error = label + ": " + unknown_format_reason(bytes);
        return out;
    }
    try {
        out = run_import(bytes, format, settings);
        out.ok = true;
        out.summary.name = std::string(name);
    } catch (const ImportFailure& f) {
        out = DesignImport{};
        out.error = label + ": " + f.what();
    } catch (const std::bad_alloc&) {
        out = DesignImport{};
        out.error = label + ": not enough memory to import it";
    } catch (const std::exception& e) {
        out = DesignImport{};
        out.error = label + ": " + e.what();
    }
    return out;
}

std::string design_job_with_passes(std::string_view bytes, std::string_view name,
                                   const DesignSettings& settings, int pen, int passes)
{
    DesignSettings changed = settings;
    changed.passes[pen] = passes;
    DesignImport result = design_import(bytes, name, changed);
    return result.ok ? std::move(result.job) : std::string();
}
