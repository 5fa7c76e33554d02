#include <exception>
#include <iostream>

#include "common/Utf.h"
#include "tools/tellavo/Commands.h"

namespace tellavo::cli {

int Main(const Args& args) {
  try {
    return Run(args);
  } catch (const EUsageError& error) {
    std::cerr << "tellavo: " << Utf16ToUtf8(error.Message()) << "\nTry '" << error.HelpCommand()
              << "' for more information.\n";
    return kExitUsage;
  } catch (const Exception& error) {
    std::cerr << "tellavo: " << Utf16ToUtf8(error.Message()) << '\n';
    return kExitFailed;
  } catch (const std::exception& error) {
    std::cerr << "tellavo: " << error.what() << '\n';
    return kExitFailed;
  }
}

} // namespace tellavo::cli
