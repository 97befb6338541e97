#include "platform/http_client.h"

#include <curl/curl.h>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/event_pump.h"

namespace tarnisk::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds DefaultConnectTimeout{30000};
constexpr std::chrono::milliseconds DefaultIdleTimeout{60000};
constexpr int WaitSliceMs = 20;
constexpr long ReadPieceBytes = 2048;

std::atomic<long long> connectTimeoutMs{DefaultConnectTimeout.count()};
std::atomic<long long> idleTimeoutMs{DefaultIdleTimeout.count()};

std::mutex& MappingMutex() {
  static std::mutex mutex;
  return mutex;
}

// "host:port" -> loopback port.
std::map<std::string, int>& HostMappings() {
  static std::map<std::string, int> mappings;
  return mappings;
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A body announced as longer than this still arrives whole, only without room made in advance.
constexpr curl_off_t MaxReservedBody = 64 << 20;

struct Transfer {
  CURL* easy = nullptr;
  HttpResponse response;
  Clock::time_point lastByte = Clock::now();
};

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::size_t length = size * count;
  std::string_view line(data, length);
  // An interim 1xx answer comes before the real one; only the last block is the response's own.
  if (line.starts_with("HTTP/")) transfer->response.rawHeaders.clear();
  transfer->response.rawHeaders.append(line);
  transfer->lastByte = Clock::now();
  curl_off_t announced = -1;
  if (line == "\r\n" && curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
      announced > 0 && announced <= MaxReservedBody) {
    transfer->response.body.reserve(static_cast<std::size_t>(announced));
  }
  return length;
}

std::size_t OnBodyPiece(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::size_t length = size * count;
  transfer->response.body.append(data, length);
  transfer->lastByte = Clock::now();
  return length;
}

bool HoldsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool HasHeaderNamed(const std::string& block, std::string_view name) {
  std::size_t lineStart = 0;
  while (lineStart < block.size()) {
    std::size_t lineEnd = block.find("\r\n", lineStart);
    if (lineEnd == std::string::npos) lineEnd = block.size();
    if (lineEnd - lineStart > name.size() && block[lineStart + name.size()] == ':') {
      bool same = true;
      for (std::size_t i = 0; i < name.size() && same; ++i) {
        char c = block[lineStart + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        char n = name[i];
        if (n >= 'A' && n <= 'Z') n = static_cast<char>(n - 'A' + 'a');
        same = c == n;
      }
      if (same) return true;
    }
    lineStart = lineEnd + 2;
  }
  return false;
}

// The header lines of the request: the caller's block line by line, then empty lines that keep
// curl from adding headers of its own. Null when the block cannot be sent as it stands.
curl_slist* BuildHeaderList(const HttpRequest& request, bool& usable) {
  usable = true;
  curl_slist* list = nullptr;
  auto add = [&](const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) usable = false;
    else list = grown;
  };
  const std::string& block = request.headerBlock;
  std::size_t lineStart = 0;
  while (usable && lineStart < block.size()) {
    std::size_t lineEnd = block.find("\r\n", lineStart);
    if (lineEnd == std::string::npos) lineEnd = block.size();
    std::string line = block.substr(lineStart, lineEnd - lineStart);
    // A stray line break inside a line would split it into a header the caller never wrote.
    if (HoldsLineBreakOrNul(line)) usable = false;
    else if (!line.empty()) add(line);
    lineStart = lineEnd + 2;
  }
  for (std::string_view own : {"Accept", "Expect", "Content-Type"}) {
    if (usable && !HasHeaderNamed(block, own)) add(std::string(own) + ":");
  }
  if (!usable) {
    curl_slist_free_all(list);
    return nullptr;
  }
  return list;
}

// The object name as it goes on the request line: a space or control byte would break the line,
// so those bytes travel percent-encoded; everything else goes byte for byte.
std::string RequestTarget(std::string_view path) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string target;
  target.reserve(path.size());
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      target.push_back('%');
      target.push_back(Hex[byte >> 4]);
      target.push_back(Hex[byte & 0x0F]);
    } else {
      target.push_back(c);
    }
  }
  if (target.empty() || target.front() != '/') target.insert(target.begin(), '/');
  return target;
}

