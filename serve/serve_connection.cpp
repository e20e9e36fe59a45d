#include "serve/serve_connection.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#endif

#include "base/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// After a request that held this much, free memory goes back to the host.
constexpr std::size_t large_request_bytes = std::size_t{1} << 20;

// What the routes say about the request being answered on this thread.
struct ConnectionState {
    bool close = false;      // close after the answer
    bool timed_out = false;  // a read missed its deadline
    std::size_t memory = 0;  // the most the request held, bytes
};
thread_local ConnectionState* current_connection = nullptr;

// When the connection this thread was given was accepted.
thread_local Clock::time_point accepted_at;

// Waits until the socket can be read (or written) for at most timeout_ms;
// true when it can.
bool wait_socket(socket_t sock, bool write, int timeout_ms)
{
#ifdef _WIN32
    WSAPOLLFD p{sock, static_cast<SHORT>(write ? POLLOUT : POLLIN), 0};
    return WSAPoll(&p, 1, timeout_ms) > 0;
#else
    pollfd p{sock, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    int ready = 0;
    do {
        ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
#endif
}

// One recv or send; what it returns.
ssize_t transfer(socket_t sock, char* data, std::size_t size, bool write)
{
#ifdef _WIN32
    const int n = static_cast<int>(std::min<std::size_t>(size, 1u << 30));
    return write ? send(sock, data, n, 0) : recv(sock, data, n, 0);
#else
    ssize_t done = 0;
    do {
        done = write ? send(sock, data, size, MSG_NOSIGNAL) : recv(sock, data, size, 0);
    } while (done < 0 && errno == EINTR);
    return done;
#endif
}

// The numeric address and port of one end of a connection.
void socket_address(socket_t sock, bool peer, std::string& ip, int& port)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    auto* at = reinterpret_cast<sockaddr*>(&address);
    char host[64] = {}, service[16] = {};
    if ((peer ? getpeername(sock, at, &size) : getsockname(sock, at, &size)) == 0 &&
        getnameinfo(at, size, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// A connection's stream: reads fail once the request's deadline has
// passed (what had arrived by then is still read), and every read or
// write waits at most the silence allowed.
class DeadlineStream final : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, std::chrono::milliseconds silence)
        : sock_(sock), silence_(silence)
    {
    }

    // The time by which what is being read must have arrived.
    void set_deadline(Clock::time_point deadline) { deadline_ = deadline; }

    // Waits up to the time given for the next request to start.
    bool wait_for_request(std::chrono::milliseconds time) const
    {
        return begin_ < end_ || wait_socket(sock_, false, static_cast<int>(time.count()));
    }

    bool is_readable() const override { return begin_ < end_ || wait_readable(); }
    bool is_writable() const override
    {
        return wait_socket(sock_, true, static_cast<int>(silence_.count()));
    }

    ssize_t read(char* ptr, std::size_t size) override
    {
        if (begin_ == end_) {
            if (!wait_readable()) {
                return -1;
            }
            if (size >= buffer_.size()) {
                return transfer(sock_, ptr, size, false);
            }
            const ssize_t got = transfer(sock_, buffer_.data(), buffer_.size(), false);
            if (got <= 0) {
                return got;
            }
            begin_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
        const std::size_t n = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_.data() + begin_, n);
        begin_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, std::size_t size) override
    {
        return is_writable() ? transfer(sock_, const_cast<char*>(ptr), size, true) : -1;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        socket_address(sock_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        socket_address(sock_, false, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    // Waits for bytes to read until the deadline (what has arrived by
    // then is taken at once) and at most the silence allowed.
    bool wait_readable() const
    {
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
            const auto wait = std::clamp(left, std::chrono::milliseconds(0), silence_);
            if (wait_socket(sock_, false, static_cast<int>(wait.count()))) {
                return true;
            }
            if (Clock::now() >= deadline_) {
                if (current_connection != nullptr) {
                    current_connection->timed_out = true;
                }
                return false;
            }
            if (wait == silence_) {
                return false;
            }
        }
    }

    socket_t sock_;
    std::chrono::milliseconds silence_;
    Clock::time_point deadline_ = Clock::time_point::max();
    std::array<char, 4096> buffer_{};
    std::size_t begin_ = 0, end_ = 0;
};

// The threads that serve connections, each connection stamped with the
// time it was accepted: its first request's deadline runs from then.
class ConnectionPool final : public httplib::TaskQueue {
public:
    explicit ConnectionPool(std::size_t threads) : pool_(threads) {}
    void enqueue(std::function<void()> fn) override
    {
        pool_.enqueue([fn = std::move(fn), at = Clock::now()] {
            accepted_at = at;
            fn();
        });
    }
    void shutdown() override { pool_.shutdown(); }

private:
    httplib::ThreadPool pool_;
};

// How long a connection closed with its request unread is still read
// from (and what comes dropped): a client that sends its whole body
// before it reads the answer then reads it, where closing at once could
// reset the connection under the answer.
constexpr std::chrono::seconds linger_time{2};

// Closes a connection, both ways; with linger, after the client has had
// linger_time to send what it still would.
void close_connection(socket_t sock, bool linger)
{
#ifdef _WIN32
    const int write_side = SD_SEND, both = SD_BOTH;
#else
    const int write_side = SHUT_WR, both = SHUT_RDWR;
#endif
    if (linger && shutdown(sock, write_side) == 0) {
        const Clock::time_point end = Clock::now() + linger_time;
        char dropped[16384];
        while (Clock::now() < end) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (!wait_socket(sock, false, static_cast<int>(left.count())) ||
                transfer(sock, dropped, sizeof dropped, false) <= 0) {
                break;
            }
        }
    }
    shutdown(sock, both);
#ifdef _WIN32
    closesocket(sock);
#else
    close(sock);
#endif
}

}  // namespace

EstimateServer::EstimateServer(const ServeOptions& options)
    : header_time_(std::chrono::seconds(options.header_timeout_s)),
      body_time_(std::chrono::seconds(options.body_timeout_s)),
      silence_(std::chrono::seconds(options.timeout_s))
{
    // The requests being read have threads of their own: an estimate holds
    // one of the queue's (those waiting and those running, one per worker),
    // never one of theirs, and beyond the queue an estimate is turned away
    // at once.
    const auto threads = static_cast<std::size_t>(options.connections) +
                         static_cast<std::size_t>(options.queue) +
                         std::max<std::size_t>(options.workers, 1);
    new_task_queue = [threads] { return new ConnectionPool(threads); };
}

bool EstimateServer::process_and_close_socket(socket_t sock)
{
    DeadlineStream stream(sock, silence_);
    ConnectionState state;
    current_connection = &state;
    bool served = false;
    for (std::size_t n = 0; n < keep_alive_max_count_ && svr_sock_ != INVALID_SOCKET; ++n) {
        if (n > 0 && !stream.wait_for_request(std::chrono::seconds(keep_alive_timeout_sec_))) {
            break;
        }
        state = ConnectionState{};
        stream.set_deadline((n == 0 ? accepted_at : Clock::now()) + header_time_);
        bool closed = false;
        served = process_request(
            stream, n + 1 == keep_alive_max_count_, closed,
            [&](httplib::Request&) { stream.set_deadline(Clock::now() + body_time_); });
        if (state.memory >= large_request_bytes) {
            platform::return_free_memory();
        }
        if (!served || closed || state.close) {
            break;
        }
    }
    current_connection = nullptr;
    close_connection(sock, state.close && !state.timed_out);
    return served;
}

void connection_close_after_answer()
{
    if (current_connection != nullptr) {
        current_connection->close = true;
    }
}

bool connection_closing()
{
    return current_connection != nullptr && current_connection->close;
}

bool connection_timed_out()
{
    return current_connection != nullptr && current_connection->timed_out;
}

void connection_note_memory(std::size_t bytes)
{
    if (current_connection != nullptr) {
        current_connection->memory = std::max(current_connection->memory, bytes);
    }
}
