// Test plan for the buffer encodings:
//   1. XBUF writers: entry names and cases, indexes, the spare byte for "$".
//   2. XBUF readers: good heads and values, every malformed form, bounds.
//   3. Round trips through XbufWriter and the readers, values with "~" and "$".
//   4. CSDX packing: header, exact size, the 999,999-byte limit, heap overflow,
//      passes that differ.
//   5. dll_SendNext: pieces and heads, too small a buffer, the end of the stream.
//   6. CSDX_ReadToSep: fields, empty fields, a missing "~", no next position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffers.h"
#include "buffers_host.h"
#include "host.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::TraceCapture;

std::string Head(std::string_view prefix, std::string_view name, char type, int index, std::size_t room) {
  std::string buf(room, '#');
  const int n = vl::PutEntryHeadIdx(buf.data(), room, prefix, name, type, index);
  return n < 0 ? "<refused>" : buf.substr(0, static_cast<std::size_t>(n));
}

TEST(XbufTest, WritersNameEntriesAndKeepASpareByte) {
  struct Case {
    const char *prefix, *name;
    char type;
    int index;
    std::size_t room;
    const char *expected;
  } cases[] = {
      {"Dict_", "FLD", 'X', 0, 64, "XDict_fld~0~"},
      {"Dlg_", "Name", 'X', 0, 64, "XDlg_name~0~"},
      {"", "nAME", 'N', 0, 64, "NName~0~"},
      {"", "value", 'X', 12, 64, "XValue~12~"},
      {"Mdf_", "x_Y", 'N', 0, 64, "NMdf_x_y~0~"},
      {"", "ab", 'X', 0, 7, "XAb~0~"},        // 6 bytes and the spare one
      {"", "ab", 'X', 0, 6, "<refused>"},     // no spare byte left
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Head(c.prefix, c.name, c.type, c.index, c.room), c.expected);
  }

  char buf[16];
  EXPECT_EQ(vl::PutEntryValue(buf, 16, "a~$b"), 6);
  EXPECT_EQ(std::string(buf, 6), "4~a~$b");
  EXPECT_EQ(vl::PutEntryValue(buf, 7, "a~$b"), 6);
  EXPECT_EQ(vl::PutEntryValue(buf, 6, "a~$b"), -1);
  EXPECT_EQ(vl::PutEntryValue(buf, 3, ""), 2);
  EXPECT_EQ(std::string(buf, 2), "0~");
}

TEST(XbufTest, ReadersAcceptGoodHeads) {
  struct Case {
    const char *text;
    int bytes;
    const char *name;
    int type, index;
    bool indexed;
  } cases[] = {
      {"XDict_fld~0~", 12, "dict_fld", vl::kXbufText, 0, false},
      {"nVALUE~~", 8, "value", vl::kXbufNumeric, 0, false},
      {"xA1_~42~rest", 8, "a1_", vl::kXbufText, 42, true},
      {"XName~999999999~", 16, "name", vl::kXbufText, 999999999, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    vl::XbufEntry e;
    EXPECT_EQ(vl::GetEntryHead(c.text, e), c.bytes);
    EXPECT_EQ(e.name, c.name);
    EXPECT_EQ(e.type, c.type);
    EXPECT_EQ(e.index, c.index);
    EXPECT_EQ(e.indexed, c.indexed);
  }
}

TEST(XbufTest, ReadersRefuseMalformedHeads) {
  const std::string longName = "X" + std::string(80, 'a') + "~0~";
  const char *cases[] = {
      "",            "Y",          "Yname~0~",      "X~0~",    "X1name~0~",   "Xna-me~0~", "Xname",
      "Xname~0",     "Xname~0x~",  "Xname~1234567890~", "$", "X_name~0~",   longName.c_str(),
  };
  for (const char *text : cases) {
    SCOPED_TRACE(text);
    vl::XbufEntry e;
    EXPECT_EQ(vl::GetEntryHead(text, e), -1);
  }
  // A head cut short by the end of the buffer, even though the bytes go on.
  const char cut[] = "XName~0~";
  vl::XbufEntry e;
  EXPECT_EQ(vl::GetEntryHead(std::string_view(cut, 7), e), -1);
  EXPECT_EQ(vl::GetEntryHead(std::string_view("X\0a~0~", 6), e), -1);
}

TEST(XbufTest, ValuesAreTakenByTheirLength) {
  vl::XbufEntry e;
  const std::string text("5~a~$\0b$", 8);
  EXPECT_EQ(vl::GetEntryValue(text, e), 7);
  EXPECT_EQ(std::string(e.value, e.valueLength), std::string("a~$\0b", 5));
  EXPECT_EQ(vl::GetEntryValue("~$", e), 1);
  EXPECT_EQ(e.valueLength, 0u);
  EXPECT_EQ(vl::GetEntryValue("5", e), -1);
  EXPECT_EQ(vl::GetEntryValue("x~", e), -1);
  EXPECT_EQ(vl::GetEntryValue("1234567890~", e), -1);
  // A length beyond the buffer is reported in the bytes read, for the caller to refuse.
  EXPECT_EQ(vl::GetEntryValue("900~ab$", e), 904);
}

TEST(XbufTest, WriterRoundTrip) {
  char buf[64];
  vl::XbufWriter w(buf, sizeof buf);
  ASSERT_TRUE(w.Entry("Dict_", "fld", 'X', "amount"));
  ASSERT_TRUE(w.Entry("", "count", 'N', "10", 3));
  ASSERT_TRUE(w.Entry("", "odd", 'X', "~$~"));
  ASSERT_TRUE(w.End());
  const std::string xbuf(buf, w.Length());
  EXPECT_EQ(xbuf, "XDict_fld~0~6~amountNCount~3~2~10XOdd~0~3~~$~$");

  std::string_view rest = xbuf;
  std::vector<std::string> seen;
  while (!rest.empty() && rest[0] != '$') {
    vl::XbufEntry e;
    const int h = vl::GetEntryHead(rest, e);
    ASSERT_GT(h, 0);
    rest.remove_prefix(static_cast<std::size_t>(h));
    const long v = vl::GetEntryValue(rest, e);
    ASSERT_GT(v, 0);
    ASSERT_LE(static_cast<std::size_t>(v), rest.size());
    seen.push_back(e.name + "=" + std::string(e.value, e.valueLength));
    rest.remove_prefix(static_cast<std::size_t>(v));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"dict_fld=amount", "count=10", "odd=~$~"}));
  EXPECT_EQ(rest, "$");
}

