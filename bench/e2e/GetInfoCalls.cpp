// The module's side of GetInfoBench: a program that makes N getinfo calls
// through one Gateway object and ends. Its exit status says whether every
// call answered.
#include <cstdlib>

#include "ModuleGateway.h"
#include "common/Bstr.h"

int main(int argc, char** argv) {
  const int count = argc == 2 ? std::atoi(argv[1]) : 0;
  const tellavo::BStr user(u"tellavo");
  const tellavo::BStr password(u"s3cret");
  const tellavo::BStr vendor(u"42");
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    tellavo::BStr retvalue;
    tellavo::bench::ModuleGateway().getinfo(user.Get(), password.Get(), vendor.Get(),
                                            retvalue.Out());
    failed += retvalue.Get() == nullptr || retvalue.Get()[0] == u'-';
  }
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
