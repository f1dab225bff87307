// The device inventory of a generated 1000-device PC (simulated machine):
// one whole GenerateDevicesList run, reported per run and per device
// (counter "per_device", seconds). The machine is generated afresh into a
// temporary folder at start and removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/ini_file.h"
#include "dbgen/device_machine_gen.h"
#include "engine/core_devices.h"
#include "engine/core_devices_helpers.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr int kDevices = 1000;

struct BenchMachine {
  fs::path root;
  fs::path machine;
  fs::path list;

  BenchMachine() {
    root = fs::temp_directory_path() / ("vx-devices-bench-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path sample = root / "sample";
    machine = root / "machine";
    list = root / "base" / "Devices.ini";
    fs::create_directories(list.parent_path());
    std::string error;
    dbgen::DeviceMachineOptions options;
    options.devices = kDevices;
    if (!dbgen::WriteDeviceMachineSample(sample, options, &error) ||
        !sim::Machine::Create(machine, sample, error) || !platform::Attach(machine, error)) {
      std::fprintf(stderr, "devices_bench: %s\n", error.c_str());
      std::exit(1);
    }
  }
  ~BenchMachine() {
    platform::Detach();
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

BenchMachine& Machine() {
  static BenchMachine m;
  return m;
}

void BM_GenerateDevicesList(benchmark::State& state) {
  BenchMachine& m = Machine();
  DeviceListCounters counters;
  for (auto _ : state) {
    // Each run starts cold, as the scan's does: class names are read again.
    ClearClassNameCache();
    if (!GenerateDevicesListFile(m.list, {}, &counters)) {
      state.SkipWithError("GenerateDevicesListFile failed");
      break;
    }
  }
  state.counters["devices"] = counters.total;
  state.counters["listed"] = counters.unique;
  state.counters["per_device"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * counters.total,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GenerateDevicesList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vx

BENCHMARK_MAIN();