TEST(XbufTest, WriterStopsWhenFull) {
  char buf[12];
  vl::XbufWriter w(buf, sizeof buf);
  ASSERT_TRUE(w.Head("", "ab", 'X'));            // 6 bytes
  EXPECT_FALSE(w.Value("abcdefgh"));             // 10 more would not fit
  EXPECT_TRUE(w.Value("abc"));                    // 5 more: 11, and the spare byte
  EXPECT_TRUE(w.End());
  EXPECT_FALSE(w.End());
  EXPECT_EQ(std::string(buf, w.Length()), "XAb~0~3~abc$");
}

class CsdxTest : public vltest::StateTest {};

TEST_F(CsdxTest, PackStringWritesHeaderAndBytes) {
  ASSERT_EQ(vl::CSDX_PackString("abc~$", 5), vl::kOk);
  const vl::CsdxState &s = vl::csdxBuf();
  ASSERT_EQ(s.size, 15u);
  EXPECT_EQ(std::string(s.buffer.get(), s.size), "R1~000015~abc~$");
  EXPECT_EQ(s.position, 0u);
  EXPECT_EQ(s.sent, 0u);
}

TEST_F(CsdxTest, SeriesOfPutsCountsThenWrites) {
  const vl::Status st = vl::CSDX_Pack("test", [] {
    vl::CSDX_PutHeader();
    vl::CSDX_PutMarker('D');
    vl::CSDX_PutString("dict");
    vl::CSDX_PutNumber(2);
    vl::CSDX_PutNumber(-7L);
  });
  ASSERT_EQ(st, vl::kOk);
  const vl::CsdxState &s = vl::csdxBuf();
  EXPECT_EQ(std::string(s.buffer.get(), s.size), "R1~000022~D4~dict2~-7~");
}

TEST_F(CsdxTest, StreamsBeyondSixDigitsAreRefused) {
  TraceCapture trace("D1");
  const std::string fits(vl::kCsdxMaxLength - vl::kCsdxHeaderLength, 'x');
  ASSERT_EQ(vl::CSDX_PackString(fits.data(), fits.size()), vl::kOk);
  EXPECT_EQ(std::string(vl::csdxBuf().buffer.get(), 10), "R1~999999~");

  const std::string tooLong = fits + "y";
  HostBuf buf(static_cast<int>(tooLong.size()), tooLong);
  EXPECT_EQ(dict_PackBufDX(&buf), 19);
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);  // the earlier stream is gone too
  EXPECT_EQ(trace.Joined(), "D1: CSDX_PackString() failed: packed stream of 1000000 bytes exceeds 999999\n");
}

