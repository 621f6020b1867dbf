// Speed of the answer recogniser and of encoding a full block request.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bus/bus_frame.h"

namespace {

using quinterra::TBusFrame;

std::vector<uint8_t> AnswerStream() {
  std::mt19937 rng(7);
  std::vector<uint8_t> stream;
  for (int i = 0; i < 200; ++i) {
    TBusFrame frame;
    frame.Address = 1;
    frame.Command = i % 2 ? 0x90 : 0x83;
    frame.Param[0] = 0x10;
    std::vector<uint8_t> payload(i % 2 ? 0 : 256);
    for (auto& b : payload) b = static_cast<uint8_t>(rng());
    frame.SetPayload(payload.size(), payload.data());
    frame.Encode();
    stream.insert(stream.end(), frame.Encoded.begin(), frame.Encoded.end());
    for (int n = rng() % 8; n > 0; --n) stream.push_back(0xFF);  // line noise between answers
  }
  return stream;
}

void BM_RecogniseAnswers(benchmark::State& state) {
  const std::vector<uint8_t> stream = AnswerStream();
  TBusFrame frame;
  int64_t frames = 0;
  for (auto _ : state) {
    for (uint8_t b : stream) frames += frame.ReceiveByte(b);
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
  state.counters["frames"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecogniseAnswers);

void BM_EncodeBlockWrite(benchmark::State& state) {
  std::vector<uint8_t> block(256);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
  TBusFrame frame;
  frame.Address = 1;
  frame.Command = 0x10;
  frame.Param[0] = 0x10;
  frame.SetPayload(block.size(), block.data());
  for (auto _ : state) {
    frame.Encode();
    benchmark::DoNotOptimize(frame.Encoded.data());
  }
  state.SetBytesProcessed(state.iterations() * (256 + 11));
}
BENCHMARK(BM_EncodeBlockWrite);

}  // namespace
