// tellavo.exe: a command-line automation client of the Tellavo server.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "Platform.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "tools/tellavo/Commands.h"

namespace {

using namespace tellavo;

// The main thread is a single-threaded apartment for the whole run, as in any
// script host, so that the apartment-threaded server runs on this thread. Should
// it fail, creating the object reports why.
class Apartment {
public:
  Apartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~Apartment() {
    if (entered_)
      CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

private:
  bool entered_;
};

// A console shows the UTF-8 output as written; its own code page comes back
// at the end, since the console outlives this process.
class Utf8Console {
public:
  Utf8Console() : previous_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() {
    if (previous_ != 0)
      SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

private:
  UINT previous_;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
  // Results are written byte for byte: a CR LF inside a gateway answer must
  // not become CR CR LF, and every line ends in LF as on other systems.
  for (FILE* stream : {stdin, stdout, stderr})
    _setmode(_fileno(stream), _O_BINARY);
  const Utf8Console console;
  cli::Args args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Utf16ToUtf8(FromWide(argv[i])));
  const Apartment apartment;
  return cli::Main(args);
}
