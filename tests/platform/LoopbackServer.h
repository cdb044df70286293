#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, one thread per connection, for
// the network tests. It records every request and answers by path:
//   /len            200, Content-Length, "hello world" (text/plain; charset=utf-8)
//   /big?n=N        200, Content-Length, N bytes
//   /chunked        200, chunked, "alpha" "beta" "gamma" a little apart (application/xml)
//   /nolength       200, no length and no type, the body ends when the connection closes
//   /status/N       status N with a short body
//   /redirect?to=T  302 with a short body to T (to /len without "to")
//   /loop           302 to itself
//   /trickle        announces 100000 bytes, sends 100 every 10 ms until the client goes
//   /steady         1000 bytes, 50 every 40 ms
//   /truncated      announces 1000 bytes, sends 10, closes
//   /close          closes before any header
//   /hang           reads the request and never answers
// Connections are kept alive (HTTP/1.1) after every answer that has an end of its own; /nolength,
// /truncated, /close and /hang close theirs.
class LoopbackServer
{
public:
    struct Request
    {
        std::string method;
        std::string target;                         // path and query exactly as sent
        std::map<std::string, std::string> headers; // names in lower case
        int connection = 0;                         // which connection it came on, numbered from 1
    };

    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string Url(const std::string& target) const;
    std::vector<Request> Requests() const;
    // Connections that the client closed while the server was still sending or waiting.
    int ClientHangUps() const { return hangUps.load(); }
    // Connections accepted so far, and those of them still open.
    int OpenedConnections() const { return opened.load(); }
    int OpenConnections() const { return opened.load() - closed.load(); }

private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    // Answers one request; false when the connection is to close.
    bool Answer(int fd, const Request& request);
    bool ReadRequest(int fd, Request& request);
    bool SendAll(int fd, const std::string& bytes);
    // Sleeps up to ms, watching the socket; false when the client closed it or the server stops.
    bool WaitWhileConnected(int fd, int ms);

    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> hangUps{0};
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::thread acceptor;
    mutable std::mutex mutex;
    std::vector<std::thread> workers;
    std::vector<Request> requests;
};
