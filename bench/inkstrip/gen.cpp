// Writes printer-style text for the inkstrip benchmark, the same bytes for the
// same seed on every machine (its own generator, no library distributions).
//
//   inkstrip_gen <file> [megabytes=200] [seed=1]
//       lines of 60 to 200 bytes of text with tabs; about one in ten
//       overprinted after a carriage return (bold: the same text again;
//       underline: blanks, then underscores); escape sequences (ESC E,
//       ESC ( s 3 B, ESC [ 1 m); a form feed every 66 lines.
//   inkstrip_gen --one-line <file> <megabytes>
//       one line of that many megabytes of text, then a line feed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::uint64_t kMegabyte = 1000000;
constexpr int kPageLines = 66;

// splitmix64: small, fast and fully specified.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

constexpr std::string_view kWords[] = {
    "ACCOUNT", "balance", "total",  "invoice", "customer", "amount", "due",     "date",     "2024-03-31",
    "page",    "item",    "qty",    "12.50",   "1,250.00", "net",    "gross",   "tax",      "VAT",
    "order",   "number",  "shipped", "pending", "Smith",   "Ltd.",   "--",      "report",   "summary",
    "printed", "by",      "batch",  "0042",    "region",   "North",  "South",   "carried",  "forward",
};
constexpr std::string_view kSequences[] = {"\x1b" "E", "\x1b(s3B", "\x1b(s0B", "\x1b[1m", "\x1b[0m"};

// Text of `len` bytes: words and blanks, now and then a tab or a sequence
// (never cut at the end, so that it cannot swallow what follows).
std::string TextLine(Random &rng, std::size_t len) {
  std::string text;
  while (text.size() < len) {
    if (!text.empty()) {
      const std::size_t pick = rng.Below(20);
      const std::string_view sequence = kSequences[rng.Below(std::size(kSequences))];
      if (pick == 0) text += '\t';
      else if (pick == 1 && text.size() + sequence.size() < len) text += sequence;
      else text += ' ';
    }
    text += kWords[rng.Below(std::size(kWords))];
  }
  text.resize(len);
  return text;
}

bool WriteAll(std::FILE *out, const std::string &bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

int Usage() {
  std::fprintf(stderr, "usage: inkstrip_gen <file> [megabytes] [seed]\n       inkstrip_gen --one-line <file> <megabytes>\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  const bool oneLine = argc > 1 && std::strcmp(argv[1], "--one-line") == 0;
  const char *path = nullptr;
  std::uint64_t megabytes = 200, seed = 1;
  if (oneLine) {
    if (argc != 4) return Usage();
    path = argv[2];
    megabytes = std::strtoull(argv[3], nullptr, 10);
  } else {
    if (argc < 2 || argc > 4) return Usage();
    path = argv[1];
    if (argc > 2) megabytes = std::strtoull(argv[2], nullptr, 10);
    if (argc > 3) seed = std::strtoull(argv[3], nullptr, 10);
  }
  const std::uint64_t size = megabytes * kMegabyte;
  Random rng(seed);

  std::FILE *out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

  bool ok = true;
  std::uint64_t written = 0;
  if (oneLine) {
    while (ok && written < size) {
      std::string text = TextLine(rng, static_cast<std::size_t>(std::min<std::uint64_t>(size - written, 1 << 16)));
      for (char &c : text) {
        if (c == '\t' || c == '\x1b') c = ' ';
      }
      ok = WriteAll(out, text);
      written += text.size();
    }
    ok = ok && std::fputc('\n', out) != EOF;
  } else {
    for (std::uint64_t line = 0; ok && written < size; ++line) {
      std::string bytes;
      if (line % kPageLines == 0 && line != 0) bytes += '\f';
      if (rng.Below(8) == 0) bytes += kSequences[rng.Below(std::size(kSequences))];
      const std::string text = TextLine(rng, 60 + rng.Below(141));
      bytes += text;
      if (rng.Below(10) == 0) {
        bytes += '\r';
        if (rng.Below(2) == 0) {
          bytes += text;  // bold
        } else {
          const std::size_t from = rng.Below(text.size() / 2), count = 1 + rng.Below(text.size() - from);
          bytes.append(from, ' ');  // underline part of the line
          bytes.append(count, '_');
        }
      }
      bytes += '\n';
      ok = WriteAll(out, bytes);
      written += bytes.size();
    }
  }
  if (std::fclose(out) != 0 || !ok) {
    std::perror(path);
    return 1;
  }
  return 0;
}
