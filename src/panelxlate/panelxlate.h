// panelxlate: the object tree, attribute conversion, layout and the DLG writer.
//
// The grammar (idmparse.h) creates models and objects and assigns attributes;
// this module keeps them in two trees (models, and the objects to be written),
// maps IDM class keywords to DLG classes, copies or references models,
// converts IDM attribute names and values into their DLG forms and, when an
// object is written, lets it inherit from its models, applies the configuration
// attributes, lays it out (ObFixup) and writes it as a DLG object statement.
//
// Two choices where the converter's rules leave room:
//  - A copy of a model (an instance of a model that has no model of its own)
//    takes the model's stored attributes unchanged, and its positions, so that
//    no attribute the model gives its copies is lost (.border, .line[n], .rule,
//    .cr and .f1 to .f9 would not survive a second conversion).
//  - When an object inherits from an intermediate model (a model that itself
//    refers to a model), the object's own values win; nearer models win over
//    farther ones.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "msg.h"
#include "var.h"

namespace panelxlate {

// The eight position attributes, in the order of their flags.
enum Position : int { kXLeft, kXRight, kXAuto, kYTop, kYBottom, kYAuto, kWidth, kHeight, kPositionCount };

// DLG class numbers; 0 = none.
enum ClassId : std::int32_t {
  kNoClass = 0,
  kCheckBox = 1,
  kDialog = 2,
  kEditText = 3,
  kGroupBox = 4,
  kListBox = 5,
  kPushButton = 6,
  kRadioButton = 7,
  kStaticText = 8,
};

// One model, object or copied child.
struct Object {
  Object *parent = nullptr;      // none for a top-level entry
  Object *firstChild = nullptr;
  Object *lastChild = nullptr;
  Object *next = nullptr;        // next sibling (or next top-level entry); none for the last
  std::string name;              // as written (after renaming)
  Object *model = nullptr;       // the model this object refers to (reference objects only)
  std::int32_t classId = kNoClass;
  bool hidden = false;           // the object and its subtree are not written
  bool inModelTree = false;      // below the model list (found by model look-ups)
  bool naturalKnown = false;     // naturalWidth is computed
  std::uint8_t posSet = 0;       // bit p: position p holds a value
  std::uint8_t posDefault = 0;   // bit p: position p was given as a default (not written)
  std::int32_t pos[kPositionCount] = {};
  std::int32_t naturalWidth = 0; // width from text or length, cached
  std::uint32_t seq = 0;         // creation number: siblings follow each other in this order
  std::uint32_t file = 0;        // where it was defined: index into the file names of the tree
  std::int32_t line = 0;
  VarList attrs;                 // DLG attribute names and values, in order of first assignment

  bool Has(Position p) const { return (posSet >> p) & 1; }
  bool IsDefault(Position p) const { return (posDefault >> p) & 1; }
};

enum class ListKind { kModels, kObjects };

// Limits.
inline constexpr std::uint32_t kObjectMax = 1000000;  // models, objects and copies in one run

// Records a module name; 1 when it is new, 0 when it was imported before.
// Memory exhausted: fatal "NewModule(%s) failed: heap overflow" (exit 3).
int NewModule(std::string_view name);

// Creates an object named `name` of class keyword `cls` (or, when `isRef`,
// based on the model named `cls`), below `parent` or at the end of `list`, and
// returns it. Fatal: "unknown model '%s'" (3), "unknown classname '%s'" (1),
// "heap overflow, ObCreate(1)" and "(2)" (3), "too many objects, limit is %d" (3).
Object *ObCreate(ListKind list, Object *parent, std::string_view name, std::string_view cls, bool isRef);

// Copies the children of `source`, with their subtrees, below `target`. Only
// records older than `target` are copied, so a model that holds an instance
// of itself is copied once, not without end. Fatal: "heap overflow,
// ObCpyChildren(1)" and "(2)" (3).
void ObCpyChildren(Object *target, const Object *source);

// The one entry for attribute assignments: positions go to their handler,
// every other name is converted to its DLG form (or dropped), and so is the
// value. Fatal: "illegal text value (%s)" (1), a heap overflow (3).
void IDM_SetAttr(Object *object, std::string_view name, std::string_view value);

// The position handler: "(n)" is a default (ignored when the position holds a
// value), any other value clears the default mark; the leading number of a
// non-empty value is stored, an empty value marks the position not set.
void SetPosition(Object *object, Position p, std::string_view value);

// Completes an object from its models just before it is written, and removes
// the attributes whose section says "!inherit"="NEVER". Fatal:
// "InheritAttrs() failed: invalid configuration '%s=%s' in section [%s]" (1).
void InheritAttrs(Object *object);

// Computes and stores the object's position and size; notes go to message
// letter C.
void ObFixup(Object *object);

// The DLG class name of a class number; fatal for an unknown number:
// "ObIDToClass() failed: unknown classID '%d'" (exit 3).
const char *ObIDToClass(std::int32_t classId);
// The class number of a DLG class name (any case), 0 when unknown.
std::int32_t ClassNumber(std::string_view className);

// Appends the header files to `out`, each looked up with SymbolFindFile and
// announced with "including header file: '%s'\n"; "%FILE%" becomes
// `outputName` ("(Standard Output)" when empty) and "%DATE%" the local time
// `now` in the locale's date and time form. Returns 0, or 2 after "unable to
// open file\n" on standard error.
int CopyHeaders(std::string &out, const std::vector<std::string> &headers, const std::string &outputName,
                std::time_t now);

// Appends every visible object of the object list to `out` as DLG text, after
// inheritance, configuration attributes and layout.
void WriteObjects(std::string &out);

// Lowers the object limit (for tests; kObjectMax until the next ResetTree).
void SetObjectLimitForTest(std::uint32_t limit);

// The first object of the object list and of the model list (for tests).
Object *FirstObject();
Object *FirstModel();
// The next made-up object name: "AutoObj%ld" from a counter that starts at 1.
std::string MakeUpName();

// Empties the trees, the module list and the counters (for tests).
void ResetTree();

}  // namespace panelxlate
