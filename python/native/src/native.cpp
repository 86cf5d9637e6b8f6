// The module glyphloom._native: the package's hot paths in one call each, over the same core as
// _glyphloom. Markup becomes a str (or the package's ConversionError, placed by the core), text
// becomes markup, tagged text becomes runs with byte and character offsets, and markup becomes
// HTML without a trip through Python in between.
//
// The package hands in, once, the Python pieces these calls build: its error and warning
// factories and its record types (`configure`). The default index is converted by a core of each
// thread's own, so calls from several threads never wait on one another; another index gets a
// core for the call.
#include <algorithm>
#include <cstring>
#include <variant>

#include "binding.hpp"
#include "converter/effects_html.hpp"
#include "text/bytes.hpp"

namespace glyphloom::py {

namespace {

// What `configure` hands in, and _glyphloom's Index type, kept for the life of the process.
struct Package {
  // (kind, detail, message or None, byte, line, column, index, short): `index` as the call was
  // given it, `short` whether the failure is at a short reference.
  PyObject* make_error = nullptr;
  PyObject* make_warning = nullptr;      // (message, byte, line, column, index, short)
  PyObject* run_type = nullptr;          // (key, value, start, end, byte, char_start, char_end)
  PyObject* run_warning_type = nullptr;  // (message, byte)
  PyObject* styled_type = nullptr;       // (text, runs, warnings)
  PyObject* warn = nullptr;              // warnings.warn
  PyObject* index_type = nullptr;
  PyObject* converter_type = nullptr;
};
Package package;

const Glyphloom& default_core() {
  thread_local const Glyphloom core(open_accepted(nullptr));
  return core;
}

// The index argument: None for the default index, or an _glyphloom.Index.
bool index_arg(PyObject* obj, std::optional<Glyphloom>& own, const Glyphloom*& core) {
  if (!obj || obj == Py_None) {
    core = &default_core();
    return true;
  }
  if (!package.index_type ||
      !PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(package.index_type))) {
    return type_error("index", "expected Index or None");
  }
  own.emplace(open_accepted(reinterpret_cast<PyIndex*>(obj)->data));
  core = &*own;
  return true;
}

bool configured() {
  if (package.make_error) return true;
  PyErr_SetString(PyExc_RuntimeError, "glyphloom._native is used through the glyphloom package");
  return false;
}

// (line, column) of a byte offset of `text`, both from 1; the column counts characters. Lines
// are found by memchr and characters counted by a loop the compiler vectorises: a failure at the
// end of a long source is placed in a few microseconds, not in a walk of its bytes one by one.
std::pair<size_t, size_t> place(std::string_view text, size_t byte) {
  byte = std::min(byte, text.size());
  const char* const begin = text.data();
  const char* const end = begin + byte;
  const char* line_start = begin;
  size_t line = 1;
  while (const void* newline =
             std::memchr(line_start, '\n', static_cast<size_t>(end - line_start))) {
    line_start = static_cast<const char*>(newline) + 1;
    ++line;
  }
  size_t column = 1;
  for (const char* p = line_start; p < end; ++p) column += !glyphloom::text::is_continuation(*p);
  return {line, column};
}

PyObject* call(PyObject* callable, std::initializer_list<PyObject*> items) {
  PyObject* args = tuple_of(items);
  if (!args) return nullptr;
  PyObject* result = PyObject_Call(callable, args, nullptr);
  Py_DECREF(args);
  return result;
}

PyObject* index_or_none(PyObject* index) {
  return Py_NewRef(index ? index : Py_None);
}

PyObject* at_short_reference(std::string_view source, size_t byte) {
  return PyBool_FromLong(source.substr(std::min(byte, source.size())).starts_with("\\:"));
}

PyObject* placed_warning(std::string_view source, const Warning& warning, PyObject* index) {
  const auto [line, column] = place(source, warning.byte);
  return call(
      package.make_warning,
      {str(warning.message), PyLong_FromSize_t(warning.byte), PyLong_FromSize_t(line),
       PyLong_FromSize_t(column), index_or_none(index), at_short_reference(source, warning.byte)});
}

// Raises the package's error for a failure of converting `source`.
PyObject* raise_failure(std::string_view source, const Failure& failure, PyObject* index) {
  struct Parts {
    const char* kind;
    std::string_view detail;
    const Warning* warning;
  };
  const Parts parts = std::visit(
      [](const auto& e) -> Parts {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, UnknownEntity>) return {"UnknownEntity", e.name, nullptr};
        if constexpr (std::is_same_v<E, Unclosed>) return {"Unclosed", e.rest, nullptr};
        if constexpr (std::is_same_v<E, InvalidMeta>) return {"InvalidMeta", e.content, nullptr};
        if constexpr (std::is_same_v<E, Unsupported>) {
          return {"Unsupported", e.warning.message, &e.warning};
        }
      },
      failure.error);
  const auto [line, column] = place(source, failure.byte);
  PyObject* error =
      call(package.make_error,
           {str(parts.kind), str(parts.detail),
            parts.warning ? str(parts.warning->message) : Py_NewRef(Py_None),
            PyLong_FromSize_t(failure.byte), PyLong_FromSize_t(line), PyLong_FromSize_t(column),
            index_or_none(index), at_short_reference(source, failure.byte)});
  if (error) {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error)), error);
    Py_DECREF(error);
  }
  return nullptr;
}

