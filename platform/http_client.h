#pragma once
#include <chrono>
#include <string>
#include <string_view>

namespace tarnisk::platform {

struct HttpRequest {
  std::string host;         // server name without scheme or port
  int port = 80;
  bool secure = false;      // TLS
  std::string verb;         // "GET", "POST", ...
  std::string path;         // object name: path and query, beginning with "/"
  std::string userAgent;
  std::string headerBlock;  // the caller's header lines, each ending in CR LF
  std::string body;         // sent only when sendBody is true
  bool sendBody = false;
};

struct HttpResponse {
  // The header block as received: status line first, every header line with its CR LF, and the
  // empty CR LF line that ends the block. Empty when no response arrived.
  std::string rawHeaders;
  std::string body;
};

// One HTTP/1.1 exchange over a direct connection: no proxy, no cache, no automatic redirect, no
// cookie engine, no header beyond Host, User-Agent and the caller's block. The body is read in
// pieces of at most 2048 bytes; between waits of at most 20 ms the calling thread's pending window
// events are dispatched. A connection not made within the connect time-out, or a response that
// delivers nothing for the idle time-out, ends the exchange with what arrived so far.
HttpResponse PerformHttpRequest(const HttpRequest& request);

namespace testing {
// Sends every request for host:port to 127.0.0.1:loopbackPort instead (tests only).
void MapHostToLoopback(std::string_view host, int port, int loopbackPort);
void ClearHostMappings();
// Shorter time-outs for tests; ResetHttpTimeouts restores 30 s to connect and 60 s idle.
void SetHttpTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
void ResetHttpTimeouts();
}  // namespace testing

}  // namespace tarnisk::platform
