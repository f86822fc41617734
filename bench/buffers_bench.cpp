// The packed stream: packing a 900,000-byte host buffer and fetching it with
// dll_SendNext in 1,000-byte pieces, through VlCall, against the floor of two
// plain copies of the same bytes (one when packing, one when sending).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "host.h"

namespace {

constexpr std::size_t kStream = 900000;
constexpr int kPiece = 1000;

void BM_TwoCopiesFloor(benchmark::State &state) {
  std::string source(kStream, 'x');
  std::vector<char> packed(kStream + 10);
  std::vector<char> piece(kPiece);
  for (auto _ : state) {
    std::memcpy(packed.data() + 10, source.data(), kStream);
    for (std::size_t at = 0; at < packed.size(); at += kPiece - 8) {
      const std::size_t n = std::min<std::size_t>(kPiece - 8, packed.size() - at);
      std::memcpy(piece.data() + 8, packed.data() + at, n);
    }
    benchmark::DoNotOptimize(piece.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStream));
}

void BM_PackAndSend(benchmark::State &state) {
  std::string source(kStream, 'x');
  HostString buf{static_cast<std::int32_t>(kStream), static_cast<std::int32_t>(kStream), source.data()};
  std::vector<char> pieceBytes(kPiece);
  HostString piece{kPiece, 0, pieceBytes.data()};
  std::int32_t eof = 0;
  void *packArgs[] = {&buf};
  void *sendArgs[] = {&piece, &eof};
  for (auto _ : state) {
    VlCall(74, packArgs);  // dict_PackBufDX
    do {
      VlCall(5, sendArgs);  // dll_SendNext
    } while (eof == 0);
    benchmark::DoNotOptimize(pieceBytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kStream));
}

BENCHMARK(BM_TwoCopiesFloor);
BENCHMARK(BM_PackAndSend);

}  // namespace

BENCHMARK_MAIN();
