// Downloads a 100 MB file from the local service into a file, once through
// XInternet and once through plain libcurl, and prints how XInternet's speed
// compares (goal: at least 0.8 of libcurl's).
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/internet.h"
#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;
constexpr uint64_t kSize = 100ull << 20;

struct Service {
  fs::path dir;
  vx::test::Child child;
  std::string host;

  bool Start() {
    dir = fs::temp_directory_path() / ("vx_internet_bench_" + std::to_string(getpid()));
    fs::create_directories(dir / "root" / "downloads");
    {
      std::ofstream out(dir / "root" / "downloads" / "big.bin", std::ios::binary);
      std::string block(1 << 20, '\0');
      for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 2654435761u >> 24);
      for (uint64_t i = 0; i < kSize / block.size(); ++i) out.write(block.data(), block.size());
    }
    const fs::path ports = dir / "ports";
    if (!child.Start({VX_SERVICE_EXE, "--root", (dir / "root").string(), "--port-file",
                      ports.string(), "--smtp-port", "-1"}) ||
        !vx::test::WaitForFile(ports))
      return false;
    std::string port = vx::test::ServicePort(ports, "http");
    host = "127.0.0.1:" + port;
    return !port.empty();
  }
  ~Service() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
};

Service* g_service = nullptr;
double g_xinternet_best = 0;
double g_curl_best = 0;

void XInternetFile(benchmark::State& state) {
  fs::path target = g_service->dir / "x.bin";
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    bool ok = vx::XInternet::LoadInternetFile("bench", g_service->host, "/downloads/big.bin",
                                              60000, {}, false, target);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) state.SkipWithError("download failed");
    if (g_xinternet_best == 0 || s < g_xinternet_best) g_xinternet_best = s;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

size_t WriteToFile(char* data, size_t size, size_t n, void* file) {
  return std::fwrite(data, size, n, static_cast<FILE*>(file)) * size;
}

void CurlFile(benchmark::State& state) {
  std::string url = "http://" + g_service->host + "/downloads/big.bin";
  std::string target = (g_service->dir / "c.bin").string();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    FILE* f = std::fopen(target.c_str(), "wb");
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, f);
    CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    std::fclose(f);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rc != CURLE_OK) state.SkipWithError("curl failed");
    if (g_curl_best == 0 || s < g_curl_best) g_curl_best = s;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(CurlFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(XInternetFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Service service;
  if (!service.Start()) {
    std::fprintf(stderr, "internet_bench: cannot start %s\n", VX_SERVICE_EXE);
    return 1;
  }
  g_service = &service;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_xinternet_best > 0 && g_curl_best > 0)
    std::printf("XInternet / curl speed ratio: %.2f (goal >= 0.80)\n",
                g_curl_best / g_xinternet_best);
  return 0;
}
