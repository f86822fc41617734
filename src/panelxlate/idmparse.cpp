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

// The end of an object statement's header.
struct Header {
  std::string name;  // the object name; empty when it is to be made up
  bool body = false; // the header ended with "{"
};

// Reads the optional object name and the closing T_END.
Header OptionalNameAndEnd() {
  LexToken token = Next();
  Header header;
  if (token.type == T_IDENT) {
    header.name = LexSlotText(token.slot);
    token = Next();
  }
  if (token.type != T_END) SyntaxError();
  header.body = token.brace;
  return header;
}

// Reads a file named in a script, mapped by SymbolFindFile; fatal when it
// cannot be read: "unable to open module interface file '%s'" or "unable to
// open module file '%s'".
std::string LoadModuleFile(const std::string &mapped, bool interface) {
  std::string data;
  if (ReadInputFile(mapped, &data)) return data;
  if (interface) Fatal(kExitRuntime, "unable to open module interface file '%s'", mapped.c_str());
  Fatal(kExitRuntime, "unable to open module file '%s'", mapped.c_str());
}

// The object statements: creates the object once its T_END has been read. An
// object with a body becomes the current object inside it; after a header that
// ends with ";" the level keeps its current object, so that the statements
// that follow a body-less child still belong to its parent.
void Create(ListKind list, bool child, Header header, const std::string &cls, bool isRef) {
  LexReleaseSlots();
  Object *parent = child ? LexCurrentObject() : nullptr;
  if (header.name.empty()) header.name = MakeUpName();
  Object *object = ObCreate(list, parent, header.name, cls, isRef);
  if (header.body || !child) LexSetCurrentObject(object);
}

// After T_MODEL or T_CHILD: a class keyword or a model name, then the rest.
void ClassOrModel(ListKind list, bool child) {
  const LexToken token = Next();
  if (token.type != T_CLASS && token.type != T_IDENT) SyntaxError();
  const std::string cls = LexSlotText(token.slot);
  Create(list, child, OptionalNameAndEnd(), cls, token.type == T_IDENT);
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
