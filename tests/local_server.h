// Test support: an estimate service of this process on a free loopback
// port, stopped at the end.
#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include <httplib.h>

#include "serve/serve.h"

class LocalServer {
public:
    explicit LocalServer(const ServeOptions& options)
        : server_(make_estimate_server(options, "1.0.0")),
          port_(server_->bind_to_any_port("127.0.0.1")),
          thread_([this] { server_->listen_after_bind(); }),
          client_("127.0.0.1", port_)
    {
        while (!server_->is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LocalServer()
    {
        server_->stop();
        thread_.join();
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Client& client() { return client_; }
    int port() const { return port_; }

private:
    std::unique_ptr<httplib::Server> server_;
    int port_;
    std::thread thread_;
    httplib::Client client_;
};
