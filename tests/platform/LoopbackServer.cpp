#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace
{

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Response(const std::string& statusLine, const std::string& headers, const std::string& body)
{
    return "HTTP/1.1 " + statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

std::string QueryValue(const std::string& target, const std::string& key)
{
    const std::size_t at = target.find(key + "=");
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + key.size() + 1;
    return target.substr(start, target.find('&', start) - start);
}

} // namespace

LoopbackServer::LoopbackServer()
{
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0)
        throw std::runtime_error("no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        close(listener);
        throw std::runtime_error("loopback server could not listen");
    }
    port = ntohs(address.sin_port);
    acceptor = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    stopping = true;
    acceptor.join();
    close(listener);
    std::vector<std::thread> running;
    {
        std::lock_guard<std::mutex> lock(mutex);
        running.swap(workers);
    }
    for (std::thread& worker : running)
        worker.join();
}

std::string LoopbackServer::Url(const std::string& target) const
{
    return "http://127.0.0.1:" + std::to_string(port) + target;
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void LoopbackServer::AcceptLoop()
{
    while (!stopping)
    {
        pollfd waiting{listener, POLLIN, 0};
        if (poll(&waiting, 1, 20) <= 0)
            continue;
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int connection = ++opened;
        std::lock_guard<std::mutex> lock(mutex);
        workers.emplace_back([this, fd, connection] {
            Serve(fd, connection);
            close(fd);
            ++closed;
        });
    }
}

bool LoopbackServer::ReadRequest(int fd, Request& request)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos)
    {
        if (stopping || head.size() > 65536)
            return false;
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, 20) <= 0)
            continue;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    std::size_t pos = lineEnd + 2;
    while (pos < head.size())
    {
        lineEnd = head.find("\r\n", pos);
        if (lineEnd == pos || lineEnd == std::string::npos)
            break;
        const std::string line = head.substr(pos, lineEnd - pos);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
        {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[Lower(line.substr(0, colon))] = value;
        }
        pos = lineEnd + 2;
    }
    return true;
}

bool LoopbackServer::SendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size())
    {
        const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0)
        {
            ++hangUps;
            return false;
        }
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

bool LoopbackServer::WaitWhileConnected(int fd, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < end)
    {
        pollfd waiting{fd, POLLIN | POLLRDHUP, 0};
        if (poll(&waiting, 1, 5) > 0)
        {
            char byte;
            if (waiting.revents & (POLLRDHUP | POLLHUP | POLLERR) || recv(fd, &byte, 1, MSG_PEEK) <= 0)
            {
                ++hangUps;
                return false;
            }
        }
    }
    return !stopping;
}

void LoopbackServer::Serve(int fd, int connection)
{
    Request request;
    while (ReadRequest(fd, request))
    {
        request.connection = connection;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
        }
        if (!Answer(fd, request) || request.headers["connection"] == "close")
            return;
        request = Request();
    }
}

bool LoopbackServer::Answer(int fd, const Request& request)
{
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == "/len")
        return SendAll(fd, Response("200 OK", "Content-Type: text/plain; charset=utf-8\r\n", "hello world"));
    if (path == "/big")
    {
        const std::size_t n = std::stoul("0" + QueryValue(request.target, "n"));
        std::string body(n, 'a');
        for (std::size_t i = 0; i < n; ++i)
            body[i] = static_cast<char>('a' + i % 26);
        return SendAll(fd, Response("200 OK", "Content-Type: application/octet-stream\r\n", body));
    }
    if (path == "/chunked")
    {
        if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nTransfer-Encoding: chunked\r\n\r\n"))
            return false;
        for (const std::string chunk : {"alpha", "beta", "gamma"})
        {
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
            if (!SendAll(fd, size + chunk + "\r\n") || !WaitWhileConnected(fd, 20))
                return false;
        }
        return SendAll(fd, "0\r\n\r\n");
    }
    if (path.compare(0, 8, "/status/") == 0)
        return SendAll(fd, Response(path.substr(8) + " Some Status", "Content-Type: text/html\r\n", "<p>no</p>"));
    if (path == "/redirect" || path == "/loop")
    {
        const std::string to = path == "/loop" ? path : QueryValue(request.target, "to");
        return SendAll(fd, Response("302 Found",
                                    "Location: " + (to.empty() ? "/len" : to) + "\r\nContent-Type: text/plain\r\n",
                                    "moved"));
    }
    if (path == "/trickle" || path == "/steady")
    {
        // Long and lively (a package, 10 s) or short and slow with pauses (1 s).
        const bool trickle = path == "/trickle";
        const int pieces = trickle ? 1000 : 20;
        const std::size_t piece = trickle ? 100 : 50;
        if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                             std::to_string(pieces * piece) + "\r\n\r\n"))
            return false;
        for (int i = 0; i < pieces; ++i)
            if (!WaitWhileConnected(fd, trickle ? 10 : 40) || !SendAll(fd, std::string(piece, trickle ? 't' : 's')))
                return false;
        return true;
    }
    if (path == "/nolength")
        SendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end");
    else if (path == "/truncated")
        SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n"
                    "Connection: close\r\n\r\n0123456789");
    else if (path == "/hang")
        WaitWhileConnected(fd, 30000);
    else if (path != "/close")
        return SendAll(fd, Response("404 Not Found", "Content-Type: text/plain\r\n", "unknown"));
    return false;
}
