// UTF-16 <-> UTF-8 conversion of 1 MB of Turkish prose, against a plain copy
// of the same text.
#include <benchmark/benchmark.h>

#include <string>

#include "common/Utf.h"

using namespace tellavo;

namespace {

constexpr size_t kTextBytes = 1 << 20;

// 1 MB of UTF-16: Turkish prose, about one letter in eight outside ASCII.
std::u16string TurkishText() {
  const std::u16string sentence = u"Sayın müşterimiz, siparişiniz İstanbul şubemize ulaştı ve "
                                  u"yarın öğlen teslim edilecek. Çağrı merkezimiz 7/24 açıktır. ";
  std::u16string text;
  while (text.size() * sizeof(char16_t) < kTextBytes)
    text += sentence;
  text.resize(kTextBytes / sizeof(char16_t));
  return text;
}

void BM_CopyUtf16(benchmark::State& state) {
  const std::u16string text = TurkishText();
  for (auto _ : state) {
    std::u16string copy(text);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}
BENCHMARK(BM_CopyUtf16);

// Bytes processed: the UTF-16 input.
void BM_Utf16ToUtf8(benchmark::State& state) {
  const std::u16string text = TurkishText();
  for (auto _ : state) {
    std::string utf8 = Utf16ToUtf8(text);
    benchmark::DoNotOptimize(utf8.data());
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}
BENCHMARK(BM_Utf16ToUtf8);

// Bytes processed: the UTF-8 input.
void BM_Utf8ToUtf16(benchmark::State& state) {
  const std::string utf8 = Utf16ToUtf8(TurkishText());
  for (auto _ : state) {
    std::u16string text = Utf8ToUtf16(utf8);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * utf8.size());
}
BENCHMARK(BM_Utf8ToUtf16);

} // namespace

BENCHMARK_MAIN();
