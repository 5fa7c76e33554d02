// The hive in memory and its text form.
#include <cstdio>
#include <cstdlib>

#include "RegistryHive.h"
#include "common/FileNameText.h"
#include "common/Utf.h"

namespace tellavo::platform {
namespace {

constexpr std::string_view HiveHeader = "; " REGISTRY_HIVE_OWNER " registry hive\n";
constexpr std::string_view DwordPrefix = "dword:";

bool IsBelow(const std::u16string& folded, const std::u16string& parent) {
  return folded.size() > parent.size() + 1 && folded.compare(0, parent.size(), parent) == 0 &&
         folded[parent.size()] == u'\\';
}

// Values are written as file names are: a module's path whose bytes are not
// UTF-8 reads back as the same bytes.
void AppendQuoted(std::string& out, std::u16string_view text) {
  out += '"';
  for (char c : Utf16ToFileName(text)) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\0':
      out += "\\0";
      break;
    default:
      out += c;
    }
  }
  out += '"';
}

// Reads a quoted text at line[at]; advances at past the closing quote.
bool ReadQuoted(std::string_view line, size_t& at, std::u16string& text) {
  if (at >= line.size() || line[at] != '"')
    return false;
  std::string raw;
  for (++at; at < line.size(); ++at) {
    char c = line[at];
    if (c == '"') {
      ++at;
      text = FileNameToUtf16(raw);
      return true;
    }
    if (c == '\\') {
      if (++at == line.size())
        return false;
      switch (line[at]) {
      case 'n':
        c = '\n';
        break;
      case 'r':
        c = '\r';
        break;
      case '0':
        c = '\0';
        break;
      case '"':
      case '\\':
        c = line[at];
        break;
      default:
        return false;
      }
    }
    raw += c;
  }
  return false;
}

bool ReadValue(std::string_view line, RegistryValue& value) {
  size_t at = 0;
  if (line.starts_with('@'))
    at = 1;
  else if (!ReadQuoted(line, at, value.name))
    return false;
  if (at >= line.size() || line[at] != '=')
    return false;
  ++at;
  if (line.substr(at).starts_with(DwordPrefix)) {
    const std::string_view digits = line.substr(at + DwordPrefix.size());
    if (digits.size() != 8)
      return false;
    char* end = nullptr;
    const std::string copy(digits);
    value.number = static_cast<DWORD>(std::strtoul(copy.c_str(), &end, 16));
    value.type = REG_DWORD;
    return end == copy.c_str() + copy.size();
  }
  value.type = REG_SZ;
  return ReadQuoted(line, at, value.text) && at == line.size();
}

} // namespace

std::u16string RegistryHive::Fold(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

RegistryKey* RegistryHive::Find(std::u16string_view path) {
  const auto found = keys_.find(Fold(path));
  return found == keys_.end() ? nullptr : &found->second;
}

bool RegistryHive::Exists(std::u16string_view path) {
  return path.find(u'\\') == std::u16string_view::npos || Find(path) != nullptr;
}

bool RegistryHive::Create(std::u16string_view path) {
  const size_t rootEnd = path.find(u'\\');
  if (rootEnd != std::u16string_view::npos) {
    for (size_t end = path.find(u'\\', rootEnd + 1); end != std::u16string_view::npos;
         end = path.find(u'\\', end + 1)) {
      const std::u16string_view above = path.substr(0, end);
      keys_.try_emplace(Fold(above), RegistryKey{std::u16string(above), {}});
    }
  }
  return keys_.try_emplace(Fold(path), RegistryKey{std::u16string(path), {}}).second;
}

bool RegistryHive::HasSubkeys(std::u16string_view path) const {
  const std::u16string folded = Fold(path);
  const auto first = keys_.lower_bound(folded + u'\\');
  return first != keys_.end() && IsBelow(first->first, folded);
}

std::vector<std::u16string> RegistryHive::Subkeys(std::u16string_view path) const {
  const std::u16string folded = Fold(path);
  std::vector<std::u16string> names;
  for (auto it = keys_.lower_bound(folded + u'\\'); it != keys_.end() && IsBelow(it->first, folded);
       ++it) {
    const std::u16string_view rest = std::u16string_view(it->second.path).substr(folded.size() + 1);
    if (rest.find(u'\\') == std::u16string_view::npos)
      names.emplace_back(rest);
  }
  return names;
}

void RegistryHive::Erase(std::u16string_view path) {
  keys_.erase(Fold(path));
}

void RegistryHive::EraseTree(std::u16string_view path, bool self) {
  const std::u16string folded = Fold(path);
  auto it = keys_.lower_bound(folded + u'\\');
  while (it != keys_.end() && IsBelow(it->first, folded))
    it = keys_.erase(it);
  if (self)
    keys_.erase(folded);
  else if (RegistryKey* key = Find(path))
    key->values.clear();
}

bool RegistryHive::Parse(std::string_view text) {
  keys_.clear();
  RegistryKey* current = nullptr;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r'))
      line.remove_suffix(1);
    if (line.empty() || line.starts_with(';'))
      continue;
    if (line.starts_with('[')) {
      if (!line.ends_with(']') || line.size() < 3)
        return false;
      const std::u16string path = Utf8ToUtf16(line.substr(1, line.size() - 2));
      Create(path);
      current = Find(path);
      if (current == nullptr)
        return false;
      continue;
    }
    RegistryValue value;
    if (current == nullptr || !ReadValue(line, value))
      return false;
    current->values.push_back(std::move(value));
  }
  return true;
}

bool RegistryHive::Serialize(const std::function<bool(std::string_view)>& write) const {
  // Handed on in pieces, so that a large hive is never held twice in memory.
  constexpr size_t Piece = size_t{1} << 20;
  std::string out(HiveHeader);
  for (const auto& [folded, key] : keys_) {
    out += "\n[" + Utf16ToUtf8(key.path) + "]\n";
    for (const RegistryValue& value : key.values) {
      if (value.name.empty())
        out += '@';
      else
        AppendQuoted(out, value.name);
      out += '=';
      if (value.type == REG_DWORD) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", value.number);
        out += std::string(DwordPrefix) + digits;
      } else {
        AppendQuoted(out, value.text);
      }
      out += '\n';
    }
    if (out.size() >= Piece) {
      if (!write(out))
        return false;
      out.clear();
    }
  }
  return write(out);
}

} // namespace tellavo::platform
