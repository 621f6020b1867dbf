// Costs on the link path: queueing a frame, rendering a traffic line, and
// how fast the serial worker hands received bytes to the UI thread.
// Not a test: run by hand (build target links_bench).

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "links/byte_queue.h"
#include "links/comunicacion_serie.h"
#include "links/format_bytes.h"
#include "tests/links/link_test_support.h"

namespace quinterra {
namespace {

void BM_QueuePutAndTakeFrame(benchmark::State& state) {
  TByteQueue queue;
  const std::vector<uint8_t> frame = test::Sequence(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    queue.Put(frame.data(), static_cast<int>(frame.size()));
    if (queue.TakeAll() > 0) queue.Release();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_QueuePutAndTakeFrame)->Arg(12)->Arg(524);

void BM_FormatTrafficLine(benchmark::State& state) {
  const std::vector<uint8_t> frame = test::Sequence(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatBytes(frame.data(), static_cast<int>(frame.size()), 2));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FormatTrafficLine)->Arg(12)->Arg(524)->Arg(2000);

// A device sending 4000 bytes at once through a pseudo-terminal: the time
// until the owner has all of them (40 bytes per pass of the loop).
void BM_WorkerReceiveBurst(benchmark::State& state) {
  test::PtyPair pty;
  test::TempConfig config;
  auto* worker = new TComunicacionSerie(false, config.MapPorts({{120, pty.SlavePath()}}));
  size_t received = 0;
  worker->OnSerieReceive = [&](TComunicacionSerie*, const uint8_t*, int n) { received += n; };
  worker->SetPuertoSerie(120);
  worker->SetVelocidadSerie(115200);
  worker->OpenPort();
  const std::vector<uint8_t> burst(4000, 0x5A);
  for (auto _ : state) {
    received = 0;
    pty.WriteToSlave(burst);
    test::WaitUntil([&] { return received >= burst.size(); }, std::chrono::seconds(30));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(burst.size()));
  worker->OnSerieReceive = nullptr;
  worker->Terminate();
  test::WaitUntil([] { return TComunicacionSerie::LiveCount() == 0; });
}
BENCHMARK(BM_WorkerReceiveBurst)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
