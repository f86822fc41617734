// The IDM grammar and its actions (see idmparse.h).
#include "idmparse.h"

#include <string>

#include "idmscan.h"
#include "panelxlate.h"
#include "symbol.h"

namespace panelxlate {
namespace {

[[noreturn]] void SyntaxError() { Fatal(kExitSyntax, "syntax error"); }

// The next token inside a statement.
LexToken Next() { return LexNext(true); }

LexToken Expect(Token want) {
  const LexToken token = Next();
  if (token.type != want) SyntaxError();
  return token;
}

// Reads the optional object name and the closing T_END.
std::string OptionalNameAndEnd() {
  LexToken token = Next();
  std::string name;
  if (token.type == T_IDENT) {
    name = LexSlotText(token.slot);
    token = Next();
  }
  if (token.type != T_END) SyntaxError();
  return name;
}

// Reads a file named in a script, mapped by SymbolFindFile; fatal when it
// cannot be read: "unable to open module interface file '%s'" or "unable to
// open module file '%s'".
std::string LoadModuleFile(const std::string &mapped, bool interface) {
  std::string data;
  switch (ReadInputFile(mapped, &data)) {
    case kExitOk:
      return data;
    case kExitRuntime:
      Fatal(kExitRuntime, "file '%s' is larger than %zu bytes", mapped.c_str(), kInputMax);
    default:
      if (interface) Fatal(kExitRuntime, "unable to open module interface file '%s'", mapped.c_str());
      Fatal(kExitRuntime, "unable to open module file '%s'", mapped.c_str());
  }
}

// The object statements: creates the object once its T_END has been read.
void Create(ListKind list, bool child, std::string name, const std::string &cls, bool isRef) {
  LexReleaseSlots();
  Object *parent = child ? LexCurrentObject() : nullptr;
  if (name.empty()) name = MakeUpName();
  LexSetCurrentObject(ObCreate(list, parent, name, cls, isRef));
}

// After T_MODEL or T_CHILD: a class keyword or a model name, then the rest.
void ClassOrModel(ListKind list, bool child) {
  const LexToken token = Next();
  if (token.type != T_CLASS && token.type != T_IDENT) SyntaxError();
  const std::string cls = LexSlotText(token.slot);
  std::string name = OptionalNameAndEnd();
  Create(list, child, std::move(name), cls, token.type == T_IDENT);
}

void Import() {
  const std::string module = LexSlotText(Expect(T_IDENT).slot);
  const std::string file = LexSlotText(Expect(T_VALUE).slot);
  Expect(T_END);
  LexReleaseSlots();
  if (NewModule(module) == 0) return;
  const std::string mapped = SymbolFindFile(file);
  std::string data = LoadModuleFile(mapped, true);
  LexPushFile(std::move(data), kInterfaceFile, mapped);
}

void Interface() {
  Expect(T_IDENT);
  const std::string file = LexSlotText(Expect(T_VALUE).slot);
  Expect(T_END);
  LexReleaseSlots();
  const std::string mapped = SymbolFindFile(file);
  Progress("importing module file: '%s'\n", mapped.c_str());
  std::string data = LoadModuleFile(mapped, false);
  LexPopFile();  // the rest of the interface file is not read
  LexPushFile(std::move(data), kModuleFile, mapped);
}

void Attribute(const LexToken &attr) {
  const std::string name = LexSlotText(attr.slot);
  const std::string value = LexSlotText(Expect(T_VALUE).slot);
  Expect(T_END);
  LexReleaseSlots();
  Object *object = LexCurrentObject();
  if (object == nullptr) SyntaxError();
  IDM_SetAttr(object, name, value);
}

}  // namespace

int IdmParse() {
  for (;;) {
    const LexToken token = LexNext(false);
    switch (token.type) {
      case T_EOF:
        return 0;
      case T_END:
        break;
      case T_IMPORT:
        Import();
        break;
      case T_INTERFACE:
        Interface();
        break;
      case T_MODEL:
        ClassOrModel(ListKind::kModels, false);
        break;
      case T_CHILD:
        ClassOrModel(ListKind::kObjects, true);
        break;
      case T_WINDOW:
        Create(ListKind::kObjects, false, OptionalNameAndEnd(), "window", false);
        break;
      case T_INSTANCE: {
        const std::string model = LexSlotText(token.slot);
        Create(ListKind::kObjects, false, OptionalNameAndEnd(), model, true);
        break;
      }
      case T_ATTR:
        Attribute(token);
        break;
      default:
        SyntaxError();
    }
  }
}

}  // namespace panelxlate
