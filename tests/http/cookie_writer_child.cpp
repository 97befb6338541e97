// Helper of the cookie crash test: stores cookies in a loop and reports each stored one on a pipe
// once SaveResponseCookies has returned, until it is killed.
// Usage: tarnisk_cookie_writer_child <cookie file> <report descriptor> <round>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/cookie_jar.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string file = argv[1];
  const int report = std::atoi(argv[2]);
  const std::string round = argv[3];
  for (std::uint32_t i = 0; i < 100000; ++i) {
    const std::string n = std::to_string(i);
    // One new name per write, and one name every write replaces.
    tarnisk::SaveResponseCookies("HTTP/1.1 200 OK\r\nSet-Cookie: r" + round + "_" + n + "=v" + n +
                                     "; path=/\r\nSet-Cookie: latest=" + round + "_" + n + ";\r\n\r\n",
                                 file, 0);
    if (write(report, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) return 3;
  }
  return 0;
}