TEST_F(CsdxTest, HeapOverflowGivesResult2) {
  TraceCapture trace("D1");
  HostBuf buf(8, "abc");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(dict_PackBufDX(&buf), 2);
  EXPECT_EQ(trace.Joined(), "D1: CSDX_PackString() failed: heap overflow\n");
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
}

TEST_F(CsdxTest, PassesThatDifferFailWithoutOverrun) {
  TraceCapture trace("D1");
  int pass = 0;
  EXPECT_EQ(vl::CSDX_Pack("odd", [&] { vl::CSDX_PutString(++pass == 1 ? "ab" : "abcdefgh"); }), vl::kReported);
  EXPECT_EQ(trace.Joined(), "D1: odd() failed: packing passes differ (4, 10 bytes)\n");
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
}

struct Piece {
  std::int32_t result;
  std::string value;
  std::int32_t eof;
};

Piece Send(int cap) {
  HostBuf vl(cap);
  std::int32_t eof = -1;
  const std::int32_t r = dll_SendNext(&vl, &eof);
  return {r, vl.str(), eof};
}

TEST_F(CsdxTest, SendNextHandsOutPiecesWithOffsets) {
  TraceCapture trace("D1");
  const std::string data(240, 'd');
  ASSERT_EQ(vl::CSDX_PackString(data.data(), data.size()), vl::kOk);  // 250 bytes
  const std::string stream = "R1~000250~" + data;

  Piece p = Send(100);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.eof, 0);
  EXPECT_EQ(p.value, "0~" + stream.substr(0, 98));
  p = Send(100);
  EXPECT_EQ(p.value, "98~" + stream.substr(98, 97));
  EXPECT_EQ(p.eof, 0);
  p = Send(100);
  EXPECT_EQ(p.value, "195~" + stream.substr(195));
  EXPECT_EQ(p.eof, 1);
  p = Send(100);
  EXPECT_EQ(p.result, 19);
  EXPECT_EQ(trace.Joined(), "D1: dll_SendNext() failed: csdxBuf is not allocated\n");
}

TEST_F(CsdxTest, SendNextNeedsTwentyBytesBeyondTheHead) {
  TraceCapture trace("D1");
  ASSERT_EQ(vl::CSDX_PackString("x", 1), vl::kOk);
  Piece p = Send(21);
  EXPECT_EQ(p.result, 18);
  EXPECT_EQ(p.eof, 1);
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
  EXPECT_EQ(trace.Joined(), "D1: dll_SendNext() failed: string overflow\n");

  ASSERT_EQ(vl::CSDX_PackString("x", 1), vl::kOk);
  p = Send(22);
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.value, "0~R1~000011~x");
  EXPECT_EQ(p.eof, 1);
}

TEST_F(CsdxTest, ANewPackingDiscardsAnUnsentStream) {
  ASSERT_EQ(vl::CSDX_PackString(std::string(100, 'a').c_str(), 100), vl::kOk);
  EXPECT_EQ(Send(50).eof, 0);
  ASSERT_EQ(vl::CSDX_PackString("b", 1), vl::kOk);
  const Piece p = Send(50);
  EXPECT_EQ(p.value, "0~R1~000011~b");
  EXPECT_EQ(p.eof, 1);
}

TEST_F(CsdxTest, ReadToSepWalksFields) {
  TraceCapture trace("D1");
  char text[] = "R1~12~abc~~tail";
  vl::CsdxCursor c{nullptr, text};
  EXPECT_EQ(vl::CSDX_ReadToSep(c), 3u);
  EXPECT_STREQ(c.field, "R1");
  EXPECT_EQ(vl::CSDX_ReadToSep(c), 3u);
  EXPECT_STREQ(c.field, "12");
  EXPECT_EQ(vl::CSDX_ReadToSep(c), 4u);
  EXPECT_STREQ(c.field, "abc");
  EXPECT_EQ(vl::CSDX_ReadToSep(c), 0u);  // empty field
  EXPECT_EQ(c.next, nullptr);
  EXPECT_EQ(vl::CSDX_ReadToSep(c), 0u);
  EXPECT_EQ(trace.Joined(),
            "D1: CSDX_ReadToSep(): invalid entry [~tail]\n"
            "D1: CSDX_ReadToSep(): nextEntry == NULL\n");

  char unterminated[] = "abc";
  vl::CsdxCursor u{nullptr, unterminated};
  EXPECT_EQ(vl::CSDX_ReadToSep(u), 0u);
  EXPECT_EQ(u.next, nullptr);
}

}  // namespace
