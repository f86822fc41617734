// The IDM grammar and its actions.
//
// A script is a series of statements; each statement's action runs when its
// closing T_END ("{" or ";") has been read:
//
//   T_END                                    empty (ends skipped statements)
//   T_IMPORT T_IDENT T_VALUE T_END           import a module once: read its interface file
//   T_INTERFACE T_IDENT T_VALUE T_END        (interface file) read the module file instead
//   T_MODEL (T_CLASS | T_IDENT) [T_IDENT] T_END     a model of a class, or based on a model
//   T_WINDOW [T_IDENT] T_END                 a top-level window
//   T_INSTANCE [T_IDENT] T_END               a top-level object based on a model
//   T_CHILD (T_CLASS | T_IDENT) [T_IDENT] T_END     a child of the current object
//   T_ATTR T_VALUE T_END                     an attribute of the current object
//
// A missing object name is made up ("AutoObj%ld"). The new object becomes the
// current object of its body after "{". A child whose header ends with ";" has
// no body and leaves the current object of its level as it was: the next
// child or attribute statement still belongs to the parent. Any other token
// sequence is fatal: "syntax error" (exit 1).
#pragma once

namespace panelxlate {

// Parses the input on the scanner's file stack to its end; returns 0 (every
// error is fatal).
int IdmParse();

}  // namespace panelxlate
