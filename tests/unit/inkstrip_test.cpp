// Test plan for the overstrike and escape filter (the core of inkstrip):
//   1. Overprinting: carriage returns, blanks, longer and shorter text (table).
//   2. Escape sequences: closing bytes and their neighbours, sequences that run
//      over carriage returns and line feeds (table).
//   3. The printable rule: every byte value between two letters.
//   4. Pieces: lines longer than 1023 bytes, escape sequences cut by a piece
//      boundary, NUL bytes that end their piece (table).
//   5. Splitting: random input in random splits against a plain byte-at-a-time
//      model of the rules (output and buffer size).
//   6. The line buffer: sizes in 1024-byte steps, one step per growth, a
//      resize that fails, lines written before a failure.
//   7. A sink that refuses a line stops the filter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "inkstrip.h"

namespace {

using namespace std::string_literals;

using inkstrip::FilterStatus;
using inkstrip::OverstrikeFilter;

// Keeps every finished line; refuses the line numbered `refuseAt` (1-based).
class StringSink : public inkstrip::LineSink {
 public:
  bool Put(const char *text, std::size_t len) override {
    if (++lines == refuseAt) return false;
    out.append(text, len);
    return true;
  }
  std::string out;
  int lines = 0;
  int refuseAt = 0;
};

// Filters `input` in one call.
std::string Strip(const std::string &input) {
  StringSink sink;
  OverstrikeFilter filter(sink);
  EXPECT_EQ(filter.Feed(input.data(), input.size()), FilterStatus::kOk);
  return sink.out;
}

struct Case {
  const char *id;
  std::string input;
  std::string expected;
};

void RunTable(const std::vector<Case> &cases) {
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Strip(c.input), c.expected);
  }
}

// 1. Overprinting -------------------------------------------------------------

TEST(InkstripOverstrike, CarriageReturnsMergeIntoOneLine) {
  RunTable({
      {"underscores replace", "abc\r___\n", "___\n"},
      {"blanks pass over, then append", "abc\r   d\n", "abcd\n"},
      {"longer text goes on appending", "ab\rxyz\n", "xyz\n"},
      {"shorter text keeps the tail", "abc\rxy\n", "xyc\n"},
      {"two carriage returns as one", "abc\r\rX\n", "Xbc\n"},
      {"carriage return before line feed", "abc\r\n", "abc\n"},
      {"bold: the same text again", "Bold\rBold\n", "Bold\n"},
      {"underline: blanks, then underscores", "Name: x\r      _\n", "Name: _\n"},
      {"later passes win", "abc\rx\ry\n", "ybc\n"},
      {"blank at the end of the old text is stored", "ab\r   \n", "ab \n"},
      {"appended text ends at the next return", "ab\rxyz\r1\n", "1yz\n"},
      {"a line does not keep the previous one's tail", "abcdef\nxy\rz\n", "abcdef\nzy\n"},
      {"overstrike from an empty line", "\rab\n", "ab\n"},
      {"empty lines", "\n\r\n\n", "\n\n\n"},
      {"controls neither store nor advance", "abc\r\t\b\fX\n", "Xbc\n"},
      {"backspace is dropped", "a\bb\n", "ab\n"},
      {"tab is not expanded", "a\tb\n", "ab\n"},
      {"form feed is dropped", "\fpage 2\n", "page 2\n"},
      {"text after the last line feed is dropped", "one\ntwo", "one\n"},
      {"open overstrike at the end is dropped", "one\nab\rc", "one\n"},
      {"CR LF line ends", "one\r\ntwo\r\n", "one\ntwo\n"},
      {"empty input", "", ""},
  });
}

// 2. Escape sequences ---------------------------------------------------------

TEST(InkstripEscape, SequencesEndAtAtSignToClosingBracket) {
  RunTable({
      {"ESC E", "x\x1b" "Ey\n", "xy\n"},
      {"ESC ( s 3 B", "\x1b(s3BText\n", "Text\n"},
      {"ESC [ 1 m leaves 1m", "\x1b[1mBold\x1b[0m\n", "1mBold0m\n"},
      {"64 closes", "a\x1b@b\n", "ab\n"},
      {"93 closes", "a\x1b]b\n", "ab\n"},
      {"63 does not close", "a\x1b?Xb\n", "ab\n"},
      {"94 does not close, the line runs on", "a\x1b^b\nc\n", "ac\n"},
      {"ESC inside a sequence", "a\x1b\x1b" "Eb\n", "ab\n"},
      {"open at the line end swallows the line feed", "ab\x1b(\ncd\n", "abcd\n"},
      {"a carriage return inside is dropped", "abc\x1b\rX\n", "abc\n"},
      {"ESC at the end of the input", "a\n\x1b", "a\n"},
      {"8-bit CSI is only a control", "a\x9b" "1mb\n", "a1mb\n"},
      {"inside overstrike", "abc\r\x1b" "Ex\n", "xbc\n"},
  });
}

