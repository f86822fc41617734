// The dialog dictionary engine: field definition objects (dictattr), open
// dictionaries, their loaders, derived copies and updates (dictkrnl), and the
// dialog level stack with its catalog handles, dialog ids and aliases, and the
// frames of variable lists with their filters (dictutil). The module and the checker
// program build the same engine; it reports only through TraceLine (category D),
// so a program that binds a trace writer receives every message.
//
// A dictionary file is read through the INI reader's shared handles:
//   [catalog]   HDL = prefix            one catalog entry per item
//   [list]      ITEM = value            named lists; a repeated item appends its value
//   [xx]                                obsolete, skipped with a warning
//   [hdl.field] ITEM = value            one field section: a field definition object
// Section and item names compare without regard to case; field sections are
// named in lower case. Repeated [catalog] or [list] sections read as one section:
// every entry stays reachable, in file order.
//
// Results of engine functions are the Status codes of common.h (0 success, -1
// nothing there, -2 failure already traced, -3 output too small, -4 memory
// exhausted), unless a declaration says otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "buffers.h"
#include "common.h"

namespace vl {

// ===========================================================================
// Field definition items (dictattr)
// ===========================================================================

// Object types (OBJTYPE).
enum ObjType : std::int32_t { OT_ET = 1, OT_ST = 2, OT_OF = 3, OT_CB = 4, OT_RB = 5, OT_LB = 6, OT_MT = 7, OT_XB = 8 };

// Field types (FTYP); 0 is a text that names no type.
enum FieldType : std::int32_t {
  FT_NONE = 0,
  FT_N = 1,   // numeric
  FT_D = 2,   // date
  FT_Z = 3,   // time
  FT_M = 4,   // month
  FT_K = 5,   // calendar week
  FT_T = 6,   // text
  FT_U = 7,   // text, the U variant
  FT_CB = 8,
  FT_RB = 9,
  FT_LB = 10,
  FT_MT = 11,
  FT_XB = 12,
};

// Bits of DictObj::bits.
inline constexpr std::uint32_t BIT_FREQ = 0x1;            // FREQ
inline constexpr std::uint32_t BIT_NOTIFY_VALID = 0x2;    // NOTIFY keyword "valid"
inline constexpr std::uint32_t BIT_NOTIFY_EMPTY = 0x4;    // "empty"
inline constexpr std::uint32_t BIT_NOTIFY_ALWAYS = 0x8;   // "always"
inline constexpr std::uint32_t BIT_NOTIFY_FSEARCH = 0x10; // "fsearch"
inline constexpr std::uint32_t BITS_NOTIFY = 0x1E;

struct DictSection;

// The definition of one field, built from the items of its section. Texts are
// private copies; an empty text is an absent one.
struct DictObj {
  // The section `packedFor` as xpack_dict packs it, without the end mark: the
  // entry of its field name and the 19 item entries. Made at its first pack
  // (first in the object, so that a pack reads the object's first bytes only)
  // and dropped by every change through ObSetIdx, ObCheck and ObFree; a
  // section's name never changes once it is made.
  mutable std::string packed;
  mutable const DictSection *packedFor = nullptr;
  std::uint32_t flags = 0;     // one bit per item that has been set (DictItem::flag)
  std::string path;            // PATH
  std::int32_t objType = OT_ET;  // OBJTYPE
  std::int32_t fldType = FT_NONE;  // FTYP; FT_NONE when the text names no type
  std::string fldTypeText;     // FTYP text that names no type
  std::string valType;         // FVTYP
  std::string fieldFormat;     // FFMT: format flags or format string
  std::int32_t length = 0;     // FLEN
  std::int32_t precision = 0;  // FPREC
  double minimum = 0;          // FMIN
  double maximum = 0;          // FMAX
  std::string defValue;        // DEFAULT
  std::string emptyValue;      // FEMPTY
  std::string valid;           // VALID (ERLAUBT): character class of allowed input
  std::string search;          // FSEARCH
  std::string check;           // FCHECK
  std::string output;          // OUTPUT
  std::string model;           // MODEL: model section to inherit from (while loading)
  std::string init;            // INIT
  std::string load;            // LOAD
  std::uint32_t bits = 0;      // BIT_FREQ and the NOTIFY bits
};

// Indexes of the item table.
enum ItemIndex : int {
  IT_PATH, IT_OBJTYPE, IT_FTYP, IT_FVTYP, IT_FFMT, IT_FREQ, IT_FLEN, IT_FPREC, IT_FMIN, IT_FMAX,
  IT_DEFAULT, IT_FEMPTY, IT_VALID, IT_FSEARCH, IT_FCHECK, IT_NOTIFY, IT_OUTPUT, IT_LOAD, IT_INIT,
  IT_ERLAUBT, IT_MODEL,
};
inline constexpr int kItemCount = 21;      // rows of the item table
inline constexpr int kGettableItems = 19;  // rows 0 to 18 have a get handler

// One row of the item table.
struct DictItem {
  const char *name;     // item name in the file (upper case)
  const char *alias;    // name in packed buffers, or the replacement of an old name; null: none
  std::uint32_t flag;   // bit in DictObj::flags
  char type;            // 'X' text, 'N' numeric
  std::size_t maxLength;  // longest text accepted; 0: no limit
  // Takes a value: null releases the item's text (result -2); an empty text clears
  // the item (0); a text item takes the text, moving it out of *value (1); other
  // items convert it (0, or -2 for a value they refuse; FTYP takes a text naming
  // no type, 1).
  int (*set)(DictObj &obj, std::string *value);
  // Writes the item's text form; null for the last two rows.
  void (*get)(const DictObj &obj, std::string &text);
};
extern const std::array<DictItem, kItemCount> kDictItems;

// Clears every field; objType becomes ET.
void ObInit(DictObj &obj) noexcept;
// Releases every gettable item and the model name, and clears flags.
void ObFree(DictObj &obj) noexcept;

// Sets the item named `name` (any case; aliases are not names) from `value`.
// Returns 1 when the object took the text (moved out of `value`), 0 when it did
// not, -2 after a traced failure (unknown item, too long, invalid value).
[[nodiscard]] int ObSet(DictObj &obj, const char *name, std::string &value, const char *section);
// The same with the table index.
[[nodiscard]] int ObSetIdx(DictObj &obj, int index, std::string &value, const char *section);

// Completes the object once its section is read (default format, length and
// precision of its type, old-style formats rewritten) and checks it. Returns 0,
// -2 after a traced failure, or -4 when memory ran out (traced).
Status ObCheck(DictObj &obj, const char *section);

// Copies items from `source` into `target`: mode 1 the items the source has,
// mode 2 those the source has and the target lacks (inheritance), any other mode
// every gettable item. Returns 0, -2 when the target refused a value, -4 when
// memory ran out; items copied before a failure stay.
Status ObCopy(DictObj &target, const DictObj &source, int mode, const char *section);

// The n-th gettable item (from 0): writes its name, its text and, when `type` is
// given, its type letter; returns its table index, or -1 for a bad n.
int ObGetIdx(const DictObj &obj, int n, std::string &name, std::string &value, std::string *type = nullptr);

// The alias of the n-th gettable item, or its name where it has none; null, with
// a traced failure, for a bad n.
const char *ObGetAlias(int n);

// ===========================================================================
// Dictionaries (dictkrnl)
// ===========================================================================

// One field section. The name, the links and the object's packed form come
// first: a walk that packs each section reads only the section's first bytes.
struct DictSection {
  std::string section;              // full name in lower case: "hdl.field"
  DictSection *next = nullptr;      // the next section in file order
  DictSection *nextSame = nullptr;  // the next section with the same name
  // The next and previous section, in file order, whose name has the same prefix
  // (the part before the first "."): the fields of one dialog.
  DictSection *nextInDialog = nullptr;
  DictSection *prevInDialog = nullptr;
  DictObj obj;                      // its definition
};

struct CatalogEntry {
  std::string hdl;  // catalog handle, upper case as read
  std::string pfx;  // dialog prefix
};

struct ListEntry {
  std::string item;   // upper case as read
  std::string value;  // the values of every line naming the item, joined
};

enum DictKind : int {
  kDictOrdinary = 0,
  kDictDerived = 1,  // a private copy made for a change through one dialog level
  kDictModel = 2,
};

struct DictIndexes;  // look-up indexes by name (dict_int.h)

// The field sections of a dictionary, kept in blocks that grow from 8 to 256
// sections, so that loading allocates once per block and a section never moves.
class SectionStore {
 public:
  // A fresh section after the others; may throw std::bad_alloc.
  DictSection &emplace_back();
  // Makes the last section fresh again and drops it.
  void pop_back() noexcept;
  std::size_t size() const noexcept { return size_; }
  void clear() noexcept;

