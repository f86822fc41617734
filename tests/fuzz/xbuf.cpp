// The XBUF and CSDX readers: XbufObSet and the entry readers under it, and the
// in-place field reader of CSDX streams.
//
// Input: a byte of choices, then the buffer. Checks:
//   - the entry readers never claim more than the buffer holds for a head, and
//     values are taken by their length only;
//   - XbufObSet answers 0, -2 or -4, and an object it read (with an object
//     type) packs into an XBUF that reads back into the same items;
//   - the CSDX field reader ends, hands out fields inside the text that hold no
//     "~", and each next position lies after the field.
#include <cstring>
#include <string>

#include "buffers.h"
#include "common.h"
#include "dict.h"
#include "fuzz_state.h"

namespace {

std::string Items(const vl::DictObj &obj) {
  std::string out;
  std::string text;
  for (int i = 0; i < vl::kGettableItems; ++i) {
    vl::kDictItems[static_cast<std::size_t>(i)].get(obj, text);
    out += text + "\n";
  }
  return out;
}

void Entries(std::string_view all) {
  std::size_t offset = 0;
  for (int steps = 0; offset < all.size() && all[offset] != '$'; ++steps) {
    FUZZ_CHECK(steps <= static_cast<int>(all.size()));
    vl::XbufEntry entry;
    const std::string_view rest = all.substr(offset);
    const int head = vl::GetEntryHead(rest, entry);
    if (head < 0) return;
    FUZZ_CHECK(head >= 3 && static_cast<std::size_t>(head) <= rest.size());
    FUZZ_CHECK(!entry.name.empty() && entry.name.size() <= vl::kXbufNameMax);
    FUZZ_CHECK(entry.type == vl::kXbufText || entry.type == vl::kXbufNumeric);
    FUZZ_CHECK(entry.indexed == (entry.index != 0));
    const std::string_view valuePart = rest.substr(static_cast<std::size_t>(head));
    const long value = vl::GetEntryValue(valuePart, entry);
    if (value < 0 || static_cast<std::size_t>(value) > valuePart.size()) return;
    FUZZ_CHECK(static_cast<std::size_t>(value) >= entry.valueLength + 1);
    FUZZ_CHECK(entry.value >= valuePart.data() && entry.value + entry.valueLength <= valuePart.data() + value);
    offset += static_cast<std::size_t>(head) + static_cast<std::size_t>(value);
  }
}

void ObjectRoundTrip(std::string_view all) {
  vl::DictObj obj;
  std::string field;
  const vl::Status s = vl::XbufObSet(obj, field, all.data(), all.size());
  FUZZ_CHECK(s == vl::kOk || s == vl::kReported || s == vl::kNoMemory);
  if (s != vl::kOk) return;
  FUZZ_CHECK(!field.empty() && field.find('\0') == std::string::npos);
  // An empty OBJTYPE clears the code to 0, which the object's check refuses
  // later and which packs as "??": such an object has no XBUF to come back from.
  if (obj.objType == 0) return;
  vl::DictSection section;
  section.section = "h." + field;
  section.obj = obj;
  std::string xbuf(64 * 1024, '\0');
  std::size_t length = 0;
  if (vl::xpack_dict(section, xbuf.data(), xbuf.size(), length) != vl::kOk) {
    FUZZ_CHECK(field.size() > 4096);  // only a field name too long for the room
    return;
  }
  vl::DictObj back;
  std::string backField;
  FUZZ_CHECK(vl::XbufObSet(back, backField, xbuf.data(), length) == vl::kOk);
  FUZZ_CHECK(backField == field);
  FUZZ_CHECK(Items(back) == Items(obj));
}

void CsdxFields(std::string_view bytes) {
  std::string text(bytes);
  text = text.substr(0, text.find('\0'));
  std::string copy = text;
  char *const start = copy.data();
  char *const end = start + copy.size();
  vl::CsdxCursor cursor{nullptr, start};
  for (int steps = 0;; ++steps) {
    FUZZ_CHECK(steps <= static_cast<int>(text.size()) + 1);
    char *const before = cursor.next;
    const std::size_t n = vl::CSDX_ReadToSep(cursor);
    if (n == 0) break;
    FUZZ_CHECK(cursor.field == before && cursor.field + n <= end + 1);
    FUZZ_CHECK(std::strlen(cursor.field) == n - 1 && text[static_cast<std::size_t>(cursor.field - start) + n - 1] == '~');
    FUZZ_CHECK(cursor.next == nullptr || cursor.next == cursor.field + n);
    if (cursor.next == nullptr) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::FreshState();
  vlfuzz::Input in(data, size);
  const std::uint8_t pick = in.Byte();
  const std::string_view all = in.Rest();
  if (pick & 1) {
    CsdxFields(all);
  } else {
    Entries(all);
    ObjectRoundTrip(all);
  }
  vl::ResetForTest();
  return 0;
}