// 3. The printable rule ---------------------------------------------------------

TEST(InkstripPrintable, LowSevenBitsFromBlankUpAreKept) {
  // The byte sits at each place of an 8-byte word, after plain text.
  for (int v = 1; v < 256; ++v) {
    if (v == 10 || v == 13 || v == 27) continue;  // line ends and ESC have rules of their own
    const bool kept = (v >= 32 && v <= 127) || v >= 160;
    for (std::size_t lead = 0; lead < 9; ++lead) {
      SCOPED_TRACE(testing::Message() << "byte " << v << " after " << lead);
      const std::string before(lead, '<'), after(12, '>');
      const std::string byte(1, static_cast<char>(v));
      EXPECT_EQ(Strip(before + byte + after + "\n"), before + (kept ? byte : "") + after + "\n");
    }
  }
}

// 4. Pieces ---------------------------------------------------------------------

TEST(InkstripPieces, LongLinesNulsAndPieceBoundaries) {
  const std::string a1021(1021, 'a'), a1022(1022, 'a'), a1023(1023, 'a');
  RunTable({
      {"a long line stays one line", a1023 + "b" + std::string(3000, 'c') + "\n",
       a1023 + "b" + std::string(3000, 'c') + "\n"},
      {"a sequence is cut at the piece boundary", a1022 + "\x1b(s3Bc\n", a1022 + "(s3Bc\n"},
      {"a sequence opened in the last byte but one", a1021 + "\x1b(s3Bc\n", a1021 + "s3Bc\n"},
      {"a line feed starting a new piece ends the line", a1022 + "\x1b\nx\n", a1022 + "\nx\n"},
      {"a line feed ending the piece is swallowed", a1021 + "\x1b\nx\n", a1021 + "x\n"},
      {"overstrike across pieces", std::string(1500, 'a') + "\r" + std::string(1500, '_') + "\n",
       std::string(1500, '_') + "\n"},
      {"blanks pass over a long line", std::string(2000, 'a') + "\r" + std::string(2000, ' ') + "c\n",
       std::string(2000, 'a') + "c\n"},
      {"NUL drops the rest of its piece, line feed too", "ab\0cd\nef\n"s, "abef\n"},
      {"NUL at the end of a piece", a1022 + std::string(1, '\0') + "cd\n", a1022 + "cd\n"},
      {"NUL inside a long piece", std::string(1000, 'a') + std::string(1, '\0') + std::string(22, 'b') + "cd\n",
       std::string(1000, 'a') + "cd\n"},
      {"NUL inside a sequence", "a\x1b(\0zz\nb\n"s, "ab\n"},
      {"NUL then a carriage return in the same piece", "abc\0\rxy\nd\n"s, "abcd\n"},
  });
}

// 5. Splitting, against a model of the rules ------------------------------------

// The rules one byte at a time, with the input cut into pieces the way a line
// reader with a 1024-byte buffer cuts it; sizes follow the growth rule by offset.
struct Model {
  std::vector<char> buf;
  std::string out;

  void Store(std::size_t at, char c) {
    if (at >= buf.size()) buf.resize((at + 1025) / 1024 * 1024, '\x7f');
    buf[at] = c;
  }

  void Run(const std::string &in) {
    std::size_t pos = 0;
    bool append = true;
    for (std::size_t i = 0; i < in.size();) {
      std::size_t n = 0;
      while (i + n < in.size() && n < 1023 && (n == 0 || in[i + n - 1] != '\n')) ++n;
      const std::string piece = in.substr(i, n);
      i += n;
      bool escape = false;
      for (char ch : piece) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0) break;
        if (c == 27) {
          escape = true;
        } else if (escape) {
          escape = !(c >= 64 && c <= 93);
        } else if (c == 13 || c == 10) {
          if (append) {
            Store(pos, '\n');
            Store(pos + 1, '\0');
          }
          if (c == 10) out += std::string(buf.data());
          pos = 0;
          append = c == 10;
        } else if ((c & 127) >= 32) {
          if (!append && (buf[pos] == '\0' || buf[pos] == '\n')) append = true;
          if (append || c != ' ') Store(pos, ch);
          ++pos;
        }
      }
    }
  }
};

std::string RandomInput(std::mt19937 &rng) {
  // Mostly text, with line ends, returns, sequences, NULs and controls; some
  // inputs have few line feeds so that lines cross piece boundaries.
  static const std::string kBytes = "abcdefgh    ___\r\n\x1b([1mBE@]^?\t\b\f\x9b\xe9\x80\0"s;
  const std::size_t len = rng() % 6000;
  const bool longLines = rng() % 3 == 0;
  std::string s;
  for (std::size_t i = 0; i < len; ++i) {
    char c = kBytes[rng() % kBytes.size()];
    if (longLines && c == '\n' && rng() % 40 != 0) c = 'L';
    s += c;
  }
  return s;
}