 private:
  struct Block {
    std::unique_ptr<DictSection[]> sections;
    std::size_t capacity = 0;
    std::size_t used = 0;
  };
  std::vector<Block> blocks_;
  std::size_t size_ = 0;
};

// One open dictionary. Records are owned by dictList once linked; dialog levels
// point at them without owning them.
struct Dict {
  Dict();
  ~Dict();
  Dict(const Dict &) = delete;
  Dict &operator=(const Dict &) = delete;

  Dict *next = nullptr;             // links in dictList, newest first
  Dict *prev = nullptr;
  std::string id;                   // the id the host gave; empty once freed
  std::deque<CatalogEntry> catalog; // in file order
  std::deque<ListEntry> lists;      // in file order
  SectionStore store;               // owns the field sections
  DictSection *sections = nullptr;  // the first field section
  DictSection *lastSection = nullptr;
  DictSection *cursor = nullptr;    // the section dict_Next returned last; none: start
  std::int32_t instance_cnt = 1;    // users of an ordinary dictionary
  DictKind kind = kDictOrdinary;
  bool linked = false;              // in dictList and its indexes
  std::unique_ptr<DictIndexes> index;  // sections by name, list entries by item
};

// Appends a field section named `name` (stored in lower case) with a fresh
// object. May throw std::bad_alloc; the dictionary stays consistent then.
DictSection &AppendSection(Dict &dict, std::string_view name);
// Takes `section` out of the dictionary: out of its section list (the others
// keep their order), its index by name and, for a model dictionary, the index of
// model sections; the dictionary's cursor moves back to the section before it.
// Its items are released; its name stays readable until the dictionary is freed.
// `before` is the section before it in the list, or null when it is the first;
// a wrong `before` is looked for instead. kNothing when the section is not in
// the dictionary's list.
Status RemoveSection(Dict &dict, DictSection &section, DictSection *before = nullptr) noexcept;
// Appends a catalog entry, or a list entry's value (joined to an existing entry
// of the same item). May throw std::bad_alloc.
void AppendCatalog(Dict &dict, std::string_view hdl, std::string_view pfx);
void AppendListValue(Dict &dict, std::string_view item, std::string_view value);
// The list entry named `item`, or null.
const ListEntry *FindListEntry(const Dict &dict, std::string_view item);

// The first dictionary of dictList, or null; follow Dict::next.
Dict *FirstDict() noexcept;
// Puts a record at the head of dictList, which takes ownership, and makes it
// known to FindDict (and a model dictionary's sections to inheritance). kNoMemory
// when memory ran out: the record then stays with the caller, unlinked.
Status LinkDict(std::unique_ptr<Dict> &dict);

// The first dictionary in dictList with that kind and id (any case), or null.
Dict *FindDict(std::string_view id, DictKind kind) noexcept;

// The fields of the dialog with catalog handle `hdl`: the first field section
// whose name begins with `hdl` and "." (any case), and the next such after
// `section` in file order (`section` may belong to another dialog); null when
// there is none. Both follow the dialog's own chain of sections where they can.
DictSection *FirstDialogSection(const Dict &dict, std::string_view hdl) noexcept;
DictSection *NextDialogSection(const DictSection &section, std::string_view hdl) noexcept;

// The first field section named `name` (any case), or, when n is not 0, whose
// first n characters are those of `name` (a section name shorter than n must then
// equal `name`); with an empty name, the first section. NextSection does the same
// starting after `section`.
DictSection *FindSection(const Dict &dict, std::string_view name, std::size_t n = 0) noexcept;
DictSection *NextSection(const DictSection *section, std::string_view name, std::size_t n = 0) noexcept;

// Opens dictionary `id` from file `fname` for dialog level `level` (negative: a
// model dictionary). An ordinary dictionary already open is attached to the level
// once more instead of being read again; an open model dictionary is reloaded.
// `rc` receives 0, 1 (the file's content or the catalog check failed), or the
// negated error number of a failing open, read or allocation (-1 when it is 0).
// Returns kOk, or kReported for a failure of the level rules (rc 1 when the file
// was read, else unchanged). A failed load leaves nothing behind.
Status OpenDict(const char *id, const char *fname, std::int32_t level, std::int32_t &rc);

// The checker's loader: always reads the file into a new record, reports every
// error of the file and keeps going. Returns the exit status: 0 loaded without
// error, 1 content errors (the dictionary is kept), 2 the file cannot be opened
// or read, 3 memory exhausted or the level rules failed (nothing kept).
[[nodiscard]] int CheckDict(const char *id, const char *fname, std::int32_t level);

// Closes the dialog levels from `level` up (negative: all of them), dropping one
// instance of a dictionary per level record closed.
void CloseDict(std::int32_t level);
// Frees every dictionary, models and derived ones included, and every level.
void CloseAllDicts();
// Frees model dictionary `id`; kReported (traced) when there is none.
Status CloseModelDict(const char *id);

// Drops one instance; true when that freed the contents (the record stays for
// the caller to unlink and free).
bool FreeDict(Dict &dict);
// FreeDict, and when that freed the contents, unlinks and deletes the record.
void RemoveDict(Dict *dict);

// Packs a dictionary into the CSDX stream as dict_PackDX sends it: the record
// header, "D" with id, instance count and `level`, and only for an unshared
// dictionary every catalog entry ("C") and field section ("S") with its items
// ("I") that are not empty (nor "0" for a numeric item). Returns kOk, kNoMemory or
// kReported (a stream over 999,999 bytes), each failure traced.
Status PackDictDX(const Dict &dict, long level);

// A field section packed as an XBUF into `buffer` (room bytes): "Dict_fld" with
// the field name, the 19 gettable items as "Dict_<alias>", and "$"; `length`
// counts the bytes with the "$". kTooSmall after "xpack_dict() failed: XBUF
// overflow", the bytes written so far left without an end mark.
Status xpack_dict(const DictSection &section, char *buffer, std::size_t room, std::size_t &length);

// Reads a packed field section (`length` bytes) into `obj`; `fieldName` receives
// the field name. Returns 0, -2 (traced), or -4 when memory ran out.
Status XbufObSet(DictObj &obj, std::string &fieldName, const char *xbuf, std::size_t length);

// ===========================================================================
// Dialog levels, handles and aliases (dictutil)
// ===========================================================================

inline constexpr int MAX_ID_CNT = 10;  // a dialog id and up to nine aliases

struct DlgLevel;

// One catalog entry of a dictionary attached to a level.
struct DlgHandle {
  std::string hdl;                           // the catalog handle (upper case)
  std::int32_t id_cnt = 1;                   // ids in use
  std::array<std::string, MAX_ID_CNT> ids;   // ids[0] "D%02d<prefix>", then aliases
  std::size_t prefixAt = 3;                  // where the prefix starts in ids[0]
  DlgLevel *record = nullptr;                // the level record that owns the handle
  std::uint64_t seq = 0;                     // creation order: later handles are found first
};

// One dictionary attached to one dialog level.
struct DlgLevel {
  std::deque<DlgHandle> handles;  // in creation order; searches take them newest first
  Dict *dict = nullptr;           // not owned
  std::int32_t level = 0;
};

// Attaches `dict` to `level`: pushes a level record with one handle per catalog
// entry and, on the dictionary's first attachment, checks the catalog and that
// every field section's prefix names a handle of the top level. Returns kOk,
// kReported (traced; the new record is gone again) or kNoMemory (the same).
Status AddDlgLevel(Dict &dict, std::int32_t level);
// Pops every record from the top whose level is at least `level` (negative: all).
void FreeDlgLevel(std::int32_t level);

// The number of level records (for tests and diagnostics).
std::size_t DlgLevelCount() noexcept;

// The dictionary of the n-th record from the top among those whose level is at
// least `level` (negative: the top record's level); null past the end.
Dict *GetDlgDict(std::int32_t level, std::size_t n);

// The n-th handle, in search order, of the records from the top whose level is at
// least `level` (negative: the top's), skipping records of other dictionaries
// when `dict_id` is not empty. kOk with the dialog id and its prefix, or kNothing.
Status GetDlgID(std::string_view dict_id, std::int32_t level, std::int32_t n, std::string &name,
                              std::string &id);

// The handle that has `id` among its ids (dialog id or alias), the topmost
// first; null when unknown. handle->record->dict is its dictionary.
DlgHandle *FindDlgID(std::string_view id) noexcept;

// The dialog id of the first handle `hdl` among the records of the top level;
// null when unknown.
const std::string *MapDlgHandle(std::string_view hdl) noexcept;

// Makes a new alias of dialog id `id` ("<id>_<count>"). Returns kOk with the
// alias, kReported (unknown id), kNothing (all ten ids in use) or kNoMemory.
Status NewDlgAlias(std::string_view id, std::string &alias);
// Alias n (1 to id_cnt - 1) of dialog id `id`: kOk with the alias, kNothing for
// an n out of range, kReported for an unknown id.
Status GetDlgAlias(std::string_view id, std::int32_t n, std::string &alias);
// Deletes an alias (never a dialog id): kOk or kReported.
Status DelDlgAlias(std::string_view aliasID);

// Frees every dictionary and level record without a trace line: the engine's
// state as the process started (for tests; ResetForTest runs it).
void ResetDictForTest();

// ===========================================================================
// Derive, update and dump (dictkrnl)
// ===========================================================================

// The dictionary a change may be made in: `dict` itself, made derived, when it
// has one instance; otherwise a new derived copy of it (one instance, at the head
// of dictList) that takes one instance from it. Null after a traced "heap
// overflow" naming the part that failed (or ObCopy's own message); `dict` is then
// unchanged and no partial copy is left.
Dict *DeriveDict(Dict &dict);

// Merges the items of a packed field section (`xdict`) into the field of that
// name of the dialog `dlgID` (dialog id or alias), derived first so that no other
// dialog level sees the change, and switches the dialog's level to the derived
// dictionary. kOk, or kReported after a traced failure; a failure changes
// nothing: a copy is dropped again, a section changed in place is restored.
Status UpdateDict(const char *dlgID, std::string_view xdict);

// Writes a listing of dictionaries, sections and items as trace lines of
// category D and level 0: every open dictionary (empty dlgID), the dictionary of
// dialog `dlgID`, or only its field `fldName`.
void DumpDict(const char *dlgID, const char *fldName);

// ===========================================================================
// Variable lists and filters (dictutil)
//
// A frame holds a list of variables, each a field section of a dialog with a
// value, a current position and the filter that a walk applies. Frames nest: an
// init function saves the current frame and starts a new one (at most
// kVarStackDepth are saved), freeing the list returns to the saved one.
// Variables point at field sections: when a dictionary is freed, every frame
// holding one of its variables is emptied.
// ===========================================================================

inline constexpr int kVarStackDepth = 10;      // saved frames at most
inline constexpr std::size_t kFieldNameMax = 79;  // longest field name a list names

// Saves the current frame and starts an empty one: kOk, or kNoMemory (traced)
// when kVarStackDepth frames are saved.
Status VarPush();
// Returns to the last saved frame: kOk, or kReported (traced) when none is saved.
Status VarPop();
// Frees the variables of the current frame, then VarPop.
Status VarFree();

// Adds the variable of an entry (its name, or name "__" index when indexed, and
// its value) to the current list. Without `section`, the section is the field
// of that name of handle `hdl`; an unknown field is skipped (kOk). Mode 1 reuses
// a variable of the same section when the list has one; mode 0 always appends.
// kOk or kNoMemory (traced).
Status AddVar(const Dict &dict, const XbufEntry &entry, DictSection *section, std::string_view hdl, int mode);

// Adds the variables of an XBUF of values for dialog `dlgID` to the current list
// (mode as AddVar). kOk; kNothing when the list stays empty; kReported for an
// unknown dialog; kCorruptXbuf; kNoMemory.
Status VarXBUF(const char *dlgID, std::string_view xbuf, int mode);

// The four ways to start a list: each pushes a frame and fills it from an XBUF
// (VarInitXBUF), from a list of names or "*" for every field of the dialog
// (VarInitLIST), or with one field and its value (VarInitONE). kNothing, with
// the frame popped again, when no variable was added; on a failure the new frame
// is freed. VarUpdateXBUF adds to the current list without a push.
Status VarInitXBUF(const char *dlgID, std::string_view xbuf);
Status VarUpdateXBUF(const char *dlgID, std::string_view xbuf);
Status VarInitLIST(const char *dlgID, const char *list);
Status VarInitONE(const char *dlgID, const char *name, const char *value);

// Starts a walk of the current list with the filter named `filterName` ("format",
// "fmt_hook", "def_hook", "out_hook", "load_hook", "init_hook"; empty: none).
// kOk, or kReported for an unknown filter.
Status VarInitAccess(const char *filterName);
// Moves to the next variable the filter takes: kOk; kNothing at the end (and
// again when asked after it); kReported when no walk was started; a filter's
// failure, after which the frame is freed.
Status VarGetNext();

// The current variable's section, or null; its value (empty when it has none).
// Without a current variable both trace "<Name>(): currVar not set".
const DictSection *VarCurrSection();
bool VarCurrValue(std::string_view &value);
// Replaces the current variable's value (an empty text leaves none): kOk,
// kReported (no current variable) or kNoMemory.
Status VarSetCurrValue(std::string_view text);

// The field name and index a variable is written under: the section name after
// its first "."; a name that ends in "__" and digits, with a character before
// them, is the part before the "__" with the digits as its index (else index 0).
// kReported for a section name without ".".
Status VarRealName(const DictSection &section, std::string &name, std::int32_t &index);
// Writes every variable of the current list as an XBUF into `xbuf` (room
// bytes): kOk with `length` counting every byte and the end mark, kTooSmall,
// kReported or kNoMemory.
Status VarWriteXBUF(char *xbuf, std::size_t room, std::size_t &length);

// Saved frames (0 to kVarStackDepth).
int VarDepth() noexcept;

}  // namespace vl
