// Shared pieces of the _glyphloom module: argument conversion, result building, the guard that
// turns C++ failures into Python exceptions, and the object layouts of the two classes.
#pragma once

// First: it includes Python.h, for the limited API, before any standard header.
#include "arguments.hpp"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "glyphloom/glyphloom.hpp"
#include "glyphloom/index.hpp"

namespace glyphloom::py {

// An image owned by Python objects: the caller's copy, or none for the default image.
using SharedBytes = std::shared_ptr<const std::string>;

struct PyIndex {
  PyObject_HEAD SharedBytes data;
};

struct PyConverter {
  PyObject_HEAD SharedBytes data;
  std::optional<Glyphloom> core;
  std::mutex lock;
  bool poisoned;
};

std::string_view image_of(const SharedBytes& data);
// An Index view over bytes that the Index constructor accepted.
Index open_accepted(const SharedBytes& data);

// The class objects, created once by the module's execution step.
PyObject* make_index_type();
PyObject* make_converter_type();
bool is_index(PyObject* obj);
int add_meta_functions(PyObject* module);

PyObject* str(std::string_view s);

// The slots every instance of the two classes shares: deallocation ends the C++ fields, and the
// collector sees only the reference to the heap type (the instances hold no other object).
template <class T>
void dealloc_object(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  std::destroy_at(reinterpret_cast<T*>(self));
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}
int traverse_type_only(PyObject* self, visitproc visit, void* arg);
int clear_nothing(PyObject* self);

// One of a fixed set of words, or ValueError "<message> <text>".
template <class E, size_t N>
bool choice_arg(std::string_view text, const std::pair<std::string_view, E> (&choices)[N],
                const char* message, E& out) {
  for (const auto& [word, value] : choices) {
    if (text == word) {
      out = value;
      return true;
    }
  }
  PyObject* given = str(text);
  if (given) {
    PyErr_Format(PyExc_ValueError, "%s %U", message, given);
    Py_DECREF(given);
  }
  return false;
}

// The warning mode named by `obj` ("warn", "error" or "lenient"), or false with TypeError or
// ValueError "unknown warning mode <text>" set.
bool mode_arg(PyObject* obj, WarningMode& out);

// Raises the internal-error exception (a BaseException subclass) with `message`.
void raise_internal(const char* message);
// Makes `type` (a new reference, taken) the class of the internal errors raised here: the package's
// own module raises those of _glyphloom.
void use_internal_error_type(PyObject* type);

// Runs `body`; C++ failures become Python exceptions and a null result.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const InternalError& e) {
    raise_internal(e.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_internal(e.what());
  }
  return nullptr;
}

// Argument conversions. Each returns false with a Python exception set on failure; messages
// start with "argument '<name>': ".
bool text_arg(PyObject* obj, const char* name, std::string_view& out);
bool u64_arg(PyObject* obj, const char* name, uint64_t& out);
bool bytes_arg(PyObject* obj, const char* name, std::string& out);
bool type_error(const char* name, const std::string& what);
// The current length of a sequence argument, or -1 with an exception set.
Py_ssize_t sequence_size(PyObject* obj, const char* name);

// A sequence of run 5-tuples (key, value, start, end, byte) over `text`, each checked to lie on
// its character boundaries.
bool runs_arg(PyObject* obj, std::string_view text, std::vector<MetaRun>& runs);

// Result building; each returns a new reference or null with an exception set.
// A tuple of new references, stolen; null if any of them is null (the others are released).
PyObject* tuple_of(std::initializer_list<PyObject*> items);
PyObject* warning_tuple(const Warning& w);
PyObject* list_of_str(const std::vector<std::string_view>& items);

template <class T, class F>
PyObject* list_of(const std::vector<T>& items, F&& make) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(items.size()));
  if (!list) return nullptr;
  for (size_t i = 0; i < items.size(); ++i) {
    PyObject* item = make(items[i]);
    if (!item) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SetItem(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

}  // namespace glyphloom::py
