// The serve form in a build without an HTTP library (a cross build without
// the cpp-httplib of scripts/windows-deps.sh): it says so and fails.
#include <cstdio>

#include "app/serve.h"

int run_serve(const ServeOptions&, const char*)
{
    std::fputs("vemtrac: this build has no estimate service (built without cpp-httplib)\n", stderr);
    return 1;
}
