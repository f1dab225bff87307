// The event log's cost to its callers and whether its writer keeps up.
// BM_LogMessage is measured against BM_Baseline, a mutex-protected vector
// append of the same formatted line: the least any thread-safe in-memory
// log can cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/log_writer.h"
#include "common/logger.h"
#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace {

namespace fs = std::filesystem;

fs::path g_root;

// A fresh simulated machine and a log folder, made once for the process.
void SetUpOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_root = fs::temp_directory_path() / ("vx-log-bench-" + std::to_string(::getpid()));
    std::string error;
    if (!vx::sim::Machine::Create(g_root / "machine",
                                  fs::path(VX_DATA_DIR) / "machines" / "desktop-win10-x64", error) ||
        !vx::platform::Attach(g_root / "machine", error)) {
      std::fprintf(stderr, "log_bench: %s\n", error.c_str());
      std::exit(1);
    }
  });
}

void StartBenchLog() {
  SetUpOnce();
  vx::StopLog();
  std::error_code ec;
  fs::remove_all(g_root / "Data", ec);
  vx::SetLogTiming(vx::LogTiming{});  // the product's intervals
  vx::StartLog(g_root / "Data");
}

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

void BM_LogMessage(benchmark::State& state) {
  if (state.thread_index() == 0) StartBenchLog();
  std::vector<double> samples;
  samples.reserve(1 << 16);
  int64_t i = 0;
  const std::string prefix = "t" + std::to_string(state.thread_index()) + " device ";
  for (auto _ : state) {
    // Every 64th call is timed alone for the latency distribution.
    if ((i & 63) == 0 && samples.size() < samples.capacity()) {
      auto t0 = std::chrono::steady_clock::now();
      vx::LogMessage("TDriversList.Scan", prefix + std::to_string(i));
      auto t1 = std::chrono::steady_clock::now();
      samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    } else {
      vx::LogMessage("TDriversList.Scan", prefix + std::to_string(i));
    }
    ++i;
  }
  state.counters["median_ns"] = Percentile(samples, 0.5);
  state.counters["p99_ns"] = Percentile(samples, 0.99);
  if (state.thread_index() == 0) vx::StopLog();
}
BENCHMARK(BM_LogMessage)->Threads(1)->Threads(4)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

std::mutex g_base_mu;
std::vector<std::string> g_base_lines;

void BM_Baseline(benchmark::State& state) {
  if (state.thread_index() == 0) SetUpOnce();
  std::vector<double> samples;
  samples.reserve(1 << 16);
  int64_t i = 0;
  const std::string prefix = "t" + std::to_string(state.thread_index()) + " device ";
  auto append = [&] {
    std::string line = vx::BuildMessageText("TDriversList.Scan", prefix + std::to_string(i));
    std::lock_guard lock(g_base_mu);
    if (g_base_lines.size() >= 100000) g_base_lines.clear();  // bounded like the log
    g_base_lines.push_back(std::move(line));
  };
  for (auto _ : state) {
    if ((i & 63) == 0 && samples.size() < samples.capacity()) {
      auto t0 = std::chrono::steady_clock::now();
      append();
      auto t1 = std::chrono::steady_clock::now();
      samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    } else {
      append();
    }
    ++i;
  }
  state.counters["median_ns"] = Percentile(samples, 0.5);
  state.counters["p99_ns"] = Percentile(samples, 0.99);
}
BENCHMARK(BM_Baseline)->Threads(1)->Threads(4)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

long RssKb() {
  std::ifstream f("/proc/self/status");
  std::string key;
  long value = 0;
  while (f >> key) {
    if (key == "VmRSS:") {
      f >> value;
      return value;
    }
    f.ignore(1 << 12, '\n');
  }
  return 0;
}

// 100000 lines a second for 3 seconds, paced in 1 ms steps, with the
// product's intervals: the lines held in memory must stay bounded and all
// of them must reach the files.
void BM_WriterKeepsUp(benchmark::State& state) {
  constexpr int kSeconds = 3;
  constexpr int kPerMs = 100;
  for (auto _ : state) {
    StartBenchLog();
    long rss_start = RssKb();
    size_t peak_backlog = 0;
    long peak_rss = rss_start;
    auto start = std::chrono::steady_clock::now();
    int64_t n = 0;
    for (int ms = 0; ms < kSeconds * 1000; ++ms) {
      for (int k = 0; k < kPerMs; ++k) vx::LogMessage("Flood", std::to_string(n++));
      if (ms % 10 == 0) {
        peak_backlog = std::max(peak_backlog, vx::LogBacklog());
        peak_rss = std::max(peak_rss, RssKb());
      }
      std::this_thread::sleep_until(start + std::chrono::milliseconds(ms + 1));
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t left = vx::LogBacklog();
    vx::StopLog();
    std::error_code ec;
    uintmax_t bytes = fs::file_size(g_root / "Data" / "program.log", ec) +
                      fs::file_size(g_root / "Data" / "program_prev.log", ec);
    state.counters["lines_per_s"] = static_cast<double>(n) / seconds;
    state.counters["peak_backlog_lines"] = static_cast<double>(peak_backlog);
    state.counters["backlog_at_end"] = static_cast<double>(left);
    state.counters["rss_growth_mb"] = static_cast<double>(peak_rss - rss_start) / 1024.0;
    state.counters["log_bytes_kept"] = static_cast<double>(bytes);
  }
}
BENCHMARK(BM_WriterKeepsUp)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