bool ValidHost(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '/' || c == '@' || c == '?' || c == '#' || c == '\\') return false;
  }
  return true;
}

bool ValidVerb(std::string_view verb) {
  if (verb.empty()) return false;
  for (char c : verb) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
  }
  return true;
}

// Owns the curl handles of one exchange, so that every path out of PerformHttpRequest frees them.
struct Handles {
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  curl_slist* headers = nullptr;
  curl_slist* connectTo = nullptr;
  bool added = false;
  ~Handles() {
    if (added) curl_multi_remove_handle(multi, easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    curl_slist_free_all(connectTo);
  }
};

}  // namespace

HttpResponse PerformHttpRequest(const HttpRequest& request) {
  InitialiseCurlOnce();
  Transfer transfer;
  if (!ValidHost(request.host) || !ValidVerb(request.verb) || request.port < 0 || request.port > 65535 ||
      HoldsLineBreakOrNul(request.userAgent)) {
    return transfer.response;
  }
  Handles handles;
  if (handles.easy == nullptr || handles.multi == nullptr) return transfer.response;
  bool usable = false;
  handles.headers = BuildHeaderList(request, usable);
  if (!usable) return transfer.response;

  const std::string origin = std::string(request.secure ? "https://" : "http://") + request.host + ":" +
                             std::to_string(request.port) + "/";
  const std::string target = RequestTarget(request.path);
  {
    std::lock_guard<std::mutex> lock(MappingMutex());
    auto found = HostMappings().find(request.host + ":" + std::to_string(request.port));
    if (found != HostMappings().end()) {
      std::string rule = request.host + ":" + std::to_string(request.port) + ":127.0.0.1:" +
                         std::to_string(found->second);
      handles.connectTo = curl_slist_append(nullptr, rule.c_str());
      if (handles.connectTo == nullptr) return transfer.response;
    }
  }

  CURL* easy = handles.easy;
  transfer.easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, origin.c_str());
  curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles.headers);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, ReadPieceBytes);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeaderLine);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBodyPiece);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs.load()));
  if (handles.connectTo != nullptr) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, handles.connectTo);
  if (request.sendBody) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  if (request.verb == "HEAD") curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  if (request.verb != (request.sendBody ? "POST" : "GET")) {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());
  }

  if (curl_multi_add_handle(handles.multi, easy) != CURLM_OK) return transfer.response;
  handles.added = true;

  const auto idleLimit = std::chrono::milliseconds(idleTimeoutMs.load());
  bool connected = false;
  int running = 1;
  while (!ShutdownRequested()) {
    if (curl_multi_perform(handles.multi, &running) != CURLM_OK || running == 0) break;
    if (!connected) {
      // The idle clock starts once the connection stands; until then the connect time-out rules.
      curl_off_t connectTime = 0;
      if (curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK && connectTime > 0) {
        connected = true;
        transfer.lastByte = Clock::now();
      }
    } else if (Clock::now() - transfer.lastByte > idleLimit) {
      break;
    }
    curl_multi_poll(handles.multi, nullptr, 0, WaitSliceMs, nullptr);
    PumpWindowEvents();
  }
  return transfer.response;
}

namespace testing {

void MapHostToLoopback(std::string_view host, int port, int loopbackPort) {
  std::lock_guard<std::mutex> lock(MappingMutex());
  HostMappings()[std::string(host) + ":" + std::to_string(port)] = loopbackPort;
}

void ClearHostMappings() {
  std::lock_guard<std::mutex> lock(MappingMutex());
  HostMappings().clear();
}

void SetHttpTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  connectTimeoutMs.store(connect.count());
  idleTimeoutMs.store(idle.count());
}

void ResetHttpTimeouts() { SetHttpTimeouts(DefaultConnectTimeout, DefaultIdleTimeout); }

}  // namespace testing
}  // namespace tarnisk::platform
