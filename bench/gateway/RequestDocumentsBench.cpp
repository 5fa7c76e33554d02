// FoldText against a plain copy of the same text, and building the SENDSMS
// document for growing baskets.
#include <benchmark/benchmark.h>

#include <string>

#include "gateway/FoldText.h"
#include "gateway/RequestDocuments.h"

using namespace tellavo;

namespace {

constexpr size_t kTextBytes = 1 << 20;

// About 1 MB of UTF-16: Turkish prose, with "<b>&</b>" after every
// `markupEvery` sentences (never when 0).
std::u16string TurkishText(int markupEvery) {
  const std::u16string sentence =
      u"Sayın müşterimiz, siparişiniz İstanbul şubemize ulaştı ve yarın öğlen teslim edilecek. ";
  std::u16string text;
  for (int n = 1; text.size() * sizeof(char16_t) < kTextBytes; ++n) {
    text += sentence;
    if (markupEvery != 0 && n % markupEvery == 0)
      text += u"<b>&</b>";
  }
  text.resize(kTextBytes / sizeof(char16_t));
  return text;
}

void BM_CopyText(benchmark::State& state) {
  const std::u16string text = TurkishText(0);
  for (auto _ : state) {
    std::u16string copy(text);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}
BENCHMARK(BM_CopyText);

// Argument: sentences between markup characters (0: none).
void BM_FoldText(benchmark::State& state) {
  const std::u16string text = TurkishText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::u16string folded = FoldText(text);
    benchmark::DoNotOptimize(folded.data());
  }
  state.SetBytesProcessed(state.iterations() * kTextBytes);
}
BENCHMARK(BM_FoldText)->Arg(0)->Arg(10)->Arg(1);

void BM_BuildSendSmsDocument(benchmark::State& state) {
  const auto messages = static_cast<size_t>(state.range(0));
  TStringList numbers, texts;
  for (size_t i = 0; i < messages; ++i) {
    numbers.push_back(u"90555" + std::u16string(7 - std::to_string(i % 10000000).size(), u'0') +
                      std::u16string(std::to_string(i).begin(), std::to_string(i).end()));
    texts.push_back(u"Sayın müşterimiz, kargonuz yola çıktı & yarın teslim edilecek.");
  }
  const SendArguments arguments{u"tellavo", u"s3cret", u"TELLAVO", u"", u"42"};
  for (auto _ : state) {
    std::u16string document =
        BuildSendDocument(SendDocumentKind::SendSms, arguments, TBasketLists{numbers, texts});
    benchmark::DoNotOptimize(document.data());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_BuildSendSmsDocument)->Arg(1)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity();

} // namespace

BENCHMARK_MAIN();
