#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace tarnisk::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int SliceMs = 10;
// A client that stops sending half-way through its request is given up after this long, so the
// server moves on to the next connection.
constexpr auto RequestReadBound = std::chrono::seconds(10);
// A client that reads nothing for this long is given up while sending.
constexpr auto SendStallBound = std::chrono::seconds(10);
constexpr std::size_t MaxRequestBytes = 64 * 1024 * 1024;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// Finds the header line named name in a block of CR LF lines and gives its value without leading
// spaces or the line end.
bool FindHeader(std::string_view block, std::string_view name, std::string_view& value) {
  std::size_t lineStart = 0;
  while (lineStart < block.size()) {
    std::size_t lineEnd = block.find("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = block.size();
    std::string_view line = block.substr(lineStart, lineEnd - lineStart);
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), name)) {
      std::string_view rest = line.substr(colon + 1);
      while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
      value = rest;
      return true;
    }
    lineStart = lineEnd + 2;
  }
  return false;
}

void SetNonBlocking(int socket) {
  int flags = fcntl(socket, F_GETFL, 0);
  if (flags >= 0) fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

// Polls one socket for events for at most one slice; true when one of them is ready.
bool PollSlice(int socket, short events) {
  pollfd entry{socket, events, 0};
  return poll(&entry, 1, SliceMs) > 0;
}

// Reads one request; false when the client went away, stalled or the server is stopping first.
bool ReadRequest(int socket, const std::atomic<bool>& stopping, RecordedRequest& request) {
  std::string& raw = request.raw;
  std::size_t headerEnd = std::string::npos;
  std::size_t total = 0;
  bool lengthKnown = false;
  const auto deadline = Clock::now() + RequestReadBound;
  char buffer[16384];
  while (!stopping.load() && Clock::now() < deadline && raw.size() < MaxRequestBytes) {
    if (lengthKnown && raw.size() >= total) break;
    if (!PollSlice(socket, POLLIN)) continue;
    ssize_t got = recv(socket, buffer, sizeof buffer, 0);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      break;
    }
    raw.append(buffer, static_cast<std::size_t>(got));
    if (headerEnd == std::string::npos) {
      headerEnd = raw.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        std::size_t lineEnd = raw.find("\r\n");
        std::string_view block = std::string_view(raw).substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2));
        std::size_t length = 0;
        std::string_view value;
        if (FindHeader(block, "Content-Length", value)) {
          std::from_chars(value.data(), value.data() + value.size(), length);
        }
        total = headerEnd + 4 + length;
        lengthKnown = true;
      }
    }
  }
  if (!lengthKnown || raw.size() < total) return false;
  raw.resize(total);

  std::string_view all = raw;
  std::size_t lineEnd = all.find("\r\n");
  request.requestLine = std::string(all.substr(0, lineEnd));
  request.headerBlock = std::string(all.substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2)));
  request.body = std::string(all.substr(headerEnd + 4));
  std::string_view line = request.requestLine;
  std::size_t firstSpace = line.find(' ');
  request.method = std::string(line.substr(0, firstSpace));
  if (firstSpace != std::string_view::npos) {
    std::size_t secondSpace = line.find(' ', firstSpace + 1);
    request.target = std::string(line.substr(firstSpace + 1, secondSpace == std::string_view::npos
                                                                 ? std::string_view::npos
                                                                 : secondSpace - firstSpace - 1));
  }
  return true;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  std::string_view value;
  return FindHeader(headerBlock, name, value) ? std::string(value) : std::string();
}

bool RecordedRequest::HasHeader(std::string_view name) const {
  std::string_view value;
  return FindHeader(headerBlock, name, value);
}

bool LoopbackExchange::Send(std::string_view bytes) {
  auto lastProgress = Clock::now();
  while (!bytes.empty()) {
    if (closed_ || stopping_.load() || Clock::now() - lastProgress > SendStallBound) return false;
    if (!PollSlice(socket_, POLLOUT)) continue;
    ssize_t sent = send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
    lastProgress = Clock::now();
  }
  return true;
}

bool LoopbackExchange::SendInPieces(std::string_view bytes, std::size_t pieceSize,
                                    std::chrono::milliseconds pause) {
  pieceSize = std::max<std::size_t>(pieceSize, 1);
  while (!bytes.empty()) {
    std::size_t take = std::min(pieceSize, bytes.size());
    if (!Send(bytes.substr(0, take))) return false;
    bytes.remove_prefix(take);
    if (!bytes.empty() && !Pause(pause)) return false;
  }
  return true;
}

bool LoopbackExchange::Pause(std::chrono::milliseconds duration) {
  const auto end = Clock::now() + duration;
  while (Clock::now() < end) {
    if (stopping_.load()) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(SliceMs)));
  }
  return !stopping_.load();
}

void LoopbackExchange::Close() {
  if (!closed_) {
    shutdown(socket_, SHUT_RDWR);
    closed_ = true;
  }
}

void LoopbackExchange::Hang() {
  // Ends early when the client gives up, so that the server can take the next connection.
  char buffer[4096];
  while (!closed_ && !stopping_.load()) {
    if (!PollSlice(socket_, POLLIN)) continue;
    ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
  }
}

std::string PlainResponse(int status, std::string_view reason, std::string_view body,
                          std::initializer_list<std::string_view> extraHeaderLines) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  for (std::string_view line : extraHeaderLines) {
    out.append(line);
    out.append("\r\n");
  }
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  out.append(body);
  return out;
}

int UnusedLoopbackPort() {
  int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

LoopbackHandler FixedResponse(std::string responseBytes) {
  return [bytes = std::move(responseBytes)](LoopbackExchange& exchange) { exchange.Send(bytes); };
}

LoopbackServer::LoopbackServer(LoopbackHandler handler) : handler_(std::move(handler)) {
  listenSocket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenSocket_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(listenSocket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenSocket_, 64) != 0 ||
      getsockname(listenSocket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listenSocket_);
    listenSocket_ = -1;
    return;
  }
  SetNonBlocking(listenSocket_);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listenSocket_ >= 0) close(listenSocket_);
}

std::string LoopbackServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t LoopbackServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds bound) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, bound, [&] { return requests_.size() >= count; });
}

void LoopbackServer::Serve() {
  while (!stopping_.load()) {
    if (!PollSlice(listenSocket_, POLLIN)) continue;
    int client = accept4(listenSocket_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) continue;
    ServeConnection(client);
    close(client);
  }
}

void LoopbackServer::ServeConnection(int socket) {
  RecordedRequest request;
  if (!ReadRequest(socket, stopping_, request)) return;
  std::size_t index;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index = requests_.size();
    requests_.push_back(request);
  }
  arrived_.notify_all();
  LoopbackExchange exchange(socket, stopping_, std::move(request), index);
  if (handler_) handler_(exchange);
  if (!exchange.closed_) {
    // Bytes the client sent beyond the request would turn the close into a reset that can destroy
    // the response still in flight; take them first.
    char buffer[4096];
    for (int round = 0; round < 64 && recv(socket, buffer, sizeof buffer, 0) > 0; ++round) {
    }
    shutdown(socket, SHUT_WR);
  }
}

}  // namespace tarnisk::testing
