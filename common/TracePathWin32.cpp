#include "common/TracePath.h"

#include <algorithm>

#include "common/SameText.h"
#include "common/TextUtil.h"

namespace tellavo {

namespace {

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// The part of `path` from `from` to the next separator.
std::u16string_view PartAt(std::u16string_view path, size_t from) {
  const auto end =
      std::find_if(path.begin() + static_cast<std::ptrdiff_t>(from), path.end(), IsSeparator);
  return path.substr(from, static_cast<size_t>(end - path.begin()) - from);
}

// The names that open a device in any folder, whatever extension, blanks or
// colons follow ("NUL.log", "com1 .txt", "CON:"); COM and LPT take the
// digits 1 to 9 and the superscripts one to three.
bool IsDeviceName(std::u16string_view name) {
  name = name.substr(0, name.find(u'.'));
  while (!name.empty() && (name.back() == u' ' || name.back() == u':'))
    name.remove_suffix(1);
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
    if (SameText(name, device))
      return true;
  if (name.size() != 4 ||
      !(SameText(name.substr(0, 3), u"COM") || SameText(name.substr(0, 3), u"LPT")))
    return false;
  const char16_t number = name[3];
  return (number >= u'1' && number <= u'9') || number == u'\u00B9' || number == u'\u00B2' ||
         number == u'\u00B3';
}

// "\\server\share\...", except the local device namespaces ("\\.\",
// "\\?\") and a remote machine's pipes and mailslots, which its server could
// answer as a pipe.
bool IsShareFilePath(std::u16string_view path) {
  if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1]))
    return false;
  const std::u16string_view server = PartAt(path, 2);
  if (server.empty() || server == u"." || server == u"?")
    return false;
  const size_t shareStart = 2 + server.size() + 1;
  if (shareStart >= path.size())
    return false;
  const std::u16string_view share = PartAt(path, shareStart);
  return !share.empty() && !SameText(share, u"pipe") && !SameText(share, u"mailslot") &&
         shareStart + share.size() + 1 < path.size();
}

} // namespace

// "C:\..." with a slash of either kind, or a file on a share. A single
// leading slash is relative to the current drive; a device name would open
// the device, wherever the folder.
bool IsAbsoluteTracePath(std::u16string_view path) {
  const bool drive =
      path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == u':' && IsSeparator(path[2]);
  if (!drive && !IsShareFilePath(path))
    return false;
  const auto lastSeparator = std::find_if(path.rbegin(), path.rend(), IsSeparator);
  const std::u16string_view name = path.substr(static_cast<size_t>(path.rend() - lastSeparator));
  return !name.empty() && !IsDeviceName(name);
}

} // namespace tellavo
