#pragma once
// A scripted HTTP server on 127.0.0.1 for tests. It listens on a free port, serves one connection
// at a time on one background thread, records the raw bytes of every request and lets the test's
// handler answer with exact bytes: whole responses, pieces with pauses between them, a connection
// closed mid-body, or no answer at all. Every wait inside it is bounded and ends at once when the
// server is destroyed, so a test that hangs a client never hangs the suite.
//
// One request per connection: after the handler returns the connection is closed, which also ends a
// response that announces no length.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnisk::testing {

struct RecordedRequest {
  std::string raw;          // every byte received: request line, header lines, blank line, body
  std::string requestLine;  // without its CR LF, e.g. "GET /a?b HTTP/1.1"
  std::string method;
  std::string target;       // the object name of the request line: path and query
  std::string headerBlock;  // the header lines after the request line, each with its CR LF
  std::string body;         // read by Content-Length

  // The value of the first header named name (ASCII case ignored), without leading spaces; empty
  // when absent. HasHeader tells an absent header from an empty one.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

// What a handler sees and answers through for one request.
class LoopbackExchange {
 public:
  const RecordedRequest& request() const { return request_; }
  // Zero-based number of this request among all the server has received.
  std::size_t index() const { return index_; }

  // Sends bytes exactly as given. False when the client has gone or the server is stopping.
  bool Send(std::string_view bytes);
  // Sends bytes in pieces of pieceSize with pause between them (trickling).
  bool SendInPieces(std::string_view bytes, std::size_t pieceSize, std::chrono::milliseconds pause);
  // Waits for duration; returns false early when the server is stopping.
  bool Pause(std::chrono::milliseconds duration);
  // Closes the connection now, for a response cut off in the middle.
  void Close();
  // Never answers: holds the connection open until the server is destroyed.
  void Hang();

 private:
  friend class LoopbackServer;
  LoopbackExchange(int socket, const std::atomic<bool>& stopping, RecordedRequest request,
                   std::size_t index)
      : socket_(socket), stopping_(stopping), request_(std::move(request)), index_(index) {}

  int socket_;
  const std::atomic<bool>& stopping_;
  RecordedRequest request_;
  std::size_t index_;
  bool closed_ = false;
};

using LoopbackHandler = std::function<void(LoopbackExchange&)>;

// "HTTP/1.1 <status> <reason>" + CR LF, the extra header lines (each given without CR LF), a
// Content-Length line for body, "Connection: close", the blank line and body.
std::string PlainResponse(int status, std::string_view reason, std::string_view body,
                          std::initializer_list<std::string_view> extraHeaderLines = {});
// A port on 127.0.0.1 that nothing listens on at the moment of the call (for refused connections).
int UnusedLoopbackPort();

// A handler that answers every request with the same bytes.
LoopbackHandler FixedResponse(std::string responseBytes);

class LoopbackServer {
 public:
  explicit LoopbackServer(LoopbackHandler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // The port it listens on; 0 when no socket could be opened (every test using it then fails).
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(std::string_view path = "/") const;

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  // Waits until at least count requests have arrived, at most for bound.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds bound) const;

 private:
  void Serve();
  void ServeConnection(int socket);

  LoopbackHandler handler_;
  int listenSocket_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<RecordedRequest> requests_;
  std::thread thread_;
};

}  // namespace tarnisk::testing
