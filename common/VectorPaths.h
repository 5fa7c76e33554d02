// The instruction sets that the text loops (UTF conversion, folding) have a
// path for, and which of them this processor runs. Every path gives the same
// result; the fastest one the processor has is chosen at run time, so that
// one build serves old and new processors alike.
#pragma once

#include <span>

#if defined(__x86_64__) || defined(__i386__)
#define TELLAVO_VECTOR_X86 1
#else
#define TELLAVO_VECTOR_X86 0
#endif

namespace tellavo {

enum class VectorPath { Scalar, Sse2, Avx2 };

// The paths this processor can run, the scalar one first and the fastest last.
std::span<const VectorPath> VectorPathsOfThisProcessor();

inline VectorPath FastestVectorPath() {
  return VectorPathsOfThisProcessor().back();
}

} // namespace tellavo
