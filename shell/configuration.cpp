#include "shell/app_state.h"

namespace tarnisk {

const Text& SearchHost() {
  static const Text host = TARNISK_SEARCH_HOST;
  return host;
}

const Text& NetdiskDomain() {
  static const Text domain = TARNISK_NETDISK_DOMAIN;
  return domain;
}

}  // namespace tarnisk