// Issues each finding through warnings.warn, placed in `source` and attributed `stacklevel`
// frames up from the innermost Python one; false when one raised (a filter set to "error").
bool issue(std::string_view source, const std::vector<Warning>& warnings, PyObject* index,
           long stacklevel) {
  for (const Warning& warning : warnings) {
    PyObject* placed = placed_warning(source, warning, index);
    PyObject* done =
        placed ? call(package.warn, {placed, Py_NewRef(Py_None), PyLong_FromLong(stacklevel)})
               : nullptr;
    if (!done) return false;
    Py_DECREF(done);
  }
  return true;
}

// The arguments (source or text, [mode,] index[, stacklevel]) shared by the calls. `stacklevel`
// is for the package's own wrappers, whose callers the warnings are about.
struct Call {
  std::string_view text;
  WarningMode mode = WarningMode::Warn;
  PyObject* index = nullptr;  // as given
  long stacklevel = 1;
  bool effects = true;
  std::optional<Glyphloom> own;
  const Glyphloom* core = nullptr;

  bool parsed(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* function,
              const char* first, bool has_mode, bool renders) {
    const char* const with_mode[] = {first, "mode", "index", "effects", "stacklevel"};
    const char* const without_mode[] = {first, "index", "effects", "stacklevel"};
    const int base = has_mode ? 3 : 2;
    const int count = base + (renders ? 2 : 0);
    PyObject* objs[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    if (!configured() ||
        !parse(args, nargs, kwnames, {function, has_mode ? with_mode : without_mode, count, 1},
               objs) ||
        !text_arg(objs[0], first, text)) {
      return false;
    }
    if (has_mode && objs[1] && !mode_arg(objs[1], mode)) return false;
    if (renders && objs[base]) {
      const int truth = PyObject_IsTrue(objs[base]);
      if (truth < 0) return false;
      effects = truth == 1;
    }
    if (renders && objs[base + 1]) {
      stacklevel = PyLong_AsLong(objs[base + 1]);
      if (stacklevel == -1 && PyErr_Occurred()) return false;
    }
    index = objs[base - 1];
    return index_arg(index, own, core);
  }

  // The HTML of styled text, with its effects shown or not.
  PyObject* rendered(const Styled& styled) const {
    return str(effects ? detail::effects_html(*core, styled) : core->html(styled));
  }

  // The conversion of `text`, its findings issued; null with the error raised when it failed.
  const Converted* converted(std::variant<Converted, Failure>& result) const {
    result = core->convert_located(text, mode);
    if (auto* failure = std::get_if<Failure>(&result)) {
      raise_failure(text, *failure, index);
      return nullptr;
    }
    return &std::get<Converted>(result);
  }

  // The HTML of tagged text; the run splitter's findings are issued, placed in that text.
  PyObject* html_of(std::string_view tagged) const {
    const Styled styled = core->meta_runs(tagged);
    if (!styled.warnings.empty() && !issue(tagged, styled.warnings, index, stacklevel)) {
      return nullptr;
    }
    return rendered(styled);
  }
};

PyObject* fn_convert(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "convert", "source", true, false)) return nullptr;
    std::variant<Converted, Failure> result;
    const Converted* done = c.converted(result);
    if (!done || (!done->warnings.empty() && !issue(c.text, done->warnings, c.index, 1))) {
      return nullptr;
    }
    return str(done->text);
  });
}

PyObject* fn_convert_with_warnings(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "convert_with_warnings", "source", true, false)) {
      return nullptr;
    }
    std::variant<Converted, Failure> result;
    const Converted* done = c.converted(result);
    if (!done) return nullptr;
    return tuple_of({str(done->text), list_of(done->warnings, [&](const Warning& w) {
                       return placed_warning(c.text, w, c.index);
                     })});
  });
}

PyObject* fn_to_glyphloom(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "to_glyphloom", "text", false, false)) return nullptr;
    return str(c.core->to_glyphloom(c.text));
  });
}

