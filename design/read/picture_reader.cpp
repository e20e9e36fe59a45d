// PNG and JPEG pictures, decoded a row at a time into one bit per pixel
// (burns or not), so that a 20000 x 20000 picture takes 50 MB and never
// the gigabytes of its decoded colours.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <spng.h>

#include "design/read/design_readers.h"

namespace design {

namespace {

// Largest chunk, and all ancillary chunks together, a PNG may hold: text
// and profile chunks beyond these are refused rather than read.
constexpr std::size_t PNG_CHUNK_LIMIT = 64u << 20;
// The JPEG decoder's own working memory (a progressive picture keeps all
// its coefficients): past it the picture is refused.
constexpr long JPEG_MEMORY_LIMIT = 768L << 20;

// A pixel burns when its luma (ITU-R BT.601, as JPEG's own Y) is under half
// and its opacity over half; values 0..255.
bool burns(unsigned r, unsigned g, unsigned b, unsigned alpha)
{
    return 2 * (299 * r + 587 * g + 114 * b) < 255 * 1000 && 2 * alpha > 255;
}

// Bytes a row of pixels takes beside the bits while it is decoded: the row
// as RGBA and the decoder's own rows (up to 16 bits a channel, the previous
// row too).
constexpr std::uint64_t ROW_BYTES_PER_PIXEL = 24;

// Checks the size (and the memory the bits and a row take, when the
// limits give an allowance) and sets up the bits.
void start_picture(Picture* p, std::uint64_t width, std::uint64_t height,
                   const ImportLimits& limits)
{
    if (width == 0 || height == 0) {
        throw ImportFailure("the picture has no pixels");
    }
    if (width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE ||
        width * height > static_cast<std::uint64_t>(MAX_PIXELS)) {
        throw ImportFailure("the picture is " + std::to_string(width) + " x " +
                            std::to_string(height) +
                            " pixels, more than the limit of 400 million (20000 x 20000)");
    }
    const std::uint64_t words_per_row = (width + 63) / 64;
    const std::uint64_t need = words_per_row * 8 * height + width * ROW_BYTES_PER_PIXEL;
    if (limits.memory != 0 && need > limits.memory) {
        throw ImportFailure("the picture's " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels need " + memory_text(need) +
                            " to read, more than the " + memory_text(limits.memory) +
                            " of memory allowed");
    }
    p->width = static_cast<std::uint32_t>(width);
    p->height = static_cast<std::uint32_t>(height);
    p->words_per_row = words_per_row;
    p->bits.assign(p->words_per_row * height, 0);
}

void set_burn(Picture* p, std::uint32_t x, std::uint32_t y)
{
    p->bits[y * p->words_per_row + x / 64] |= std::uint64_t{1} << (x % 64);
}

// The bits of n (at most 64) grey pixels, pixel i at bit i: a grey pixel
// burns when 2 * 1000 g < 255 * 1000 (burns() with r = g = b and opaque),
// that is when g < 128, its top bit clear. Eight pixels at a time: their
// bytes in one word, each top bit cleared-to-set moved to the byte's
// bottom, and the eight gathered by one multiplication (byte k's bit lands
// at bit 56 + k, with no carry between them).
std::uint64_t grey_word(const unsigned char* px, std::uint32_t n)
{
    std::uint64_t word = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const unsigned char* q = px + i;
        const std::uint64_t eight =
            std::uint64_t{q[0]} | std::uint64_t{q[1]} << 8 | std::uint64_t{q[2]} << 16 |
            std::uint64_t{q[3]} << 24 | std::uint64_t{q[4]} << 32 | std::uint64_t{q[5]} << 40 |
            std::uint64_t{q[6]} << 48 | std::uint64_t{q[7]} << 56;
        const std::uint64_t dark = (~eight >> 7) & 0x0101010101010101u;
        word |= ((dark * 0x0102040810204080u) >> 56) << i;
    }
    for (; i < n; ++i) {
        word |= std::uint64_t{px[i] < 128} << i;
    }
    return word;
}

// The bits of n (at most 64) RGBA pixels, pixel i at bit i.
std::uint64_t rgba_word(const unsigned char* px, std::uint32_t n)
{
    std::uint64_t word = 0;
    for (std::uint32_t i = 0; i < n; ++i, px += 4) {
        word |= std::uint64_t{burns(px[0], px[1], px[2], px[3])} << i;
    }
    return word;
}

// Row y's bits from a whole row of pixels of the given size, a word of 64
// pixels at a time.
template <typename WordOf>
void pack_row(Picture* p, std::uint32_t y, const unsigned char* row, std::size_t pixel_size,
              WordOf word_of)
{
    std::uint64_t* out = &p->bits[y * p->words_per_row];
    for (std::uint32_t x = 0; x < p->width; x += 64) {
        const std::uint32_t n = p->width - x < 64 ? p->width - x : 64;
        out[x / 64] = word_of(row + std::size_t{x} * pixel_size, n);
    }
}

// Adam7: the first column and the column step of each pass.
constexpr std::uint32_t ADAM7_COLUMN[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::uint32_t ADAM7_STEP[7] = {8, 8, 4, 4, 2, 2, 1};

struct PngContext {
    spng_ctx* ctx = spng_ctx_new(0);
    ~PngContext() { spng_ctx_free(ctx); }
};

// The pixels an interlaced PNG's row of one pass holds, in place.
void interlaced_row(Picture* p, const spng_row_info& info, const unsigned char* row)
{
    const int pass = info.pass;
    for (std::uint32_t x = ADAM7_COLUMN[pass]; x < p->width; x += ADAM7_STEP[pass]) {
        const unsigned char* px = &row[std::size_t{x} * 4];
        if (burns(px[0], px[1], px[2], px[3])) {
            set_burn(p, x, info.row_num);
        }
    }
}

[[noreturn]] void png_failure(const char* what, int err)
{
    throw ImportFailure(std::string(what) + ": " + spng_strerror(err));
}

}  // namespace

Picture read_png(std::string_view bytes, const ImportLimits& limits)
{
    PngContext png;
    if (png.ctx == nullptr) {
        throw ImportFailure("not enough memory to read the PNG");
    }
    // The picture's own limits are checked below, with a message of ours.
    spng_set_image_limits(png.ctx, 0x7fffffffu, 0x7fffffffu);
    spng_set_chunk_limits(png.ctx, PNG_CHUNK_LIMIT, PNG_CHUNK_LIMIT);
    spng_set_png_buffer(png.ctx, bytes.data(), bytes.size());
    spng_ihdr ihdr{};
    if (const int err = spng_get_ihdr(png.ctx, &ihdr); err != 0) {
        png_failure("the PNG's header cannot be read", err);
    }
    Picture picture;
    start_picture(&picture, ihdr.width, ihdr.height, limits);
    spng_phys phys{};
    if (spng_get_phys(png.ctx, &phys) == 0 && phys.unit_specifier == 1 && phys.ppu_x > 0 &&
        phys.ppu_y > 0) {
        picture.dpi_x = phys.ppu_x * 0.0254;  // pixels per metre to per inch
        picture.dpi_y = phys.ppu_y * 0.0254;
    }
    if (const int err = spng_decode_image(png.ctx, nullptr, 0, SPNG_FMT_RGBA8,
                                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
        err != 0) {
        png_failure("the PNG cannot be decoded", err);
    }
    std::vector<unsigned char> row(std::size_t{picture.width} * 4);
    for (;;) {
        spng_row_info info{};
        if (const int err = spng_get_row_info(png.ctx, &info); err != 0) {
            if (err == SPNG_EOI) {
                break;
            }
            png_failure("the PNG is damaged", err);
        }
        const int err = spng_decode_row(png.ctx, row.data(), row.size());
        if (err != 0 && err != SPNG_EOI) {
            png_failure("the PNG is damaged or cut short", err);
        }
        if (ihdr.interlace_method == 0) {
            pack_row(&picture, info.row_num, row.data(), 4, rgba_word);
        } else {
            interlaced_row(&picture, info, row.data());
        }
        if (err == SPNG_EOI) {
            break;
        }
    }
    return picture;
}

namespace {

// The decoder's error handler leaves through longjmp; the message is kept.
struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void jpeg_error_exit(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

extern "C" void jpeg_quiet(j_common_ptr, int) {}

// A 16- or 32-bit value of an EXIF block in its byte order.
std::uint32_t exif_value(const unsigned char* p, int size, bool little)
{
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) {
        const int k = little ? size - 1 - i : i;
        v = (v << 8) | p[k];
    }
    return v;
}

// The density an EXIF block gives (XResolution, YResolution and their
// unit), in pixels per inch; false when it gives none.
bool exif_density(const unsigned char* data, std::size_t size, double* dpi_x, double* dpi_y)
{
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        return false;
    }
    const unsigned char* tiff = data + 6;
    const std::size_t n = size - 6;
    const bool little = tiff[0] == 'I';
    const std::uint32_t ifd = exif_value(tiff + 4, 4, little);
    if (ifd + 2 > n) {
        return false;
    }
    const std::uint32_t count = exif_value(tiff + ifd, 2, little);
    double res[2] = {0, 0};
    std::uint32_t unit = 2;
    for (std::uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= n; ++i) {
        const unsigned char* e = tiff + ifd + 2 + 12 * i;
        const std::uint32_t tag = exif_value(e, 2, little);
        if (tag == 0x011A || tag == 0x011B) {
            const std::uint32_t at = exif_value(e + 8, 4, little);
            if (at + 8 <= n) {
                const double num = exif_value(tiff + at, 4, little);
                const double den = exif_value(tiff + at + 4, 4, little);
                res[tag - 0x011A] = den > 0 ? num / den : 0;
            }
        } else if (tag == 0x0128) {
            unit = exif_value(e + 8, 2, little);
        }
    }
    if (res[0] <= 0 || res[1] <= 0 || (unit != 2 && unit != 3)) {
        return false;
    }
    const double per_inch = unit == 3 ? 2.54 : 1.0;
    *dpi_x = res[0] * per_inch;
    *dpi_y = res[1] * per_inch;
    return true;
}

// The density of a decoder that has read the header: JFIF's, else EXIF's.
void jpeg_density(const jpeg_decompress_struct& cinfo, Picture* picture)
{
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2) &&
        cinfo.X_density > 0 && cinfo.Y_density > 0) {
        const double per_inch = cinfo.density_unit == 2 ? 2.54 : 1.0;
        picture->dpi_x = cinfo.X_density * per_inch;
        picture->dpi_y = cinfo.Y_density * per_inch;
        return;
    }
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 &&
            exif_density(m->data, m->data_length, &picture->dpi_x, &picture->dpi_y)) {
            return;
        }
    }
}

