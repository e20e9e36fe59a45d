// The estimate service: an HTTP server that runs each job sent to it
// through a job machine, as many at once as it has workers, and answers with the report's
// figures, the timeline and the picture, plus the page that shows them.
#pragma once

#include <memory>
#include <string>

#include "serve/serve_options.h"

namespace httplib {
class Server;
}

// A server with every route set up, not yet listening.
std::unique_ptr<httplib::Server> make_estimate_server(const ServeOptions& options,
                                                      const std::string& version);

// Listens on the host and port given until the process ends; the exit code.
int run_serve(const ServeOptions& options, const char* version);
