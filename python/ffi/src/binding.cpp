#include "binding.hpp"

#include <iterator>

#include "text/utf8.hpp"

namespace glyphloom::py {

std::string_view image_of(const SharedBytes& data) {
  return data ? std::string_view(*data) : default_image();
}

Index open_accepted(const SharedBytes& data) {
  auto opened = Index::open(image_of(data));
  if (auto* index = std::get_if<Index>(&opened)) return *index;
  throw InternalError("checked when the bytes were loaded: " + std::get<std::string>(opened));
}

namespace {
// The class of another module that raises _glyphloom's internal errors (see
// use_internal_error_type), or null.
PyObject* borrowed_internal_error = nullptr;

// Created once, on first use, and never changed afterwards.
PyObject* internal_error_type() {
  if (borrowed_internal_error) return borrowed_internal_error;
  static PyObject* type = PyErr_NewExceptionWithDoc(
      "_glyphloom.InternalError",
      "An internal fault of glyphloom: a malformed index image met during a lookup, or a "
      "converter left unusable by an earlier internal error.",
      PyExc_BaseException, nullptr);
  return type;
}
}  // namespace

int traverse_type_only(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return 0;
}

int clear_nothing(PyObject*) {
  return 0;
}

void use_internal_error_type(PyObject* type) {
  PyObject* old = borrowed_internal_error;
  borrowed_internal_error = type;
  Py_XDECREF(old);
}

void raise_internal(const char* message) {
  PyObject* type = internal_error_type();
  if (!type) return;  // creating the type failed; its exception is set
  PyErr_SetString(type, message);
}

bool type_error(const char* name, const std::string& what) {
  PyErr_Format(PyExc_TypeError, "argument '%s': %s", name, what.c_str());
  return false;
}

namespace {
std::string type_name(PyObject* obj) {
  PyObject* name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__");
  std::string out = "object";
  if (name) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
    if (utf8) out.assign(utf8, static_cast<size_t>(size));
    Py_DECREF(name);
  }
  PyErr_Clear();
  return out;
}
}  // namespace

bool text_arg(PyObject* obj, const char* name, std::string_view& out) {
  if (!PyUnicode_Check(obj)) return type_error(name, "expected str, got " + type_name(obj));
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
  if (!utf8) return false;  // a lone surrogate: UnicodeEncodeError as raised
  out = std::string_view(utf8, static_cast<size_t>(size));
  return true;
}

bool mode_arg(PyObject* obj, WarningMode& out) {
  static constexpr std::pair<std::string_view, WarningMode> kModes[] = {
      {"warn", WarningMode::Warn},
      {"error", WarningMode::Error},
      {"lenient", WarningMode::Lenient}};
  // A mode written in Python source is an interned string: found by identity, without reading
  // its text. The names are made once and kept.
  static PyObject* const interned[] = {PyUnicode_InternFromString("warn"),
                                       PyUnicode_InternFromString("error"),
                                       PyUnicode_InternFromString("lenient")};
  for (size_t i = 0; i < std::size(kModes); ++i) {
    if (obj == interned[i]) {
      out = kModes[i].second;
      return true;
    }
  }
  std::string_view text;
  return text_arg(obj, "mode", text) && choice_arg(text, kModes, "unknown warning mode", out);
}

bool u64_arg(PyObject* obj, const char* name, uint64_t& out) {
  PyObject* number = PyNumber_Index(obj);
  if (!number) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      return type_error(name,
                        "'" + type_name(obj) + "' object cannot be interpreted as an integer");
    }
    return false;
  }
  unsigned long long value = PyLong_AsUnsignedLongLong(number);
  Py_DECREF(number);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
      PyErr_Clear();
      PyErr_Format(PyExc_OverflowError, "argument '%s': out of range for an unsigned 64-bit int",
                   name);
    }
    return false;
  }
  out = value;
  return true;
}

Py_ssize_t sequence_size(PyObject* obj, const char* name) {
  Py_ssize_t size = PySequence_Size(obj);
  // An object without a length is no sequence for us; whatever else its own __len__ raises is
  // the caller's exception and passes through unchanged.
  if (size < 0 && PyErr_ExceptionMatches(PyExc_TypeError)) {
    PyErr_Clear();
    type_error(name, "object has no usable length");
  }
  return size;
}

bool bytes_arg(PyObject* obj, const char* name, std::string& out) {
  if (PyBytes_Check(obj)) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(obj, &data, &size) < 0) return false;
    out.assign(data, static_cast<size_t>(size));
    return true;
  }
  if (PyByteArray_Check(obj)) {
    out.assign(PyByteArray_AsString(obj), static_cast<size_t>(PyByteArray_Size(obj)));
    return true;
  }
  if (PyUnicode_Check(obj)) return type_error(name, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj)) {
    return type_error(name, "'" + type_name(obj) + "' object cannot be converted to 'Sequence'");
  }
  // Items are read one by one, so a sequence that changes or fails midway is handled as it goes.
  out.clear();
  for (Py_ssize_t i = 0;; ++i) {
    Py_ssize_t size = sequence_size(obj, name);
    if (size < 0) return false;
    if (i >= size) break;
    PyObject* item = PySequence_GetItem(obj, i);
    if (!item) return false;
    if (!PyLong_Check(item)) {
      std::string item_type = type_name(item);
      Py_DECREF(item);
      return type_error(name, "'" + item_type + "' object cannot be interpreted as a byte");
    }
    long value = PyLong_AsLong(item);
    Py_DECREF(item);
    if (value == -1 && PyErr_Occurred()) PyErr_Clear();
    if (value < 0 || value > 255 || PyErr_Occurred()) {
      PyErr_Format(PyExc_OverflowError, "argument '%s': item %zd is not a byte (0 to 255)", name,
                   i);
      return false;
    }
    out.push_back(static_cast<char>(value));
  }
  return true;
}

