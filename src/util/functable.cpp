// The function table: one list from which VlFuncList, VlArgList and the
// dispatch of VlCall are all derived.
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

// vlabi.h declares the tables as C arrays; here they are defined from the list.
#define VL_DEFINING_FUNCTION_TABLES
#include "buffers_host.h"
#include "dict_host.h"
#include "dll_host.h"
#include "format_host.h"
#include "functable.h"
#include "ini_host.h"
#include "services_host.h"

namespace vl {
namespace {

// How the dispatcher takes an argument of each C++ type from the vector, and the
// type code that the type stands for.
template <typename T>
struct ArgKind;
template <>
struct ArgKind<std::int32_t> {
  static constexpr std::uint64_t code = VL_ARG_INT_IN;
  static std::int32_t Get(void *p) noexcept { return *static_cast<const std::int32_t *>(p); }
};
template <>
struct ArgKind<std::int32_t *> {
  static constexpr std::uint64_t code = VL_ARG_INT_OUT;
  static std::int32_t *Get(void *p) noexcept { return static_cast<std::int32_t *>(p); }
};
template <>
struct ArgKind<double> {
  static constexpr std::uint64_t code = VL_ARG_REAL_IN;
  static double Get(void *p) noexcept { return *static_cast<const double *>(p); }
};
template <>
struct ArgKind<double *> {
  static constexpr std::uint64_t code = VL_ARG_REAL_OUT;
  static double *Get(void *p) noexcept { return static_cast<double *>(p); }
};
template <>
struct ArgKind<const char *> {
  static constexpr std::uint64_t code = VL_ARG_TEXT;
  static const char *Get(void *p) noexcept { return static_cast<const char *>(p); }
};
template <>
struct ArgKind<HostString *> {
  static constexpr std::uint64_t code = VL_ARG_HSTRING;
  static HostString *Get(void *p) noexcept { return static_cast<HostString *>(p); }
};

template <auto Fn>
struct Adapter;
template <typename... A, std::int32_t (*Fn)(A...)>
struct Adapter<Fn> {
  static constexpr std::size_t count = sizeof...(A);
  static constexpr std::array<std::uint64_t, count> codes{ArgKind<A>::code...};

  // A function without arguments reads nothing from the vector, which may be null.
  static std::int32_t Call(void **argv) { return Unpack(argv, std::index_sequence_for<A...>{}); }

 private:
  template <std::size_t... I>
  static std::int32_t Unpack([[maybe_unused]] void **argv, std::index_sequence<I...>) {
    return Fn(ArgKind<A>::Get(argv[I])...);
  }
};

struct ArgDef {
  const char *name;
  std::uint64_t type;
};

inline constexpr std::size_t kMaxArgs = 9;

struct FuncDef {
  std::int32_t number;
  const char *name;
  std::array<ArgDef, kMaxArgs> args;  // unused rows have a null name
  Invoker invoke;
  std::size_t signatureCount;                              // from the C++ signature
  std::array<std::uint64_t, kMaxArgs> signatureCodes;      // from the C++ signature

