// The estimate service's API as an OpenAPI document.
#pragma once

#include <string>

// The document, for the service of that version.
std::string openapi_text(const std::string& version);
