#include "arguments.hpp"

#include <cstdint>
#include <iterator>

namespace glyphloom::py {

namespace {

// The parameter name `name` as an interned str, or null. Keyword names written in Python source
// are interned, so most keywords are found by identity, without comparing their text. Made once
// per name (the GIL serialises the calls) and kept; the cache is keyed by the address of the
// name's text, which is static, and a name that meets another one's slot takes it over.
PyObject* interned(const char* name) {
  struct Slot {
    const char* name;
    PyObject* object;
  };
  static Slot slots[64];
  Slot& slot = slots[(reinterpret_cast<uintptr_t>(name) >> 3) % std::size(slots)];
  if (slot.name != name) {
    PyObject* object = PyUnicode_InternFromString(name);
    if (!object) {
      PyErr_Clear();  // no fast path for it, then: the text comparison still finds it
      return nullptr;
    }
    Py_XDECREF(slot.object);
    slot = Slot{name, object};
  }
  return slot.object;
}

// The keyword arguments of a call: names and values side by side.
struct Keywords {
  PyObject* const* names;
  PyObject* const* values;
  Py_ssize_t count;

  // The value given for `name`, or null; a name that is no str matches nothing.
  PyObject* find(const char* name) const {
    if (PyObject* const same = count > 0 ? interned(name) : nullptr) {
      for (Py_ssize_t k = 0; k < count; ++k) {
        if (names[k] == same) return values[k];
      }
    }
    for (Py_ssize_t k = 0; k < count; ++k) {
      if (PyUnicode_Check(names[k]) && PyUnicode_CompareWithASCIIString(names[k], name) == 0) {
        return values[k];
      }
    }
    return nullptr;
  }
};

bool bind(PyObject* const* args, Py_ssize_t nargs, const Keywords& keywords,
          const Signature& signature, PyObject** out) {
  const char* const function = signature.function;
  const Py_ssize_t given = nargs + keywords.count;
  if (given > signature.count) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes at most %d %sargument%s (%zd given)", function,
                 signature.count, nargs == 0 ? "keyword " : "", signature.count == 1 ? "" : "s",
                 given);
    return false;
  }
  Py_ssize_t unused = keywords.count;
  for (int i = 0; i < signature.count; ++i) {
    PyObject* arg = nullptr;
    if (i < nargs) {
      arg = args[i];
    } else if (unused > 0 && (arg = keywords.find(signature.names[i]))) {
      --unused;
    }
    out[i] = arg;
    if (arg) continue;
    if (i < signature.required) {
      PyErr_Format(PyExc_TypeError, "%.200s() missing required argument '%s' (pos %d)", function,
                   signature.names[i], i + 1);
      return false;
    }
    if (unused == 0) {
      for (int rest = i + 1; rest < signature.count; ++rest) {
        out[rest] = rest < nargs ? args[rest] : nullptr;
      }
      return true;
    }
  }
  if (unused == 0) return true;
  for (Py_ssize_t i = 0; i < nargs; ++i) {
    if (keywords.find(signature.names[i])) {
      PyErr_Format(PyExc_TypeError, "argument for %.200s() given by name ('%s') and position (%zd)",
                   function, signature.names[i], i + 1);
      return false;
    }
  }
  for (Py_ssize_t k = 0; k < keywords.count; ++k) {
    PyObject* name = keywords.names[k];
    if (!PyUnicode_Check(name)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return false;
    }
    bool known = false;
    for (int i = 0; i < signature.count && !known; ++i) {
      known = PyUnicode_CompareWithASCIIString(name, signature.names[i]) == 0;
    }
    if (!known) {
      PyErr_Format(PyExc_TypeError, "'%U' is an invalid keyword argument for %.200s()", name,
                   function);
      return false;
    }
  }
  return true;
}

}  // namespace

bool parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const Signature& signature,
           PyObject** out) {
  // A fast call's keyword values follow its positional arguments.
  const Py_ssize_t count = kwnames ? PyTuple_Size(kwnames) : 0;
  PyObject* names[kMaxParameters + 1];
  if (count > signature.count) {
    return bind(args, nargs, Keywords{nullptr, nullptr, count}, signature, out);
  }
  for (Py_ssize_t k = 0; k < count; ++k) names[k] = PyTuple_GetItem(kwnames, k);
  return bind(args, nargs, Keywords{names, args + nargs, count}, signature, out);
}

bool parse_tuple(PyObject* args, PyObject* kwargs, const Signature& signature, PyObject** out) {
  const Py_ssize_t nargs = PyTuple_Size(args);
  const Py_ssize_t count = kwargs ? PyDict_Size(kwargs) : 0;
  if (nargs < 0 || count < 0) return false;
  // Past the parameter count the call fails on its size alone.
  PyObject* positional[kMaxParameters + 1];
  PyObject* names[kMaxParameters + 1];
  PyObject* values[kMaxParameters + 1];
  if (nargs + count > signature.count) {
    return bind(positional, nargs, Keywords{nullptr, nullptr, count}, signature, out);
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) positional[i] = PyTuple_GetItem(args, i);
  Py_ssize_t at = 0, k = 0;
  PyObject *name, *value;
  while (kwargs && PyDict_Next(kwargs, &at, &name, &value)) {
    names[k] = name;
    values[k++] = value;
  }
  return bind(positional, nargs, Keywords{names, values, k}, signature, out);
}

}  // namespace glyphloom::py
