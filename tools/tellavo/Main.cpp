// tellavo: a command-line automation client of the Tellavo server.
#include <exception>
#include <iostream>

#include "common/Utf.h"
#include "tools/tellavo/Commands.h"

int main(int argc, char** argv) {
  using namespace tellavo;
  try {
    return cli::Run(cli::Args(argv + 1, argv + argc));
  } catch (const cli::EUsageError& error) {
    std::cerr << "tellavo: " << Utf16ToUtf8(error.Message())
              << "\nTry 'tellavo --help' for more information.\n";
    return cli::kExitUsage;
  } catch (const Exception& error) {
    std::cerr << "tellavo: " << Utf16ToUtf8(error.Message()) << '\n';
    return cli::kExitFailed;
  } catch (const std::exception& error) {
    std::cerr << "tellavo: " << error.what() << '\n';
    return cli::kExitFailed;
  }
}
