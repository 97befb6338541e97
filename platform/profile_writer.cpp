#include "platform/profile_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

namespace tarnisk::platform {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A line of the file without its line end.
std::string_view Content(std::string_view rawLine) {
  if (rawLine.ends_with('\n')) rawLine.remove_suffix(1);
  if (rawLine.ends_with('\r')) rawLine.remove_suffix(1);
  return rawLine;
}

bool IsSectionLine(std::string_view rawLine) { return TrimBlanks(Content(rawLine)).starts_with('['); }

bool IsSectionHeader(std::string_view rawLine, std::string_view section) {
  std::string_view line = TrimBlanks(Content(rawLine));
  if (!line.starts_with('[')) return false;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  // Exact case: the cookie reader finds its section by the exact header text.
  return TrimBlanks(line.substr(1, close - 1)) == section;
}

bool IsEntryNamed(std::string_view rawLine, std::string_view name) {
  std::string_view line = Content(rawLine);
  std::size_t equals = line.find('=');
  return equals != std::string_view::npos && EqualsIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), name);
}

// Splits the file into its lines, each keeping the line end it had (the last may have none).
std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    end = (end == std::string::npos) ? content.size() : end + 1;
    lines.emplace_back(content, start, end - start);
    start = end;
  }
  return lines;
}

// False when the file exists but cannot be read: writing then would drop what it holds.
bool ReadWholeFile(const std::string& path, std::string& content, bool& exists) {
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  exists = descriptor >= 0;
  if (!exists) return errno == ENOENT;
  char buffer[8192];
  bool complete = true;
  while (true) {
    ssize_t got = read(descriptor, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      complete = got == 0;
      break;
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
  close(descriptor);
  return complete;
}

bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A writer killed between creating its temporary file and the rename leaves that file behind.
// Removes the temporaries of path whose writing process no longer exists; a live writer's stay.
void RemoveLeftoverTemporaries(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  while (const dirent* entry = readdir(directory)) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(prefix)) continue;
    long pid = 0;
    std::size_t at = prefix.size();
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < 1'000'000'000) {
      pid = pid * 10 + (name[at++] - '0');
    }
    if (at == prefix.size() || at >= name.size() || name[at] != '.' || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH) {
      unlinkat(dirfd(directory), entry->d_name, 0);
    }
  }
  closedir(directory);
}

// Writes content to a new file beside path and renames it over path, so that path always holds
// either the old or the new content in full.
bool ReplaceFile(const std::string& path, const std::string& content, bool existed) {
  RemoveLeftoverTemporaries(path);
  static std::atomic<unsigned> sequence{0};
  std::string temporary;
  int descriptor = -1;
  for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
    temporary = path + ".tmp" + std::to_string(getpid()) + "." + std::to_string(sequence.fetch_add(1));
    descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0 && errno != EEXIST) return false;
  }
  if (descriptor < 0) return false;
  struct stat old {};
  if (existed && stat(path.c_str(), &old) == 0) fchmod(descriptor, old.st_mode & 07777);
  bool written = WriteAll(descriptor, content) && fsync(descriptor) == 0;
  written = (close(descriptor) == 0) && written;
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool WriteProfileString(std::string_view section, std::string_view name, std::string_view value,
                        const std::string& filePath) {
  // A line break in any part would spill into lines of its own and could start or end a section;
  // a "=" in the name or a "]" in the section would be read back as something else.
  auto breaksLines = [](std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
  };
  if (filePath.empty() || TrimBlanks(section).empty() || TrimBlanks(name).empty() || breaksLines(section) ||
      breaksLines(name) || breaksLines(value) || name.find('=') != std::string_view::npos ||
      section.find(']') != std::string_view::npos || TrimBlanks(name).starts_with('[')) {
    return false;
  }

  std::string content;
  bool existed = false;
  if (!ReadWholeFile(filePath, content, existed)) return false;
  std::vector<std::string> lines = SplitLines(content);

  std::string entry;
  entry.append(name).append("=").append(value).append("\r\n");
  std::size_t header = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (IsSectionHeader(lines[i], section)) {
      header = i;
      break;
    }
  }

  if (header == lines.size()) {
    if (!lines.empty() && !lines.back().ends_with('\n')) lines.back() += "\r\n";
    std::string sectionLine;
    sectionLine.append("[").append(section).append("]\r\n");
    lines.push_back(std::move(sectionLine));
    lines.push_back(entry);
  } else {
    std::size_t end = header + 1;
    while (end < lines.size() && !IsSectionLine(lines[end])) ++end;
    std::size_t match = end;
    for (std::size_t i = header + 1; i < end; ++i) {
      if (IsEntryNamed(lines[i], name)) {
        match = i;
        break;
      }
    }
    if (match != end) {
      lines[match] = entry;
    } else {
      // New entries go after the last non-blank line of the section, before blank separators.
      std::size_t insertAt = end;
      while (insertAt > header + 1 && TrimBlanks(Content(lines[insertAt - 1])).empty()) --insertAt;
      if (!lines[insertAt - 1].ends_with('\n')) lines[insertAt - 1] += "\r\n";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    }
  }

  std::string updated;
  updated.reserve(content.size() + entry.size() + section.size() + 4);
  for (const std::string& line : lines) updated += line;
  return ReplaceFile(filePath, updated, existed);
}

}  // namespace tarnisk::platform
