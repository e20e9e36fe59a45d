// The page of the estimate service, built into the program (web/ at build
// time): no file is read while it serves.
#pragma once

#include <cstddef>
#include <string>

struct WebAsset {
    const char* name;          // file name in web/, e.g. "app.js"
    const unsigned char* data;
    std::size_t size;
};

// The file of that name, or null.
const WebAsset* find_web_asset(const std::string& name);