TEST(InkstripSplitting, AnySplitMatchesTheModel) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const std::string input = RandomInput(rng);
    Model model;
    model.Run(input);

    StringSink sink;
    OverstrikeFilter filter(sink);
    for (std::size_t at = 0; at < input.size();) {
      const std::size_t len = round % 10 == 0 ? 1 : std::min<std::size_t>(input.size() - at, 1 + rng() % 1500);
      ASSERT_EQ(filter.Feed(input.data() + at, len), FilterStatus::kOk);
      at += len;
    }
    EXPECT_EQ(sink.out, model.out);
    EXPECT_EQ(filter.capacity(), model.buf.size());
  }
}

// 6. The line buffer ------------------------------------------------------------

std::vector<std::size_t> resizes;  // sizes asked of RecordingResize
std::size_t resizeLimit = 0;       // RecordingResize fails above this (0: never)

void *RecordingResize(void *block, std::size_t size) {
  resizes.push_back(size);
  if (resizeLimit != 0 && size > resizeLimit) return nullptr;
  return std::realloc(block, size);
}

class InkstripBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    resizes.clear();
    resizeLimit = 0;
  }
};

TEST_F(InkstripBuffer, GrowsInStepsJustAboveTheLongestLine) {
  // A line of n characters stores its line feed at offset n and the NUL at n + 1.
  struct Row {
    std::size_t textLen;
    std::size_t capacity;
  } rows[] = {{0, 1024}, {1022, 1024}, {1023, 2048}, {2046, 2048}, {2047, 3072}, {5000, 5120}, {1000000, 1000448}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.textLen);
    resizes.clear();
    StringSink sink;
    OverstrikeFilter filter(sink, &RecordingResize);
    EXPECT_EQ(filter.capacity(), 0u);
    const std::string line = std::string(row.textLen, 'x') + "\n";
    ASSERT_EQ(filter.Feed(line.data(), line.size()), FilterStatus::kOk);
    EXPECT_EQ(sink.out, line);
    EXPECT_EQ(filter.capacity(), row.capacity);
    ASSERT_EQ(resizes.size(), row.capacity / 1024);
    for (std::size_t i = 0; i < resizes.size(); ++i) EXPECT_EQ(resizes[i], (i + 1) * 1024);
  }
}

TEST_F(InkstripBuffer, NeverShrinksAndCountsUnwrittenText) {
  StringSink sink;
  OverstrikeFilter filter(sink, &RecordingResize);
  const std::string input = std::string(3000, 'x') + "\nshort\n" + std::string(4100, 'y');
  ASSERT_EQ(filter.Feed(input.data(), input.size()), FilterStatus::kOk);
  EXPECT_EQ(sink.out, std::string(3000, 'x') + "\nshort\n");
  EXPECT_EQ(filter.capacity(), 5120u);  // the unfinished text reached offset 4099
  EXPECT_EQ(resizes.size(), 5u);
}

TEST_F(InkstripBuffer, FailedResizeStopsWithItsSize) {
  resizeLimit = 2048;
  StringSink sink;
  OverstrikeFilter filter(sink, &RecordingResize);
  const std::string input = "first\n" + std::string(2100, 'z') + "\nnever\n";
  EXPECT_EQ(filter.Feed(input.data(), input.size()), FilterStatus::kNoMemory);
  EXPECT_EQ(filter.failedSize(), 3072u);
  EXPECT_EQ(sink.out, "first\n");
  EXPECT_EQ(filter.capacity(), 2048u);
}

TEST_F(InkstripBuffer, FailedFirstResizeOnALineEnd) {
  resizeLimit = 1;
  StringSink sink;
  OverstrikeFilter filter(sink, &RecordingResize);
  EXPECT_EQ(filter.Feed("\n", 1), FilterStatus::kNoMemory);
  EXPECT_EQ(filter.failedSize(), 1024u);
  EXPECT_EQ(sink.out, "");
}

// 7. Sink failure -----------------------------------------------------------------

TEST(InkstripSink, RefusedLineStopsTheFilter) {
  StringSink sink;
  sink.refuseAt = 2;
  OverstrikeFilter filter(sink);
  const std::string input = "one\ntwo\nthree\n";
  EXPECT_EQ(filter.Feed(input.data(), input.size()), FilterStatus::kSinkFailed);
  EXPECT_EQ(sink.out, "one\n");
  EXPECT_EQ(sink.lines, 2);
}

}  // namespace