namespace {
// Texts up to this size that are not ASCII are decoded here (see `str`).
constexpr size_t kDecodedHere = 256;

// The code points of well-formed UTF-8 `s` (at most kDecodedHere bytes) into `units`; their
// count, or -1 when `s` is not well formed.
Py_ssize_t code_points(std::string_view s, wchar_t* units) {
  Py_ssize_t n = 0;
  for (size_t at = 0; at < s.size();) {
    const size_t length = text::sequence_length(s, at);
    if (length == 0) return -1;
    units[n++] = static_cast<wchar_t>(text::code_point(s, at, length));
    at += length;
  }
  return n;
}
}  // namespace

PyObject* str(std::string_view s) {
  // A short text with other characters than ASCII is handed over as code points, which the
  // interpreter stores at their width in one step: its UTF-8 decoder would start narrow and
  // widen and shrink its result as it met them. Where wchar_t holds no code point (Windows), and
  // for ASCII and long texts, the decoder is the quicker.
  if constexpr (sizeof(wchar_t) == 4) {
    if (s.size() <= kDecodedHere && text::ascii_end(s, 0) < s.size()) {
      wchar_t units[kDecodedHere];
      const Py_ssize_t n = code_points(s, units);
      // Most index texts are one character, made from its code point.
      if (n == 1) return PyUnicode_FromOrdinal(static_cast<int>(units[0]));
      if (n >= 0) return PyUnicode_FromWideChar(units, n);
    }
  }
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* tuple_of(std::initializer_list<PyObject*> items) {
  bool complete = true;
  for (PyObject* item : items) complete = complete && item;
  PyObject* tuple = complete ? PyTuple_New(static_cast<Py_ssize_t>(items.size())) : nullptr;
  Py_ssize_t i = 0;
  for (PyObject* item : items) {
    if (tuple) {
      PyTuple_SetItem(tuple, i++, item);
    } else {
      Py_XDECREF(item);
    }
  }
  return tuple;
}

PyObject* warning_tuple(const Warning& w) {
  return tuple_of({str(w.message), PyLong_FromSize_t(w.byte)});
}

PyObject* list_of_str(const std::vector<std::string_view>& items) {
  return list_of(items, [](std::string_view s) { return str(s); });
}

namespace {
// One run 5-tuple (key, value, start, end, byte).
bool run_arg(PyObject* item, MetaRun& run) {
  if (!PyTuple_Check(item)) {
    return type_error("runs", "a run must be a tuple (key, value, start, end, byte)");
  }
  Py_ssize_t size = PyTuple_Size(item);
  if (size != 5) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length 5, but got tuple of length %zd", size);
    return false;
  }
  std::string_view key, value;
  uint64_t start = 0, end = 0, byte = 0;
  if (!text_arg(PyTuple_GetItem(item, 0), "runs", key) ||
      !text_arg(PyTuple_GetItem(item, 1), "runs", value) ||
      !u64_arg(PyTuple_GetItem(item, 2), "runs", start) ||
      !u64_arg(PyTuple_GetItem(item, 3), "runs", end) ||
      !u64_arg(PyTuple_GetItem(item, 4), "runs", byte)) {
    return false;
  }
  run = MetaRun{std::string(key), std::string(value), start, end, byte};
  return true;
}

}  // namespace

bool runs_arg(PyObject* obj, std::string_view text, std::vector<MetaRun>& runs) {
  if (PyUnicode_Check(obj)) return type_error("runs", "Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj)) return type_error("runs", "expected a sequence of runs");
  for (Py_ssize_t i = 0;; ++i) {
    Py_ssize_t size = sequence_size(obj, "runs");
    if (size < 0) return false;
    if (i >= size) break;
    PyObject* item = PySequence_GetItem(obj, i);
    if (!item) return false;
    MetaRun run;
    bool ok = run_arg(item, run);
    if (ok) {
      // Runs from Python are arbitrary: positions must lie on the text's character boundaries.
      if (auto fault = run_fault(text, run)) {
        PyObject* repr = PyObject_Repr(item);
        if (repr) {
          PyErr_Format(PyExc_ValueError, "run %zd %U: %s", i, repr, fault->c_str());
          Py_DECREF(repr);
        }
        ok = false;
      }
    }
    Py_DECREF(item);
    if (!ok) return false;
    runs.push_back(std::move(run));
  }
  return true;
}

}  // namespace glyphloom::py
