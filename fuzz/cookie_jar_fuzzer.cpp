// The cookie file reader and SaveResponseCookies on random header blocks and random files, in real
// files of a temporary folder of this process. What a response sets is worked out by a model of the
// lazy pattern "Set-Cookie: (.*?)=(.*?;)"; after the save the file must still hold every line it
// held before except the entries of the names just stored, and hold each stored cookie. Starting
// from no file, the Cookie header read back must be exactly the one the model expects.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "fuzz/model.h"
#include "http/cookie_jar.h"

namespace {

using namespace tarnisk;
using namespace tarnisk::fuzz;

std::string& Folder() {
  static std::string folder;
  return folder;
}

void RemoveFolder() {
  std::error_code ignored;
  if (!Folder().empty()) std::filesystem::remove_all(Folder(), ignored);
}

struct Cookie {
  std::string name;
  std::string value;
};

// Leftmost, non-overlapping matches of the pattern, read byte by byte. When the first "Set-Cookie: "
// left has no "=" and ";" after it, no later one has either.
std::vector<Cookie> ModelSetCookies(std::string_view headers) {
  std::vector<Cookie> found;
  constexpr std::string_view Lead = "Set-Cookie: ";
  std::size_t from = 0;
  while (true) {
    const std::size_t lead = headers.find(Lead, from);
    if (lead == std::string_view::npos) break;
    const std::size_t equals = headers.find('=', lead + Lead.size());
    if (equals == std::string_view::npos) break;
    const std::size_t semicolon = headers.find(';', equals + 1);
    if (semicolon == std::string_view::npos) break;
    found.push_back({std::string(headers.substr(lead + Lead.size(), equals - lead - Lead.size())),
                     std::string(headers.substr(equals + 1, semicolon - equals))});
    from = semicolon + 1;
  }
  return found;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Folded(std::string_view text) {
  std::string folded;
  for (char c : Trimmed(text)) folded.push_back(ModelFold(c));
  return folded;
}

// The cookies stored: a name that is not blank, holds neither "USER_RS" nor "[" where the unit walk
// looks (a "USER_RS" whose "U" ends a two-byte unit is not seen), and no line break or zero byte.
// The value goes in scrambled, so any value does.
bool Storable(const Cookie& cookie) {
  return ModelFind(cookie.name, "USER_RS") == -1 && !Trimmed(cookie.name).empty() &&
         ModelFind(cookie.name, "[") == -1 &&
         cookie.name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

std::vector<std::string> Lines(std::string_view content) {
  std::vector<std::string> lines;
  while (!content.empty()) {
    std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    // Only a CR before a line feed belongs to the line end: the writer ends a last line that had
    // none with CR LF, and a lone CR then stays part of the line.
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  return lines;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HoldsControlByte(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The header the reader gives for entry lines written in this order into a fresh section.
std::string ModelHeader(const std::vector<Cookie>& entries) {
  std::string header;
  for (const Cookie& entry : entries) {
    const std::string line = entry.name + "=" + ScrambleCookieValue(entry.value);
    if (ModelFind(line, "[cookies0]") != -1) continue;
    if (ModelFind(line, "[") != -1) break;
    // A name ending in a lone lead byte takes the "=" into its last unit; the line then holds no
    // "=" the reader can see, since a stored value has none.
    if (ModelFind(line, "=") != static_cast<int>(entry.name.size()) + 1) continue;
    // Unscrambling drops zero bytes, as a text holds none.
    std::string value = entry.value;
    value.erase(std::remove(value.begin(), value.end(), '\0'), value.end());
    if (HoldsControlByte(entry.name) || HoldsControlByte(value)) continue;
    header += entry.name + "=" + value;
  }
  return header;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/tarnisk-cookie-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("no temporary folder");
  Folder() = pattern;
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::string file = Folder() + "/cookies.dat";
  std::filesystem::remove(file);
  for (const auto& leftover : std::filesystem::directory_iterator(Folder())) {
    Fail(("a file was left behind: " + leftover.path().string()).c_str());
  }

  const bool fresh = data.ConsumeBool();
  const std::string before = fresh ? std::string() : data.ConsumeRandomLengthString(2048);
  if (!fresh) {
    std::ofstream(file, std::ios::binary) << before;
    (void)LoadCookieHeader(file, data.ConsumeIntegralInRange<std::int32_t>(-2, 12));
  }
  const std::string headers = data.ConsumeRemainingBytesAsString();

  SaveResponseCookies(headers, file, 0);
  const std::string after = ReadAll(file);

  const std::vector<Cookie> found = ModelSetCookies(headers);
  std::map<std::string, std::size_t> lastOfName;  // folded name -> index of its last storable cookie
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (Storable(found[i])) lastOfName[Folded(found[i].name)] = i;
  }
  if (lastOfName.empty()) {
    Check(after == before, "a response that stores nothing leaves the file as it was");
    return 0;
  }

  // Every line of the file before is still there, in order, except the entries of stored names.
  const std::vector<std::string> linesAfter = Lines(after);
  std::size_t next = 0;
  for (const std::string& line : Lines(before)) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && lastOfName.count(Folded(line.substr(0, equals))) != 0) continue;
    while (next < linesAfter.size() && linesAfter[next] != line) ++next;
    Check(next < linesAfter.size(), "a line of the file was lost");
    ++next;
  }
  for (const auto& [name, index] : lastOfName) {
    const std::string entry = found[index].name + "=" + ScrambleCookieValue(found[index].value);
    bool present = false;
    for (const std::string& line : linesAfter) present = present || line == entry;
    Check(present, "a stored cookie is missing");
  }

  if (fresh) {
    // Entries keep the place of the first cookie of their name and the spelling of the last.
    std::vector<Cookie> entries;
    std::map<std::string, std::size_t> placeOfName;
    for (std::size_t i = 0; i < found.size(); ++i) {
      if (!Storable(found[i])) continue;
      const std::string folded = Folded(found[i].name);
      auto [place, isNew] = placeOfName.emplace(folded, entries.size());
      if (isNew) entries.push_back(found[i]);
      else entries[place->second] = found[i];
    }
    Check(LoadCookieHeader(file, 0) == ModelHeader(entries), "Cookie header read back");
    Check(LoadCookieHeader(file, 1).empty(), "another group stays empty");
  }
  return 0;
}
