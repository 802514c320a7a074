// Costs of the fixed-point geometry: one turn, the depth sorts of a frame, the table build.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "geometry/depth_order.h"
#include "geometry/rotation.h"
#include "geometry/trig_tables.h"

namespace {

void BM_RotatePoint(benchmark::State& state) {
  BuildTrigTables();
  Vertex point{150, -150, 150};
  int32_t k = 0;
  for (auto _ : state) {
    RotatePoint(point, k, kAxisY);
    k = k == 719 ? 0 : k + 1;
    benchmark::DoNotOptimize(point);
  }
}
BENCHMARK(BM_RotatePoint);

// Records spread like a frame's Instances or faces: in front of the viewer, some sharing keys.
std::vector<DepthRecord> SpreadRecords(int32_t count) {
  std::vector<DepthRecord> records;
  uint32_t seed = 12345;
  for (int32_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int32_t x = static_cast<int32_t>(seed % 1000) - 500;
    const int32_t z = -2400 - static_cast<int32_t>((seed >> 10) % 1200);
    records.push_back({i, {x, 0, z}});
  }
  return records;
}

void BM_SortByDepth(benchmark::State& state) {
  BuildTrigTables();
  const auto source = SpreadRecords(static_cast<int32_t>(state.range(0)));
  std::vector<DepthRecord> records(source.size());
  for (auto _ : state) {
    records = source;
    SortByDepth(records.data(), static_cast<int32_t>(records.size()));
    benchmark::DoNotOptimize(records.data());
  }
}
BENCHMARK(BM_SortByDepth)->Arg(9)->Arg(20);

void BM_BuildTrigTables(benchmark::State& state) {
  for (auto _ : state) {
    BuildTrigTables();
    benchmark::DoNotOptimize(SlopeAngle[100]);
  }
}
BENCHMARK(BM_BuildTrigTables);

}  // namespace
