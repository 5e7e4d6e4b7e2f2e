// Throughput of the link extractor on a page file: the extractor alone, and a whole scan pass
// (received bytes -> memo lines -> both extractors -> link list file).
// Usage: bench_detect --page=<file> --list=<link list file> [benchmark flags]
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "detect/LinkExtractor.h"
#include "detect/MemoLines.h"

namespace {

std::string g_page;
std::string g_list = "/tmp/tavimo-bench-swf.txt";
constexpr const char* kAddress = "http://www.example.com/games/index.html?id=7";

void BM_ExtractSwfLinks(benchmark::State& state) {
  tavimo::TMemoryStream stream;
  stream.WriteBuffer(g_page.data(), static_cast<std::int64_t>(g_page.size()));
  tavimo::TMemoLines memo;
  tavimo::LoadMemoFromStream(memo, stream);
  const std::string& text = memo.Text();
  for (auto _ : state) tavimo::ExtractSwfLinks(text, kAddress, g_list);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_WholePass(benchmark::State& state) {
  tavimo::TMemoryStream stream;
  stream.WriteBuffer(g_page.data(), static_cast<std::int64_t>(g_page.size()));
  tavimo::TMemoLines memo;
  std::size_t frames = 0;
  for (auto _ : state) {
    tavimo::LoadMemoFromStream(memo, stream);
    tavimo::ExtractSwfLinks(memo.Text(), kAddress, g_list);
    frames += tavimo::ExtractFrameLinks(memo.Text(), kAddress).size();
  }
  benchmark::DoNotOptimize(frames);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_page.size()));
}

BENCHMARK(BM_ExtractSwfLinks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholePass)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  std::string pagePath;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--page=", 7) == 0) pagePath = argv[i] + 7;
    else if (std::strncmp(argv[i], "--list=", 7) == 0) g_list = argv[i] + 7;
    else rest.push_back(argv[i]);
  }
  if (pagePath.empty()) {
    std::cerr << "usage: " << argv[0] << " --page=<file> [--list=<file>] [benchmark flags]\n";
    return 2;
  }
  std::ifstream in(pagePath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  g_page = bytes.str();
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
