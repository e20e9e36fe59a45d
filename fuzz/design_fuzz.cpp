// Fuzz target: any bytes as a design (SVG, DXF, HPGL plot file, PNG or
// JPEG). The import must end every one cleanly, in a job or an error: no
// crash, no undefined behaviour, no hang, no unbounded memory; a job it
// writes opens with the version entry and its summary is JSON.
//
// A first byte of 1 to 5 forces the format (svg, dxf, hpgl, png, jpeg) for
// the rest of the input; any other input is read as it comes, its format
// found from its content. The input's length varies the cutting order and
// whether blank rows of pictures are kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "design/design_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    DesignSettings settings;
    static const DesignFormat forced[] = {DesignFormat::svg, DesignFormat::dxf, DesignFormat::hpgl,
                                          DesignFormat::png, DesignFormat::jpeg};
    if (size > 0 && data[0] >= 1 && data[0] <= 5) {
        settings.format = forced[data[0] - 1];
        bytes.remove_prefix(1);
    }
    settings.order = static_cast<CutOrder>(size % 3);
    settings.keep_blank = size % 2 == 0;
    const DesignImport r = design_import(bytes, "fuzz", settings);
    if (r.ok) {
        if (r.job.rfind("VemtracCmdVer 1\n", 0) != 0) {
            std::abort();
        }
        if (nlohmann::json::parse(design_summary_json(r.summary), nullptr, false).is_discarded()) {
            std::abort();
        }
        (void)design_summary_text(r.summary);
    } else if (r.error.rfind("fuzz: ", 0) != 0) {
        std::abort();
    }
    return 0;
}