// The package's Styled of `styled`: runs with the character offsets of their bytes.
PyObject* styled_object(const Styled& styled) {
  // Run bounds ascend by start; each is turned into characters by counting from the last one.
  std::vector<size_t> bounds;
  bounds.reserve(2 * styled.runs.size());
  for (const MetaRun& run : styled.runs) {
    bounds.push_back(run.start);
    bounds.push_back(run.end);
  }
  std::vector<size_t> sorted = bounds;
  std::sort(sorted.begin(), sorted.end());
  std::vector<size_t> chars(sorted.size());
  size_t byte = 0, count = 0;
  for (size_t k = 0; k < sorted.size(); ++k) {
    const size_t to = std::min(sorted[k], styled.text.size());
    for (; byte < to; ++byte) count += !glyphloom::text::is_continuation(styled.text[byte]);
    chars[k] = count;
  }
  const auto char_of = [&](size_t b) {
    return PyLong_FromSize_t(
        chars[std::lower_bound(sorted.begin(), sorted.end(), b) - sorted.begin()]);
  };
  PyObject* runs = list_of(styled.runs, [&](const MetaRun& run) {
    return call(package.run_type, {str(run.key), str(run.value), PyLong_FromSize_t(run.start),
                                   PyLong_FromSize_t(run.end), PyLong_FromSize_t(run.byte),
                                   char_of(run.start), char_of(run.end)});
  });
  PyObject* warnings = list_of(styled.warnings, [](const Warning& w) {
    return call(package.run_warning_type, {str(w.message), PyLong_FromSize_t(w.byte)});
  });
  return call(package.styled_type, {str(styled.text), runs, warnings});
}

PyObject* fn_meta_runs(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "meta_runs", "text", false, false)) return nullptr;
    return styled_object(c.core->meta_runs(c.text));
  });
}

PyObject* fn_markup_html(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "markup_html", "source", true, true)) return nullptr;
    std::variant<Converted, Failure> result;
    const Converted* done = c.converted(result);
    if (!done ||
        (!done->warnings.empty() && !issue(c.text, done->warnings, c.index, c.stacklevel))) {
      return nullptr;
    }
    return c.html_of(done->text);
  });
}

PyObject* fn_text_html(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    Call c;
    if (!c.parsed(args, nargs, kwnames, "text_html", "text", false, true)) return nullptr;
    return c.html_of(c.text);
  });
}

PyObject* fn_runs_html(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    static const char* const names[] = {"text", "runs", "index", "effects"};
    PyObject* objs[4] = {nullptr, nullptr, nullptr, nullptr};
    Call c;
    if (!configured() || !parse(args, nargs, kwnames, {"runs_html", names, 4, 2}, objs) ||
        !text_arg(objs[0], "text", c.text)) {
      return nullptr;
    }
    Styled styled;
    if (!runs_arg(objs[1], c.text, styled.runs)) return nullptr;
    if (objs[3]) {
      const int truth = PyObject_IsTrue(objs[3]);
      if (truth < 0) return nullptr;
      c.effects = truth == 1;
    }
    c.index = objs[2];
    if (!index_arg(c.index, c.own, c.core)) return nullptr;
    styled.text = std::string(c.text);
    return c.rendered(styled);
  });
}

// The image an Index or Converter reads: None for the default one, else its bytes. This is how
// the package pickles them.
PyObject* fn_image_of(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"obj"};
  PyObject* obj = nullptr;
  if (!configured() || !parse(args, nargs, kwnames, {"image_of", names, 1, 1}, &obj)) {
    return nullptr;
  }
  const SharedBytes* data = nullptr;
  if (PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(package.index_type))) {
    data = &reinterpret_cast<PyIndex*>(obj)->data;
  } else if (PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(package.converter_type))) {
    data = &reinterpret_cast<PyConverter*>(obj)->data;
  } else {
    type_error("obj", "expected Index or Converter");
    return nullptr;
  }
  if (!*data) Py_RETURN_NONE;
  return PyBytes_FromStringAndSize((*data)->data(), static_cast<Py_ssize_t>((*data)->size()));
}

// _glyphloom's internal-error class, which it does not name: met by reading a table of an image
// that has none.
PyObject* internal_error_of(PyObject* index_type) {
  PyObject* empty = PyObject_CallFunction(index_type, "y#", "GLX1\x05\0\0\0", Py_ssize_t{8});
  PyObject* count = empty ? PyObject_CallMethod(empty, "count", "i", 0) : nullptr;
  Py_XDECREF(empty);
  if (count) {
    Py_DECREF(count);
    PyErr_SetString(PyExc_RuntimeError, "_glyphloom raised no internal error");
    return nullptr;
  }
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  return type;
}

