// inkstrip's filter on any bytes, split anywhere.
//
// Input: a byte that picks where the input is cut, then the input. Checks:
//   - every line written ends with its one line feed and holds only printable
//     bytes (no escape, control or 128-to-159 byte);
//   - the lines do not depend on how the input is cut into reads.
#include <string>
#include <vector>

#include "fuzz.h"
#include "inkstrip.h"

namespace {

class Lines : public inkstrip::LineSink {
 public:
  bool Put(const char *text, std::size_t len) override {
    FUZZ_CHECK(len >= 1 && text[len - 1] == '\n');
    for (std::size_t i = 0; i + 1 < len; ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      FUZZ_CHECK((byte & 0x7f) >= 32);
    }
    all.append(text, len);
    return true;
  }
  std::string all;
};

std::string Filter(std::string_view input, std::size_t cut) {
  Lines lines;
  inkstrip::OverstrikeFilter filter(lines);
  std::size_t at = 0;
  std::size_t step = 0;
  while (at < input.size()) {
    const std::size_t n = cut == 0 ? input.size() : std::min(input.size() - at, 1 + (cut * ++step) % 1500);
    FUZZ_CHECK(filter.Feed(input.data() + at, n) == inkstrip::FilterStatus::kOk);
    at += n;
  }
  return lines.all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::Input in(data, size);
  const std::size_t cut = in.Byte();
  const std::string_view input = in.Rest();
  const std::string whole = Filter(input, 0);
  FUZZ_CHECK(Filter(input, cut == 0 ? 1 : cut) == whole);
  return 0;
}
