// The dictionary loaders: util's OpenDict and the checker's CheckDict, with an
// optional model dictionary first.
//
// Input: a byte of choices, a model dictionary (up to a NUL, when chosen), then
// the dictionary. Checks:
//   - rc and results from their documented sets; a failed load keeps nothing
//     (no dictionary, no dialog level, no open INI handle);
//   - what was loaded keeps the bounds of the file syntax: section names of at
//     most 80 characters in lower case with a handle in the catalog, item texts
//     within each item's length;
//   - every section of a dictionary loaded without error packs into an XBUF
//     that XbufObSet reads back into the same items, and the packed dictionary
//     stays within the stream's bound.
#include <cstring>
#include <string>

#include "buffers.h"
#include "common.h"
#include "dict.h"
#include "format.h"
#include "fuzz_state.h"
#include "ini.h"
#include "ini_int.h"

namespace {

// The text of every gettable item, as "NAME=text" lines (an item that is not
// set reads as empty, or 0).
std::string Items(const vl::DictObj &obj) {
  std::string out;
  std::string text;
  for (int i = 0; i < vl::kGettableItems; ++i) {
    const vl::DictItem &item = vl::kDictItems[static_cast<std::size_t>(i)];
    item.get(obj, text);
    out += std::string(item.name) + "=" + text + "\n";
  }
  return out;
}

// `clean`: loaded without an error, so that every item holds a value the
// engine accepts (the checker keeps what it could not take, to go on).
void CheckLoaded(const vl::Dict &dict, bool clean) {
  for (const vl::CatalogEntry &c : dict.catalog) FUZZ_CHECK(c.hdl.size() <= 80 && c.pfx.size() <= 122);
  std::string text;
  for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
    FUZZ_CHECK(!s->section.empty() && s->section.size() <= 80);
    FUZZ_CHECK(s->section == vl::LowerAscii(s->section));
    for (int i = 0; i < vl::kGettableItems; ++i) {
      const vl::DictItem &item = vl::kDictItems[static_cast<std::size_t>(i)];
      if (item.type != 'X' || item.maxLength == 0 || (s->obj.flags & item.flag) == 0) continue;
      item.get(s->obj, text);
      FUZZ_CHECK(text.size() <= item.maxLength);
    }
    // The round trip through the packed XBUF (a section "hdl." names no field,
    // and an XBUF without a field name is refused).
    if (!clean || s->section.back() == '.') continue;
    std::string xbuf(64 * 1024, '\0');
    std::size_t length = 0;
    FUZZ_CHECK(vl::xpack_dict(*s, xbuf.data(), xbuf.size(), length) == vl::kOk);
    FUZZ_CHECK(length <= xbuf.size() && xbuf[length - 1] == '$');
    vl::DictObj back;
    std::string field;
    FUZZ_CHECK(vl::XbufObSet(back, field, xbuf.data(), length) == vl::kOk);
    FUZZ_CHECK(Items(back) == Items(s->obj));
    FUZZ_CHECK(vl::EqualNoCase(field, std::string_view(s->section).substr(s->section.find('.') + 1)));
  }
  const vl::Status packed = vl::PackDictDX(dict, 1);
  FUZZ_CHECK(packed == vl::kOk || packed == vl::kReported);
  if (packed == vl::kOk) FUZZ_CHECK(vl::csdxBuf().size <= vl::kCsdxMaxLength);
}

bool NothingOpen() {
  for (int hdl = 0; hdl < vl::kIniSlots; ++hdl) {
    if (vl::IniHandleState(hdl) != vl::kIniFailed) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::FreshStateWithLocale();

  vlfuzz::Input input(data, size);
  const std::uint8_t choice = input.Byte();
  if (choice & 1) {
    const std::string model = vlfuzz::ScratchFile("model.dic", input.Text(1 << 16));
    std::int32_t rc = 7;
    const vl::Status s = vl::OpenDict("m", model.c_str(), -1, rc);
    FUZZ_CHECK(s == vl::kOk && (rc == 0 || rc == 1 || rc < 0));
    FUZZ_CHECK(NothingOpen());
  }
  const std::string path = vlfuzz::ScratchFile("fuzz.dic", input.Rest());

  if (choice & 2) {
    const int status = vl::CheckDict("d", path.c_str(), 1);
    FUZZ_CHECK(status >= 0 && status <= 3);
    const vl::Dict *dict = vl::FindDict("d", vl::kDictOrdinary);
    FUZZ_CHECK((dict != nullptr) == (status <= 1));
    if (dict != nullptr) CheckLoaded(*dict, status == 0);
  } else {
    std::int32_t rc = 7;
    const vl::Status s = vl::OpenDict("d", path.c_str(), 1, rc);
    FUZZ_CHECK(s == vl::kOk || s == vl::kReported);
    FUZZ_CHECK(rc == 0 || rc == 1 || rc == 7 || rc < 0);
    const vl::Dict *dict = vl::FindDict("d", vl::kDictOrdinary);
    FUZZ_CHECK((dict != nullptr) == (s == vl::kOk && rc == 0));
    FUZZ_CHECK((vl::DlgLevelCount() == 1) == (dict != nullptr));
    if (dict != nullptr) CheckLoaded(*dict, true);
  }
  FUZZ_CHECK(NothingOpen());
  vl::CloseAllDicts();
  FUZZ_CHECK(vl::FirstDict() == nullptr && vl::DlgLevelCount() == 0);
  vl::ResetForTest();
  return 0;
}
