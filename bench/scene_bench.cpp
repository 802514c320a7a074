// Speed of the scene: whole frames through SceneProc (clear, nine Instances, copy to the window)
// for the sample cube and a heavy object, against the clear-and-copy floor; and loading both.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scene_objects.h"
#include "geometry/rotation.h"
#include "host/host_state.h"
#include "platform/portable/kernel.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"
#include "scene/colour_table.h"
#include "scene/object_file.h"
#include "scene/renderer.h"
#include "scene/scene_proc.h"

namespace {

// A saver window of the given size with its scene created from objectText.
struct SceneRun {
  HWND window = nullptr;
};

SceneRun StartScene(const std::string& objectText, int width, int height) {
  ResetPortablePlatform();
  ResetSceneState();
  ResetHostState();
  std::string drive = "/tmp/cubrix_scene_bench";
  mkdir(drive.c_str(), 0755);
  mkdir((drive + "/windows").c_str(), 0755);
  SetDriveOverride(drive);
  std::ofstream(drive + "/windows/Cube.dat", std::ios::binary) << objectText;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = SceneProc;
  windowClass.lpszClassName = "SceneBench";
  RegisterClassA(&windowClass);
  SceneRun run;
  run.window = CreateWindowExA(0, "SceneBench", "Screen Saver", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                               nullptr, nullptr);
  return run;
}

// Screens' worth of polygon area in an average frame, projected as the renderer does (area
// outside the window included), sampled over the frame-angle cycle.
double AverageOverdraw(int width, int height) {
  const Object& object = scene.sceneObject;
  double total = 0;
  int frames = 0;
  for (int32_t angle = 1; angle <= 359; angle += 6, ++frames) {
    DepthRecord instances[kInstanceCount];
    LayOutInstances(angle, instances);
    for (const DepthRecord& instance : instances) {
      for (int32_t i = 0; i < object.faceCount; ++i) {
        const Face& face = object.faces[i];
        POINT points[kMaxFaceVertices];
        bool inFront = true;
        for (int32_t j = 0; j < face.vertexCount; ++j) {
          Vertex v = face.vertices[j];
          RotatePoint(v, angle + kObjectAngleOffset, kAxisY);
          v = Vertex{v.x + instance.position.x, v.y + instance.position.y, v.z + instance.position.z};
          inFront = inFront && v.z < 0;
          points[j] = ProjectToScreen(v);
        }
        double twiceArea = 0;
        for (int32_t j = 0; inFront && j < face.vertexCount; ++j) {
          const POINT& a = points[j];
          const POINT& b = points[(j + 1) % face.vertexCount];
          twiceArea += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
        }
        total += std::fabs(twiceArea) / 2;
      }
    }
  }
  return total / frames / (static_cast<double>(width) * height);
}

void FrameBenchmark(benchmark::State& state, const std::string& objectText) {
  SceneRun run = StartScene(objectText, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (run.window == nullptr || scene.sceneObject.faceCount == 0) {
    state.SkipWithError("the scene did not start");
    return;
  }
  for (auto _ : state) {
    SendMessageA(run.window, WM_TIMER, 1, 0);
  }
  state.counters["overdraw_screens"] = AverageOverdraw(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  DestroyWindow(run.window);
  ResetPortablePlatform();
}

void BM_SampleFrame(benchmark::State& state) { FrameBenchmark(state, SampleObjectText(CUBRIX_SOURCE_DIR)); }
void BM_HeavyFrame(benchmark::State& state) { FrameBenchmark(state, HeavyObjectText()); }

// The least any frame costs: clearing a 32-bit frame and copying it once.
void BM_ClearAndCopyFloor(benchmark::State& state) {
  size_t pixels = static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1));
  std::vector<uint32_t> back(pixels), front(pixels);
  for (auto _ : state) {
    std::memset(back.data(), 0, pixels * sizeof(uint32_t));
    benchmark::ClobberMemory();
    std::memcpy(front.data(), back.data(), pixels * sizeof(uint32_t));
    benchmark::DoNotOptimize(front.data());
    benchmark::ClobberMemory();
  }
}

// One screen's worth of plain filling, the unit of overdraw.
void BM_ScreenFill(benchmark::State& state) {
  size_t pixels = static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1));
  std::vector<uint32_t> back(pixels);
  for (auto _ : state) {
    std::memset(back.data(), 0x33, pixels * sizeof(uint32_t));
    benchmark::DoNotOptimize(back.data());
    benchmark::ClobberMemory();
  }
}

// Loads objectText from a file, whole LoadObject calls: open, both passes, close.
void LoadBenchmark(benchmark::State& state, const std::string& objectText) {
  ResetPortablePlatform();
  const char* hostPath = "/tmp/cubrix_scene_bench_cube.dat";
  std::ofstream(hostPath, std::ios::binary) << objectText;
  const std::string path = PlatformPathOfHostFile(hostPath);  // not a path on the saver's drive
  for (auto _ : state) {
    Object object{};
    int32_t result = LoadObject(object, path.c_str());
    FreeObject(object);
    FreeColourTable();
    if (result != kLoadSucceeded) {
      state.SkipWithError("the object did not load");
      break;
    }
  }
  std::remove(hostPath);
}

void BM_LoadSample(benchmark::State& state) { LoadBenchmark(state, SampleObjectText(CUBRIX_SOURCE_DIR)); }
// About 4 KB and 1,200 coordinates: the number reader's share of a load shows here.
void BM_LoadHeavy(benchmark::State& state) { LoadBenchmark(state, HeavyObjectText()); }

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ClearAndCopyFloor)->Apply(Sizes);
BENCHMARK(BM_ScreenFill)->Apply(Sizes);
BENCHMARK(BM_SampleFrame)->Apply(Sizes);
BENCHMARK(BM_HeavyFrame)->Apply(Sizes);
BENCHMARK(BM_LoadSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadHeavy)->Unit(benchmark::kMicrosecond);

}  // namespace