  constexpr std::size_t ArgCount() const {
    std::size_t n = 0;
    while (n < kMaxArgs && args[n].name != nullptr) ++n;
    return n;
  }
};

template <auto Fn>
constexpr std::array<std::uint64_t, kMaxArgs> SignatureCodes() {
  std::array<std::uint64_t, kMaxArgs> out{};
  for (std::size_t i = 0; i < Adapter<Fn>::count; ++i) out[i] = Adapter<Fn>::codes[i];
  return out;
}

#define VL_FN(number, fn, ...) \
  FuncDef { number, #fn, {{__VA_ARGS__}}, &Adapter<&fn>::Call, Adapter<&fn>::count, SignatureCodes<&fn>() }

// The host functions: number, name, arguments (name, type code) in vector order.
constexpr FuncDef kFunctions[] = {
    VL_FN(0, dll_Revision, {"str", 8}),
    VL_FN(1, dll_Compiled, {"str", 8}),
    VL_FN(2, dll_Debug, {"debug", 1}),
    VL_FN(3, dll_SetDebugFlags, {"fs", 7}, {"fname", 7}),
    VL_FN(4, dll_SetLocale, {"str", 7}),
    VL_FN(5, dll_SendNext, {"vl", 8}, {"eof_p", 2}),
    VL_FN(6, v_Set, {"name", 8}, {"value", 8}),
    VL_FN(7, v_Unset, {"name", 8}),
    VL_FN(8, v_Get, {"name", 8}, {"value", 8}),
    VL_FN(9, u_udata, {"Udata", 8}, {"Feldtyp", 8}, {"Fld_length", 2}, {"Fld_nk", 2}, {"Numtyp", 2}, {"Mussfeld", 2}, {"Numvon", 5}, {"Numbis", 5}, {"rc", 2}),
    VL_FN(10, u_basename, {"ObjPath", 8}, {"BaseObj", 8}),
    VL_FN(11, u_pathname, {"ObjPath", 8}, {"Path", 8}),
    VL_FN(12, u_rempath, {"ObjPath", 8}, {"Path", 8}),
    VL_FN(13, ini_GetInt, {"section", 7}, {"entry", 7}, {"def", 1}, {"fname", 7}, {"val_p", 2}),
    VL_FN(14, ini_GetString, {"section", 7}, {"entry", 7}, {"def", 7}, {"fname", 7}, {"val", 8}),
    VL_FN(15, ini_SetString, {"section", 7}, {"entry", 7}, {"val", 7}, {"fname", 7}),
    VL_FN(16, ini_Open, {"fname", 7}, {"section", 7}, {"hdl", 2}),
    VL_FN(17, ini_Close, {"hdl", 1}, {"rc", 2}),
    VL_FN(18, ini_CloseAll),
    VL_FN(19, ini_FindSection, {"hdl", 1}, {"section", 7}, {"eof", 2}),
    VL_FN(20, ini_NextLine, {"hdl", 1}, {"buf", 8}, {"eof", 2}),
    VL_FN(21, ini_NextSection, {"hdl", 1}, {"buf", 8}, {"eof", 2}),
    VL_FN(22, ini_NextEntry, {"hdl", 1}, {"item", 8}, {"value", 8}, {"eof", 2}),
    VL_FN(23, l_CreateList, {"hdl", 2}, {"name", 8}),
    VL_FN(24, l_Name, {"hdl", 1}, {"name", 8}),
    VL_FN(25, l_HdlByName, {"name", 7}, {"hdl", 2}),
    VL_FN(26, l_DeleteList, {"hdl", 2}),
    VL_FN(27, l_DeleteAll),
    VL_FN(28, l_Add, {"hdl", 1}, {"data", 8}),
    VL_FN(29, l_Ins, {"hdl", 1}, {"data", 8}),
    VL_FN(30, l_Set, {"hdl", 1}, {"data", 8}),
    VL_FN(31, l_Del, {"hdl", 1}, {"eol", 2}),
    VL_FN(32, l_Get, {"hdl", 1}, {"mode", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(33, l_GetCurr, {"hdl", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(34, l_GetFirst, {"hdl", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(35, l_GetLast, {"hdl", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(36, l_GetNext, {"hdl", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(37, l_GetPrev, {"hdl", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(38, l_GetIdx, {"hdl", 1}, {"idx", 1}, {"data", 8}, {"eol", 2}),
    VL_FN(39, l_Seek, {"hdl", 1}, {"mode", 1}, {"eol", 2}),
    VL_FN(40, l_SeekCurr, {"hdl", 1}, {"eol", 2}),
    VL_FN(41, l_SeekFirst, {"hdl", 1}, {"eol", 2}),
    VL_FN(42, l_SeekLast, {"hdl", 1}, {"eol", 2}),
    VL_FN(43, l_SeekNext, {"hdl", 1}, {"eol", 2}),
    VL_FN(44, l_SeekPrev, {"hdl", 1}, {"eol", 2}),
    VL_FN(45, l_SeekIdx, {"hdl", 1}, {"idx", 1}, {"eol", 2}),
    VL_FN(46, mdf_Get, {"fname", 7}, {"section", 7}, {"filter", 7}, {"xbuf", 8}, {"rc_p", 2}),
    VL_FN(47, dict_Open, {"id", 7}, {"fname", 7}, {"lvl", 1}, {"rc_p", 2}),
    VL_FN(48, dict_OpenModel, {"id", 7}, {"fname", 7}, {"rc_p", 2}),
    VL_FN(49, dict_Close, {"lvl", 1}),
    VL_FN(50, dict_CloseAll),
    VL_FN(51, dict_CloseModel, {"id", 7}),
    VL_FN(52, dict_DlgID, {"dict_id", 7}, {"lvl", 1}, {"idx", 1}, {"xbuf", 8}, {"eof_p", 2}),
    VL_FN(53, dict_GetAlias, {"dlgID", 7}, {"alias_idx", 1}, {"aliasID", 8}, {"eof_p", 2}),
    VL_FN(54, dict_NewAlias, {"dlgID", 7}, {"aliasID", 8}),
    VL_FN(55, dict_DelAlias, {"aliasID", 7}),
    VL_FN(56, dict_MapID, {"handle", 7}, {"id_p", 8}),
    VL_FN(57, dict_List, {"dlgID", 7}, {"item", 7}, {"buf", 8}),
    VL_FN(58, dict_First, {"dlgID", 7}),
    VL_FN(59, dict_Next, {"dlgID", 7}, {"xbuf", 8}, {"rc_p", 2}),
    VL_FN(60, dict_Get, {"dlgID", 7}, {"name", 7}, {"xbuf", 8}),
    VL_FN(61, dict_GetByKey, {"dlgID", 7}, {"key_item", 7}, {"key_value", 7}, {"xbuf", 8}),
    VL_FN(62, dict_Update, {"dlgID", 7}, {"Xdict", 8}),
    VL_FN(63, dict_Dump, {"dlgID", 7}, {"fldName", 7}),
    VL_FN(64, dict_PackDX, {"dlgID", 7}, {"lvl", 1}),
    VL_FN(65, dict_XbufFilterInit, {"dlgID", 7}, {"xbuf", 8}, {"eof_p", 2}),
    VL_FN(66, dict_XbufFilterAdd, {"dlgID", 7}, {"xbuf", 8}),
    VL_FN(67, dict_ListFilterInit, {"dlgID", 7}, {"list", 7}, {"eof_p", 2}),
    VL_FN(68, dict_VarFilterInit, {"dlgID", 7}, {"name", 7}, {"val", 7}, {"eof_p", 2}),
    VL_FN(69, dict_FilterInit, {"filterName", 7}),
    VL_FN(70, dict_FilterNext, {"xdict", 8}, {"val", 8}, {"eof_p", 2}),
    VL_FN(71, dict_FilterSetValue, {"newValue", 7}),
    VL_FN(72, dict_FilterToXbuf, {"xbuf", 8}),
    VL_FN(73, dict_FilterFree),
    VL_FN(74, dict_PackBufDX, {"buf", 8}),
    VL_FN(75, dict_Y2kMode, {"mode", 1}),
    VL_FN(76, chk_Num, {"v_type", 7}, {"str", 8}, {"res", 5}, {"rc", 2}),
    VL_FN(77, fmt_Num, {"pval", 4}, {"plen", 1}, {"pprec", 1}, {"pflags", 7}, {"result", 8}),
    VL_FN(78, scan_Num, {"in", 7}, {"pfvt", 7}, {"pprec", 1}, {"pmin", 4}, {"pmax", 4}, {"pvalid", 7}, {"result", 5}, {"out", 8}, {"rc", 2}),
    VL_FN(79, fmt_Date, {"pval", 1}, {"isGreg", 1}, {"plen", 1}, {"pfmt", 7}, {"result", 8}),
    VL_FN(80, scan_Date, {"in", 7}, {"pfvt", 7}, {"pfmt", 7}, {"pvalid", 7}, {"result", 2}, {"out", 8}, {"rc", 2}),
    VL_FN(81, fmt_Time, {"pval", 1}, {"plen", 1}, {"pfmt", 7}, {"result", 8}),
    VL_FN(82, scan_Time, {"in", 7}, {"pfvt", 7}, {"pfmt", 7}, {"pvalid", 7}, {"result", 2}, {"out", 8}, {"rc", 2}),
    VL_FN(83, fmt_Week, {"pval", 1}, {"plen", 1}, {"vtyp", 7}, {"pfmt", 7}, {"result", 8}),
    VL_FN(84, scan_Week, {"in", 7}, {"pfvt", 7}, {"pfmt", 7}, {"pvalid", 7}, {"result", 2}, {"out", 8}, {"rc", 2}),
    VL_FN(85, fmt_Month, {"pval", 1}, {"plen", 1}, {"pfmt", 7}, {"result", 8}),
    VL_FN(86, scan_Month, {"in", 7}, {"pfvt", 7}, {"pfmt", 7}, {"pvalid", 7}, {"result", 2}, {"out", 8}, {"rc", 2}),
    VL_FN(87, fmt_Text, {"pval", 7}, {"plen", 1}, {"pflags", 7}, {"result", 8}),
    VL_FN(88, scan_Text, {"in", 7}, {"plen", 1}, {"pflags", 7}, {"pvalid", 7}, {"out", 8}, {"rc", 2}),
};

#undef VL_FN

constexpr std::size_t kFunctionCount = std::size(kFunctions);
static_assert(kFunctionCount == 89, "the module has 89 host functions");

// Every row is numbered by its place, and its argument types agree with the
// C++ signature of its implementation.
constexpr bool TableIsConsistent() {
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    const FuncDef &f = kFunctions[i];
    if (f.number != static_cast<std::int32_t>(i)) return false;
    if (f.ArgCount() != f.signatureCount) return false;
    for (std::size_t a = 0; a < f.ArgCount(); ++a) {
      if (f.args[a].type != f.signatureCodes[a]) return false;
    }
  }
  return true;
}
static_assert(TableIsConsistent(), "function table rows must match their implementations");

constexpr std::size_t TotalArgs() {
  std::size_t n = 0;
  for (const FuncDef &f : kFunctions) n += f.ArgCount();
  return n;
}

constexpr std::array<VlArgRow, TotalArgs()> BuildArgList() {
  std::array<VlArgRow, TotalArgs()> rows{};
  std::size_t k = 0;
  for (const FuncDef &f : kFunctions) {
    for (std::size_t a = 0; a < f.ArgCount(); ++a) rows[k++] = VlArgRow{f.args[a].name, f.args[a].type};
  }
  return rows;
}

constexpr std::array<VlFuncRow, kFunctionCount + 1> BuildFuncList() {
  std::array<VlFuncRow, kFunctionCount + 1> rows{};
  std::uint32_t first = 0;
  for (std::size_t i = 0; i < kFunctionCount; ++i) {
    const auto count = static_cast<std::uint32_t>(kFunctions[i].ArgCount());
    rows[i] = VlFuncRow{kFunctions[i].name, first, count, 0};
    first += count;
  }
  rows[kFunctionCount] = VlFuncRow{nullptr, 0, 0, 0};  // the all-zero end row
  return rows;
}

constexpr std::array<Invoker, kFunctionCount> BuildInvokers() {
  std::array<Invoker, kFunctionCount> out{};
  for (std::size_t i = 0; i < kFunctionCount; ++i) out[i] = kFunctions[i].invoke;
  return out;
}

constexpr auto kInvokers = BuildInvokers();

// The category of a function's own trace messages, by its family: I for the INI
// functions, F for formatting and scanning, D for every other.
constexpr char CategoryOf(std::string_view name) {
  if (name.starts_with("ini_")) return 'I';
  if (name.starts_with("fmt_") || name.starts_with("scan_") || name.starts_with("chk_")) return 'F';
  return 'D';
}

constexpr std::array<char, kFunctionCount> BuildCategories() {
  std::array<char, kFunctionCount> out{};
  for (std::size_t i = 0; i < kFunctionCount; ++i) out[i] = CategoryOf(kFunctions[i].name);
  return out;
}

constexpr auto kCategories = BuildCategories();

}  // namespace

Invoker FindInvoker(std::int32_t number) noexcept {
  if (number < 0 || static_cast<std::size_t>(number) >= kFunctionCount) return nullptr;
  return kInvokers[static_cast<std::size_t>(number)];
}

char TraceCategory(std::int32_t number) noexcept {
  if (number < 0 || static_cast<std::size_t>(number) >= kFunctionCount) return 'D';
  return kCategories[static_cast<std::size_t>(number)];
}

}  // namespace vl

// The exported tables. They are declared with C linkage as arrays of rows in
// vlabi.h; std::array has exactly that layout.
extern "C" {
__attribute__((visibility("default"))) extern const std::array<VlFuncRow, vl::kFunctionCount + 1> VlFuncList;
__attribute__((visibility("default"))) extern const std::array<VlArgRow, vl::TotalArgs()> VlArgList;
constinit const std::array<VlFuncRow, vl::kFunctionCount + 1> VlFuncList = vl::BuildFuncList();
constinit const std::array<VlArgRow, vl::TotalArgs()> VlArgList = vl::BuildArgList();
}
