// The settings of the estimate service (vemtrac serve), as the command
// line gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "replay/tick_runner.h"

// The service is a program of its own beside vemtrac, which hands
// "vemtrac serve ..." over to it: the HTTP library and the TLS libraries it
// loads would otherwise slow the start of every estimate several times over.
#ifdef _WIN32
inline constexpr const char* serve_program_name = "vemtrac-serve.exe";
#else
inline constexpr const char* serve_program_name = "vemtrac-serve";
#endif

struct ServeOptions {
    std::string host = "127.0.0.1";          // only this computer unless told otherwise
    int port = 8080;
    std::size_t max_body = 64u << 20;        // bytes of one job, 64 MiB
    int queue = 8;                           // estimates that may wait for a machine
    // Estimates run at once, each on a job machine of its own (0: as many
    // as the host has hardware threads).
    unsigned workers = 0;
    std::uint64_t tick_limit = replay_max_job_ticks;  // most ticks of one estimate
    std::uint32_t time_limit_ms = 60000;     // most wall-clock time one estimate may run
    int timeout_s = 30;                      // a stalled client, or a wait for the machine
    int header_timeout_s = 10;               // a request's line and headers must arrive in this
    int body_timeout_s = 30;                 // and its body in this after them
    int connections = 128;                   // requests read at once, besides the estimates' queue
    // What one request may make the service's memory grow by, besides four
    // times its body: 64 MiB.
    std::size_t memory_budget = std::size_t{64} << 20;
    std::string cors;                        // the one origin allowed to call, or none
};
