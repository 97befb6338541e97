#pragma once
// A loopback server standing in for the search engine and the cloud-drive service: both real host
// names are mapped to it, and each instance gets its own run folder so cookie files are not shared.

#include <iconv.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "shell/app_state.h"
#include "support/loopback_server.h"
#include "support/program_folder.h"

namespace tarnisk::testing {

// GB18030 bytes of a UTF-8 literal, converted with iconv directly so expectations do not lean on
// the converter under test.
inline std::string Gb(std::string_view utf8) {
  iconv_t converter = iconv_open("GB18030", "UTF-8");
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPos = out.data();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(converter, &in, &inLeft, &outPos, &outLeft);
  iconv_close(converter);
  if (done == static_cast<std::size_t>(-1)) return "<conversion failed>";
  out.resize(out.size() - outLeft);
  return out;
}

// Splits "host[:port]"; the port is 80 when none is given.
inline std::pair<std::string, int> HostAndPort(std::string_view hostText) {
  const std::size_t colon = hostText.find(':');
  if (colon == std::string_view::npos) return {std::string(hostText), 80};
  return {std::string(hostText.substr(0, colon)), std::stoi(std::string(hostText.substr(colon + 1)))};
}

inline std::string OkPage(std::string_view body) { return PlainResponse(200, "OK", body); }

class ServiceStandIn {
 public:
  explicit ServiceStandIn(LoopbackHandler handler) : server_(std::move(handler)) {
    for (const Text& host : {SearchHost(), NetdiskDomain()}) {
      const auto [name, port] = HostAndPort(host);
      platform::testing::MapHostToLoopback(name, port, server_.port());
    }
    platform::testing::SetHttpTimeouts(std::chrono::seconds(2), std::chrono::seconds(5));
  }
  ServiceStandIn(const ServiceStandIn&) = delete;
  ServiceStandIn& operator=(const ServiceStandIn&) = delete;

  LoopbackServer& server() { return server_; }
  const std::string& folder() const { return folder_.path(); }
  // The request targets received so far, in order.
  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const RecordedRequest& request : server_.Requests()) targets.push_back(request.target);
    return targets;
  }

 private:
  ProgramFolder folder_;
  LoopbackServer server_;
};

}  // namespace tarnisk::testing
