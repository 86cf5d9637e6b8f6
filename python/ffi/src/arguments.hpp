// The one argument parser of the extension modules.
//
// Every function and method takes METH_FASTCALL | METH_KEYWORDS arguments: a C array of
// positional arguments and a tuple of keyword names whose values follow them in the array.
// `parse` binds them to a fixed list of parameter names, each of which may be given by position
// or by keyword; the first `required` have no default, and a missing optional one is left null.
// Bad calls are reported in the interpreter's own words for such calls, checked in its order:
//
//   "f() takes at most 2 arguments (3 given)"     (or "… 1 keyword argument …" with no positional)
//   "f() missing required argument 'key' (pos 2)"
//   "argument for f() given by name ('key') and position (2)"
//   "'kee' is an invalid keyword argument for f()"
//
// Constructors are called with a tuple and a dict; `parse_tuple` hands those to the same parser.
#pragma once

#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030A0000
#endif
#include <Python.h>

namespace glyphloom::py {

struct Signature {
  const char* function;      // its name, as messages show it
  const char* const* names;  // of the parameters, in order
  int count;
  int required;
};

// The most parameters a signature has.
inline constexpr int kMaxParameters = 6;

// Fills out[0 .. count) with borrowed references, null for a missing optional one. Returns false
// with TypeError set for a bad call.
bool parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const Signature& signature,
           PyObject** out);

bool parse_tuple(PyObject* args, PyObject* kwargs, const Signature& signature, PyObject** out);

// The function pointer of a METH_FASTCALL | METH_KEYWORDS entry of a method table.
template <class F>
constexpr PyCFunction fast(F f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace glyphloom::py