PyObject* fn_configure(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"make_error", "make_warning", "run", "run_warning", "styled"};
  PyObject* objs[5];
  if (!parse(args, nargs, kwnames, {"configure", names, 5, 5}, objs)) return nullptr;
  for (PyObject* obj : objs) {
    if (!PyCallable_Check(obj)) {
      PyErr_SetString(PyExc_TypeError, "configure() takes callables");
      return nullptr;
    }
  }
  PyObject* warnings = PyImport_ImportModule("warnings");
  PyObject* core = warnings ? PyImport_ImportModule("_glyphloom") : nullptr;
  PyObject* warn = warnings ? PyObject_GetAttrString(warnings, "warn") : nullptr;
  PyObject* index_type = core ? PyObject_GetAttrString(core, "Index") : nullptr;
  PyObject* converter_type = core ? PyObject_GetAttrString(core, "Converter") : nullptr;
  PyObject* internal = index_type ? internal_error_of(index_type) : nullptr;
  Py_XDECREF(warnings);
  Py_XDECREF(core);
  if (!warn || !index_type || !converter_type || !internal) {
    Py_XDECREF(warn);
    Py_XDECREF(index_type);
    Py_XDECREF(converter_type);
    Py_XDECREF(internal);
    return nullptr;
  }
  // Set once for the process; a second call (a reloaded package) replaces the pieces.
  for (PyObject** slot : {&package.make_error, &package.make_warning, &package.run_type,
                          &package.run_warning_type, &package.styled_type}) {
    Py_XDECREF(*slot);
  }
  Py_XDECREF(package.warn);
  Py_XDECREF(package.index_type);
  Py_XDECREF(package.converter_type);
  package = Package{Py_NewRef(objs[0]), Py_NewRef(objs[1]), Py_NewRef(objs[2]),
                    Py_NewRef(objs[3]), Py_NewRef(objs[4]), warn,
                    index_type,         converter_type};
  use_internal_error_type(internal);
  Py_RETURN_NONE;
}

PyMethodDef functions[] = {
    {"convert", fast(fn_convert), METH_FASTCALL | METH_KEYWORDS,
     "convert(source, mode='warn', index=None)\n--\n\n"
     "Converts glyphloom markup into text.\n\n"
     "``mode`` is \"warn\" (findings are warnings; unknown names and unclosed tags are errors),\n"
     "\"error\" (every finding is an error) or \"lenient\" (nothing is an error: what cannot be\n"
     "converted stays in the text, with a warning). Errors raise a ``ConversionError``; warnings\n"
     "are issued as ``GlyphloomWarning`` through the ``warnings`` module."},
    {"convert_with_warnings", fast(fn_convert_with_warnings), METH_FASTCALL | METH_KEYWORDS,
     "convert_with_warnings(source, mode='warn', index=None)\n--\n\n"
     "As ``convert``, but returns the warnings with the text instead of issuing them."},
    {"to_glyphloom", fast(fn_to_glyphloom), METH_FASTCALL | METH_KEYWORDS,
     "to_glyphloom(text, index=None)\n--\n\n"
     "Writes text (with any metas it carries) as glyphloom markup."},
    {"meta_runs", fast(fn_meta_runs), METH_FASTCALL | METH_KEYWORDS,
     "meta_runs(text, index=None)\n--\n\n"
     "Splits converted text into its plain text and the runs of its metas."},
    {"markup_html", fast(fn_markup_html), METH_FASTCALL | METH_KEYWORDS,
     "markup_html(source, mode='warn', index=None, effects=True, stacklevel=1)\n--\n\n"
     "The HTML fragment of markup: converted, split into runs and rendered."},
    {"text_html", fast(fn_text_html), METH_FASTCALL | METH_KEYWORDS,
     "text_html(text, index=None, effects=True, stacklevel=1)\n--\n\n"
     "The HTML fragment of converted text, as it stands."},
    {"runs_html", fast(fn_runs_html), METH_FASTCALL | METH_KEYWORDS,
     "runs_html(text, runs, index=None, effects=True)\n--\n\n"
     "The HTML fragment of plain text and its runs."},
    {"image_of", fast(fn_image_of), METH_FASTCALL | METH_KEYWORDS,
     "image_of(obj)\n--\n\n"
     "The image of an Index or Converter as bytes, or None for the default image."},
    {"configure", fast(fn_configure), METH_FASTCALL | METH_KEYWORDS,
     "configure(make_error, make_warning, run, run_warning, styled)\n--\n\n"
     "Hands in the package's error and warning factories and record types."},
    {nullptr, nullptr, 0, nullptr}};

PyModuleDef_Slot slots[] = {{0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "glyphloom._native",
                          "The hot paths of the glyphloom package, over the C++ core.",
                          0,
                          functions,
                          slots,
                          nullptr,
                          nullptr,
                          nullptr};

}  // namespace

}  // namespace glyphloom::py

extern "C" PyMODINIT_FUNC PyInit__native(void) {
  return PyModuleDef_Init(&glyphloom::py::module_def);
}
