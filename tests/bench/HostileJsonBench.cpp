// Decoding time of hostile JSON: 100,000 levels deep and 60,000 keys wide (about 1 MB), through
// the model decoder and the plain-value decoder. The bar: a result (a decoding failure or the
// value) within 100 ms, without a crash.
// Run: hostile_json_bench | grep -v "^\[Error\]"   (each refused input logs a line)
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "services/common/JsonHelper.h"
#include "services/model/Json.h"

namespace {

struct Holder {
  std::string name;
  tarnel::Json value;
  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("name", self.name);
    v("value", self.value);
  }
};

std::string deep(std::size_t levels) {
  return R"({"value":)" + std::string(levels, '[') + std::string(levels, ']') + R"(,"name":"n"})";
}

std::string deepObjects(std::size_t levels) {
  std::string text = R"({"value":)";
  for (std::size_t i = 0; i < levels; ++i) text += R"({"a":)";
  text += "1" + std::string(levels, '}') + R"(,"name":"n"})";
  return text;
}

std::string wide(std::size_t keys) {
  std::string text = "{";
  for (std::size_t i = 0; i < keys; ++i) text += "\"key" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  return text + R"("name":"n","value":0})";
}

void decodeModel(benchmark::State& state, const std::string& text) {
  state.counters["bytes"] = static_cast<double>(text.size());
  bool decoded = false;
  for (auto _ : state) {
    decoded = tarnel::fromJson<Holder>(text).has_value();
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["decoded"] = decoded ? 1 : 0;
}

void decodePlain(benchmark::State& state, const std::string& text) {
  bool decoded = false;
  for (auto _ : state) {
    decoded = tarnel::jsonDecode(text).has_value();
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["decoded"] = decoded ? 1 : 0;
}

void encodeWideMap(benchmark::State& state) {
  const auto map = tarnel::fromJson<std::map<std::string, tarnel::Json>>(wide(60'000));
  for (auto _ : state) benchmark::DoNotOptimize(tarnel::json::encodeValue(*map));
}

}  // namespace

BENCHMARK_CAPTURE(decodeModel, deep_arrays_100000, deep(100'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeModel, deep_objects_100000, deepObjects(100'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeModel, wide_60000, wide(60'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodePlain, deep_arrays_100000, deep(100'000))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodePlain, wide_60000, wide(60'000))->Unit(benchmark::kMillisecond);
BENCHMARK(encodeWideMap)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
