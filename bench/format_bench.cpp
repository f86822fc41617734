// Numbers and texts in fields, through VlCall as a host calls them, with the
// trace off, against the bare library calls on the same values in the same run:
//   fmt_Num   against snprintf("%*.*f")        (goal: at most 2x)
//   scan_Num  against strtod                   (goal: at most 3x)
//   fmt_Text  against memcpy of the text plus its padding (reported)
// The number benchmarks run with the decimal comma, thousands point and groups
// of 3 of a German locale buffer, so that every substitution is paid for.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffers.h"
#include "format.h"
#include "format_host.h"
#include "host.h"

namespace {

constexpr std::int32_t kLen = 14;
constexpr std::int32_t kPrec = 2;

std::vector<double> Values() {
  std::mt19937_64 rng(1);
  std::vector<double> values(1024);
  for (double &v : values) {
    v = std::uniform_real_distribution<double>(-1.0, 1.0)(rng) * std::pow(10.0, static_cast<int>(rng() % 8));
  }
  return values;
}

std::vector<std::string> Texts(bool german) {
  std::vector<std::string> texts;
  for (double v : Values()) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    if (german) {
      for (char &c : s) c = c == '.' ? ',' : c;
    }
    texts.push_back(s);
  }
  return texts;
}

// A German locale buffer, decoded into the tables (no system locale needed).
void InstallGerman() {
  dll_SetLocale("");
  const vl::CsdxState &s = vl::csdxBuf();
  std::string buf(s.buffer.get(), s.size);
  const std::string tail = "1~.0~0~1~?1~-";
  buf.replace(buf.rfind(tail), tail.size(), "1~,1~.2~031~?1~-");
  char header[11];
  std::snprintf(header, sizeof header, "R1~%06zu~", buf.size());
  buf.replace(0, 10, header);
  vl::CSDX_Reset();
  vl::csdxBuf().buffer.reset(new char[buf.size() + 1]);
  std::memcpy(vl::csdxBuf().buffer.get(), buf.c_str(), buf.size() + 1);
  vl::csdxBuf().size = buf.size();
  if (vl::SetClientLocale() != 0) std::abort();
}

void BM_SnprintfBaseline(benchmark::State &state) {
  const std::vector<double> values = Values();
  char out[64];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%*.*f", kLen, kPrec, values[i++ & 1023]);
    benchmark::DoNotOptimize(out);
  }
}

void FmtNumThroughVlCall(benchmark::State &state, const char *flags) {
  InstallGerman();
  const std::vector<double> values = Values();
  char bytes[64];
  HostString result{sizeof bytes, 0, bytes};
  double value = 0;
  std::int32_t len = kLen, prec = kPrec;
  void *args[] = {&value, &len, &prec, const_cast<char *>(flags), &result};
  std::size_t i = 0;
  for (auto _ : state) {
    value = values[i++ & 1023];
    VlCall(77, args);
    benchmark::DoNotOptimize(bytes);
  }
}

void BM_FmtNum(benchmark::State &state) { FmtNumThroughVlCall(state, "lRbzTPg"); }
void BM_FmtNumGrouped(benchmark::State &state) { FmtNumThroughVlCall(state, "lRbzTPG"); }

void BM_StrtodBaseline(benchmark::State &state) {
  const std::vector<std::string> texts = Texts(false);
  std::size_t i = 0;
  for (auto _ : state) {
    double v = std::strtod(texts[i++ & 1023].c_str(), nullptr);
    benchmark::DoNotOptimize(v);
  }
}

void BM_ScanNum(benchmark::State &state) {
  InstallGerman();
  const std::vector<std::string> texts = Texts(true);
  char bytes[64];
  HostString out{sizeof bytes, 0, bytes};
  double result = 0, min = 0, max = 0;
  std::int32_t prec = kPrec, rc = 0;
  void *args[] = {nullptr, const_cast<char *>("L"), &prec, &min, &max, const_cast<char *>(""), &result, &out, &rc};
  std::size_t i = 0;
  for (auto _ : state) {
    args[0] = const_cast<char *>(texts[i++ & 1023].c_str());
    VlCall(78, args);
    benchmark::DoNotOptimize(result);
  }
}

const char *const kTexts[] = {"  Mustermann  ", "Erika", "Hauptstrasse 5", "  ", "D-12345 Berlin", "x"};
constexpr std::int32_t kTextLen = 20;

void BM_MemcpyPadBaseline(benchmark::State &state) {
  char out[64];
  std::size_t i = 0;
  for (auto _ : state) {
    const char *text = kTexts[i++ % 6];
    const std::size_t n = std::strlen(text);
    std::memset(out, ' ', kTextLen - n);
    std::memcpy(out + kTextLen - n, text, n);
    out[kTextLen] = '\0';
    benchmark::DoNotOptimize(out);
  }
}

void BM_FmtText(benchmark::State &state) {
  dll_SetLocale("");
  char bytes[64];
  HostString result{sizeof bytes, 0, bytes};
  std::int32_t len = kTextLen;
  void *args[] = {nullptr, &len, const_cast<char *>("R"), &result};
  std::size_t i = 0;
  for (auto _ : state) {
    args[0] = const_cast<char *>(kTexts[i++ % 6]);
    VlCall(87, args);
    benchmark::DoNotOptimize(bytes);
  }
}

BENCHMARK(BM_SnprintfBaseline);
BENCHMARK(BM_FmtNum);
BENCHMARK(BM_FmtNumGrouped);
BENCHMARK(BM_StrtodBaseline);
BENCHMARK(BM_ScanNum);
BENCHMARK(BM_MemcpyPadBaseline);
BENCHMARK(BM_FmtText);

}  // namespace

BENCHMARK_MAIN();
