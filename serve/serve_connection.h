// The estimate service's connections: each request must arrive within its
// deadlines (the request line and headers, then the body), a connection
// that misses one is closed, and the threads that read requests are never
// the ones the estimates wait on. The routes say from inside a request
// when its connection must close after the answer and how much memory the
// request held, which goes back to the host once the answer is sent.
#pragma once

#include <chrono>
#include <cstddef>

#include <httplib.h>

#include "serve/serve_options.h"

// An HTTP server whose connections keep the service's deadlines.
class EstimateServer : public httplib::Server {
public:
    explicit EstimateServer(const ServeOptions& options);

private:
    // Serves the requests of one connection, then closes it.
    bool process_and_close_socket(socket_t sock) override;

    std::chrono::milliseconds header_time_;  // for the request line and headers
    std::chrono::milliseconds body_time_;    // for the body, from the end of the headers
    std::chrono::milliseconds silence_;      // the longest wait for one read or write
};

// The connection of the request being answered on this thread closes
// after the answer (its body, or the rest of it, was never read).
void connection_close_after_answer();

// True when this thread's connection must close after its answer.
bool connection_closing();

// True when the request being read on this thread missed a deadline.
bool connection_timed_out();

// Notes memory the request being answered on this thread held (its body,
// what its answer kept): after a large request, free memory goes back to
// the host.
void connection_note_memory(std::size_t bytes);
