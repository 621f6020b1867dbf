// Building both display images of a fully filled document, as every "ENVIAR"
// does, and reading them back, as the LED view does.

#include <benchmark/benchmark.h>

#include <string>

#include "panels/display_decode.h"
#include "panels/display_image.h"
#include "panels/panel_layout.h"

namespace {

void FillDocument(quinterra::TCellSet& set) {
  for (quinterra::TCasilla& cell : set.Cells) {
    switch (cell.Kind) {
      case quinterra::CellKind::QuinigolSign: cell.Text = "M"; break;
      case quinterra::CellKind::QuinielaSign: cell.Text = "X"; break;
      case quinterra::CellKind::JackpotText: cell.Text = "BOTEBOTE"; break;
      case quinterra::CellKind::JackpotAmount: cell.Text = "123456789"; break;
      default: cell.Text = "49"; break;
    }
  }
}

void BM_BuildPanelImages(benchmark::State& state) {
  quinterra::TCellSet set;
  FillDocument(set);
  for (auto _ : state) {
    quinterra::PanelImages images = quinterra::BuildPanelImages(set.CellsByWire);
    benchmark::DoNotOptimize(images);
  }
}
BENCHMARK(BM_BuildPanelImages);

// The main window keeps its encoder and lanes and reuses them.
void BM_ReusedEncoder(benchmark::State& state) {
  quinterra::TCellSet set;
  FillDocument(set);
  quinterra::TDisplayImageEncoder encoder(set.CellsByWire);
  for (auto _ : state) {
    quinterra::Bytes results = encoder.BuildResultsImage();
    quinterra::Bytes jackpots = encoder.BuildJackpotsImage();
    benchmark::DoNotOptimize(results);
    benchmark::DoNotOptimize(jackpots);
  }
}
BENCHMARK(BM_ReusedEncoder);

// The LED view redraws from the bytes on every keystroke: both images read back.
void BM_DecodePanelImages(benchmark::State& state) {
  quinterra::TCellSet set;
  FillDocument(set);
  const quinterra::PanelImages images = quinterra::BuildPanelImages(set.CellsByWire);
  for (auto _ : state) {
    auto results = quinterra::DecodeResultsImage(images.results);
    auto jackpots = quinterra::DecodeJackpotsImage(images.jackpots);
    benchmark::DoNotOptimize(results);
    benchmark::DoNotOptimize(jackpots);
  }
}
BENCHMARK(BM_DecodePanelImages);

}  // namespace
