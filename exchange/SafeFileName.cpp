#include "exchange/SafeFileName.h"

#include <algorithm>

#include "exchange/TextFold.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

constexpr size_t kMaxNameBytes = 200;

bool Refused(char32_t c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
         c == '>' || c == '|';
}

bool IsDeviceName(std::string_view name) {
  // The part before the first dot counts: "con.txt" is the device too.
  const std::string stem = Folded(name.substr(0, name.find('.')));
  for (const char* device : {"con", "prn", "aux", "nul"})
    if (stem == device) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

void TrimEnd(std::string& name) {
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
}

}  // namespace

std::string SafeFileName(std::string_view title) {
  std::string name;
  size_t at = 0;
  while (at < title.size()) {
    const size_t from = at;
    char32_t c;
    if (!NextChar(title, at, c)) {  // not UTF-8: no file system should be asked to take it
      name += '_';
      ++at;
      continue;
    }
    if (Refused(c)) name += '_';
    else name.append(title.substr(from, at - from));
  }
  size_t lead = 0;
  while (lead < name.size() && name[lead] == ' ') ++lead;
  name.erase(0, lead);
  if (!name.empty() && name[0] == '.') name[0] = '_';
  if (name.size() > kMaxNameBytes) {
    size_t cut = kMaxNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  TrimEnd(name);
  if (name.empty()) return "Untitled";
  if (IsDeviceName(name)) {
    const size_t dot = name.find('.');
    name = dot == std::string::npos ? name + "_" : name.substr(0, dot) + "_" + name.substr(dot);
  }
  return name;
}

}  // namespace tindrel::exchange
