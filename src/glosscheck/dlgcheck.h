// The checks of dialog objects against the dictionary: AddDlgObj collects the
// objects of the DLG files, CheckDlgObjs compares each with its dictionary
// section, ListSections names the sections no dialog used.
//
// While dialog model files are read (model mode) every object goes into the
// dialog model list under its path as read; dialog files (dialog mode) may then
// use a model's path as a class name. While dialog files are read every object
// goes into the dialog object list under its dictionary form: the dialog name
// (the first component) becomes the catalog handle whose prefix it is, so
// "cust.addr.zip" with the catalog item "CU = cust" becomes "CU.addr.zip".
// The object's dictionary section is then the first one, in dictionary order,
// named "cu.<anything>" whose PATH item is "addr.zip" (both without regard to
// case). Radio buttons of one group ("rb1", "rb2", ...) share one record with
// the range of their indexes.
//
// Every check takes the referenced section out of the dictionary, so that what
// remains is the list of unreferenced sections, and a second object that maps
// to the same section finds it no longer. Objects and sections are indexed, so
// that no step walks the dictionary per object.
//
// Messages go through msg_print with letter D: level 1 fatal errors, level 2
// warnings. The lists are process-wide and live until FreeDlgObjs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dlg.h"

namespace vl {
struct DictSection;
}

namespace glosscheck {

// Class codes of dialog objects; 0: not checked. 3 is not used.
enum DlgClass : std::int32_t {
  kClassNone = 0,         // Window, Dialog, PushButton, GroupBox, unknown classes
  kClassEditText = 1,     // OBJTYPE ET, MT (with .multiline) or OF
  kClassStaticText = 2,   // ST
  kClassCheckBox = 4,     // CB
  kClassRadioButton = 5,  // RB
  kClassListBox = 6,      // LB
};

// The longest object path a record holds (in its dictionary form in dialog
// mode, a radio button without its index). A longer object is refused with a
// message and result 1 rather than cut, so that it can never match the section
// of another object.
inline constexpr std::size_t kDlgObjPathMax = 81;

// Which list the objects of the next DLG file go into.
enum class DlgReadMode { kModel, kDialog };
void SetDlgReadMode(DlgReadMode mode);

// -i: no warning when a path and its section's PATH differ in case only.
void SetIgnorePathCase(bool ignore);

// Takes one event of the DLG reader: DLG NEW with a class name and no value,
// DLG SET with a value and no class name; `line` is the current DLG line.
// Returns 0 (accepted), 1 (an error was reported, or the object lies in a
// dialog the catalog does not know; reading goes on) or 3 (memory exhausted,
// reported; reading stops).
[[nodiscard]] int AddDlgObj(std::string_view path, std::string_view className, const dlg::DlgValue *value, int line);

// The DLG reader's consumer: every event goes to AddDlgObj.
class DlgObjCollector final : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const dlg::DlgEvent &event) override;
};

// Where LocateDictObj found a section.
struct DictObjPos {
  vl::DictSection *section = nullptr;
  std::size_t slot = 0;  // its place in the index of the current dictionary
};

// Finds the section of the object path `path` (dictionary form) in the current
// dictionary: 0 with `pos`; -1 when no section belongs to it; -2 after a
// message for a path without "." or an internal failure (no current
// dictionary, no PATH item, memory exhausted while indexing).
[[nodiscard]] int LocateDictObj(std::string_view path, DictObjPos &pos);

// Takes the section LocateDictObj found out of the current dictionary and frees it.
void RemoveDictObj(const DictObjPos &pos);

// Checks every record of the dialog object list, in order, against its
// section, and takes each section found out of the dictionary. Returns 0, 1
// when an object failed a check, or 3 when a look-up failed internally.
[[nodiscard]] int CheckDlgObjs();

// The number of records collected from dialog files.
std::size_t DlgObjCount();

// Names the sections left in the current dictionary when the warning level is
// 2 and dialog objects were collected.
void ListSections(int warnLevel);

// Frees the lists and the index (the end of the run); ResetForTest runs it too.
void FreeDlgObjs();

}  // namespace glosscheck
