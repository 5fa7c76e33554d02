// The module's side of GetInfoBench: a program that makes N getinfo calls
// through one Gateway object and ends. Its exit status says whether every
// call answered.
#include <cstdlib>

#include "ModuleGateway.h"

int main(int argc, char** argv) {
  const int count = argc == 2 ? std::atoi(argv[1]) : 0;
  BSTR user = SysAllocString(u"tellavo");
  BSTR password = SysAllocString(u"s3cret");
  BSTR vendor = SysAllocString(u"42");
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    BSTR retvalue = nullptr;
    tellavo::bench::ModuleGateway().getinfo(user, password, vendor, &retvalue);
    failed += retvalue == nullptr || retvalue[0] == u'-';
    SysFreeString(retvalue);
  }
  SysFreeString(user);
  SysFreeString(password);
  SysFreeString(vendor);
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
