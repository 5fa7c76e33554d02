#include "common/VectorPaths.h"

namespace tellavo {

namespace {

constexpr VectorPath kAllPaths[] = {VectorPath::Scalar, VectorPath::Sse2, VectorPath::Avx2};

size_t PathsOfThisProcessor() {
#if TELLAVO_VECTOR_X86
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? 3 : __builtin_cpu_supports("sse2") ? 2 : 1;
#else
  return 1;
#endif
}

} // namespace

std::span<const VectorPath> VectorPathsOfThisProcessor() {
  static const size_t count = PathsOfThisProcessor();
  return {kAllPaths, count};
}

} // namespace tellavo
