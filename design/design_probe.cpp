// design_probe: imports one design and prints its summary (JSON, or the
// console text with --text) and, with --job FILE, writes the job. For the
// tests that hold the import against tools of others; the operator's
// command is vemtrac's own.
//
// Usage: design_probe DESIGN [--text] [--job FILE] [--settings JSON] [--memory-mib N]
//                     [NAME=VALUE...]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "design/design_import.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: design_probe DESIGN [--text] [--job FILE] "
                             "[--settings JSON] [--memory-mib N] [NAME=VALUE...]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "design_probe: cannot open %s\n", argv[1]);
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    DesignSettings settings;
    bool text = false;
    std::string job_path, error;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--text") {
            text = true;
        } else if (arg == "--job" && i + 1 < argc) {
            job_path = argv[++i];
        } else if (arg == "--memory-mib" && i + 1 < argc) {
            settings.memory_limit = std::stoul(argv[++i]) << 20;
        } else if (arg == "--settings" && i + 1 < argc) {
            if (!design_settings_from_json(argv[++i], &settings, &error)) {
                std::fprintf(stderr, "design_probe: %s\n", error.c_str());
                return 2;
            }
        } else if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            if (!design_setting_set(&settings, arg.substr(0, eq), arg.substr(eq + 1), &error)) {
                std::fprintf(stderr, "design_probe: %s\n", error.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "design_probe: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    const DesignImport result = design_import(bytes.str(), argv[1], settings);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    if (!job_path.empty()) {
        std::ofstream out(job_path, std::ios::binary);
        out << result.job;
        out.close();
        if (!out) {
            std::fprintf(stderr, "design_probe: cannot write %s\n", job_path.c_str());
            return 1;
        }
    }
    std::cout << (text ? design_summary_text(result.summary)
                       : design_summary_json(result.summary) + "\n");
    return 0;
}