// One decoded row into bits: grey, or CMYK (Adobe's inverted form).
void jpeg_row(const jpeg_decompress_struct& cinfo, const JSAMPLE* row, std::uint32_t y,
              Picture* picture)
{
    if (cinfo.out_color_space != JCS_CMYK) {
        pack_row(picture, y, row, 1, grey_word);
        return;
    }
    const bool inverted = cinfo.saw_Adobe_marker;
    for (std::uint32_t x = 0; x < picture->width; ++x) {
        const JSAMPLE* p = row + std::size_t{x} * 4;
        const unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
        const unsigned r = inverted ? c * k / 255 : (255 - c) * (255 - k) / 255;
        const unsigned g = inverted ? m * k / 255 : (255 - m) * (255 - k) / 255;
        const unsigned b = inverted ? ye * k / 255 : (255 - ye) * (255 - k) / 255;
        if (burns(r, g, b, 255)) {
            set_burn(picture, x, y);
        }
    }
}

// Decodes with the error handler armed. Nothing here has a destructor: the
// handler leaves through longjmp. Returns false with errors->message.
bool decode_jpeg(jpeg_decompress_struct* cinfo, JpegErrors* errors, std::string_view bytes,
                 const ImportLimits& limits, Picture* picture)
{
    if (setjmp(errors->jump) != 0) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = JPEG_MEMORY_LIMIT;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    // The picture's size is checked before any pixel is decoded.
    start_picture(picture, cinfo->image_width, cinfo->image_height, limits);
    // The decoder's own memory comes out of what the bits leave.
    if (limits.memory != 0) {
        const std::size_t bits = picture->bits.size() * sizeof(std::uint64_t);
        const std::size_t left = limits.memory > bits ? limits.memory - bits : 0;
        cinfo->mem->max_memory_to_use =
            static_cast<long>(std::min<std::size_t>(left, JPEG_MEMORY_LIMIT));
    }
    jpeg_density(*cinfo, picture);
    jpeg_start_decompress(cinfo);
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
        cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components), 1);
    while (cinfo->output_scanline < cinfo->output_height) {
        const std::uint32_t y = cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, row, 1);
        jpeg_row(*cinfo, row[0], y, picture);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

Picture read_jpeg(std::string_view bytes, const ImportLimits& limits)
{
    Picture picture;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpeg_error_exit;
    errors.mgr.emit_message = jpeg_quiet;
    bool ok = false;
    try {
        ok = decode_jpeg(&cinfo, &errors, bytes, limits, &picture);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    const long warnings = errors.mgr.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        throw ImportFailure(std::string("the JPEG cannot be decoded: ") + errors.message);
    }
    if (warnings > 0) {
        picture.warnings.push_back("the JPEG is damaged or cut short: its missing part is "
                                   "taken as blank");
    }
    return picture;
}

}  // namespace design
