// Pictures encoded on the spot, for the design import's tests and
// benchmark: PNG (RGBA, 8 bits) or JPEG (grey), the pixels from a function
// of (x, y) giving RGBA as 0xRRGGBBAA.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using PixelFunction = std::function<std::uint32_t(std::uint32_t x, std::uint32_t y)>;

// dpi 0 writes no density.
std::string encode_png(std::uint32_t width, std::uint32_t height, const PixelFunction& rgba,
                       double dpi = 0, bool interlaced = false);
std::string encode_jpeg(std::uint32_t width, std::uint32_t height, const PixelFunction& rgba,
                        int dpi = 0);

// A JPEG's pixels decoded to grey by libjpeg, row after row.
std::vector<unsigned char> decode_grey_jpeg(const std::string& jpeg);
