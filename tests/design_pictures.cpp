#include "design_pictures.h"

#include <vector>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <spng.h>

std::string encode_png(std::uint32_t width, std::uint32_t height, const PixelFunction& rgba,
                       double dpi, bool interlaced)
{
    std::vector<unsigned char> pixels(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t c = rgba(x, y);
            unsigned char* p = &pixels[(std::size_t{y} * width + x) * 4];
            p[0] = static_cast<unsigned char>(c >> 24), p[1] = static_cast<unsigned char>(c >> 16);
            p[2] = static_cast<unsigned char>(c >> 8), p[3] = static_cast<unsigned char>(c);
        }
    }
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{width,
                   height,
                   8,
                   SPNG_COLOR_TYPE_TRUECOLOR_ALPHA,
                   0,
                   0,
                   static_cast<std::uint8_t>(interlaced ? 1 : 0)};
    spng_set_ihdr(ctx, &ihdr);
    if (dpi > 0) {
        const auto ppm = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
        spng_phys phys{ppm, ppm, 1};
        spng_set_phys(ctx, &phys);
    }
    std::string out;
    if (spng_encode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) ==
        0) {
        std::size_t size = 0;
        int err = 0;
        void* buf = spng_get_png_buffer(ctx, &size, &err);
        out.assign(static_cast<const char*>(buf), size);
        std::free(buf);
    }
    spng_ctx_free(ctx);
    return out;
}

std::string encode_jpeg(std::uint32_t width, std::uint32_t height, const PixelFunction& rgba,
                        int dpi)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (dpi > 0) {
        cinfo.density_unit = 1;
        cinfo.X_density = cinfo.Y_density = static_cast<UINT16>(dpi);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(width);
    while (cinfo.next_scanline < height) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t c = rgba(x, cinfo.next_scanline);
            row[x] = static_cast<unsigned char>(
                ((c >> 24) * 299 + ((c >> 16) & 255) * 587 + ((c >> 8) & 255) * 114) / 1000);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buf), size);
    std::free(buf);
    return out;
}

std::vector<unsigned char> decode_grey_jpeg(const std::string& jpeg)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> grey(std::size_t{cinfo.output_width} * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &grey[std::size_t{cinfo.output_scanline} * cinfo.output_width];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return grey;
}
