// The class Converter: one core converter over an index's bytes, behind a lock that an internal
// error poisons.
#include "binding.hpp"

namespace glyphloom::py {

namespace {

PyConverter* as_converter(PyObject* self) {
  return reinterpret_cast<PyConverter*>(self);
}

PyObject* converter_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* const names[] = {"index"};
  PyObject* index = nullptr;
  if (!parse_tuple(args, kwargs, {"Converter", names, 1, 1}, &index)) return nullptr;
  if (!is_index(index)) {
    type_error("index", "expected Index");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    SharedBytes data = reinterpret_cast<PyIndex*>(index)->data;
    Index view = open_accepted(data);
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (!self) return nullptr;
    PyConverter* c = as_converter(self);
    new (&c->data) SharedBytes(std::move(data));
    new (&c->core) std::optional<Glyphloom>(std::in_place, view);
    new (&c->lock) std::mutex();
    c->poisoned = false;
    return self;
  });
}

// Runs `op` on the core under the converter's lock, then builds the Python result from its
// owned value after the lock is released. An internal error poisons the lock for good.
template <class Op, class Build>
PyObject* with_core(PyObject* self, Op&& op, Build&& build) {
  return guarded([&]() -> PyObject* {
    PyConverter* c = as_converter(self);
    std::unique_lock<std::mutex> guard(c->lock);
    if (c->poisoned) throw InternalError("converter lock: poisoned by an earlier internal error");
    using Value = decltype(op(*c->core));
    std::optional<Value> value;
    try {
      value.emplace(op(*c->core));
    } catch (const InternalError&) {
      c->poisoned = true;
      throw;
    }
    guard.unlock();
    return build(*value);
  });
}

PyObject* error_tuple(const Error& error) {
  struct Visitor {
    PyObject* operator()(const UnknownEntity& e) const {
      return tuple_of({str("UnknownEntity"), str(e.name), Py_NewRef(Py_None)});
    }
    PyObject* operator()(const Unclosed& e) const {
      return tuple_of({str("Unclosed"), str(e.rest), Py_NewRef(Py_None)});
    }
    PyObject* operator()(const InvalidMeta& e) const {
      return tuple_of({str("InvalidMeta"), str(e.content), Py_NewRef(Py_None)});
    }
    PyObject* operator()(const Unsupported& e) const {
      return tuple_of({str("Unsupported"), str(e.warning.message), warning_tuple(e.warning)});
    }
  };
  return std::visit(Visitor{}, error);
}

PyObject* converter_convert(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  static const char* const names[] = {"source", "mode"};
  PyObject* objs[2];
  std::string_view source;
  WarningMode mode;
  if (!parse(args, nargs, kwnames, {"convert", names, 2, 2}, objs) ||
      !text_arg(objs[0], "source", source) || !mode_arg(objs[1], mode)) {
    return nullptr;
  }
  return with_core(
      self, [&](const Glyphloom& core) { return core.convert(source, mode); },
      [](const Result<Converted>& result) -> PyObject* {
        if (const auto* error = std::get_if<Error>(&result)) {
          return tuple_of({Py_NewRef(Py_None), PyList_New(0), error_tuple(*error)});
        }
        const Converted& done = std::get<Converted>(result);
        return tuple_of(
            {str(done.text), list_of(done.warnings, warning_tuple), Py_NewRef(Py_None)});
      });
}

// Methods of one text argument.
template <class Op, class Build>
PyObject* one_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   const char* function, const char* name, Op&& op, Build&& build) {
  const char* const names[] = {name};
  PyObject* obj = nullptr;
  std::string_view text;
  if (!parse(args, nargs, kwnames, {function, names, 1, 1}, &obj) || !text_arg(obj, name, text)) {
    return nullptr;
  }
  return with_core(
      self, [&](const Glyphloom& core) { return op(core, text); }, build);
}

PyObject* converter_to_glyphloom(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  return one_text(
      self, args, nargs, kwnames, "to_glyphloom", "text",
      [](const Glyphloom& core, std::string_view text) { return core.to_glyphloom(text); },
      [](const std::string& markup) { return str(markup); });
}

PyObject* run_tuple(const MetaRun& run) {
  return tuple_of({str(run.key), str(run.value), PyLong_FromSize_t(run.start),
                   PyLong_FromSize_t(run.end), PyLong_FromSize_t(run.byte)});
}

PyObject* converter_meta_runs(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  return one_text(
      self, args, nargs, kwnames, "meta_runs", "tagged",
      [](const Glyphloom& core, std::string_view text) { return core.meta_runs(text); },
      [](const Styled& styled) {
        return tuple_of({str(styled.text), list_of(styled.runs, run_tuple),
                         list_of(styled.warnings, warning_tuple)});
      });
}

PyObject* converter_font(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return one_text(
      self, args, nargs, kwnames, "font", "name",
      [](const Glyphloom& core, std::string_view name) { return core.font(name); },
      [](const std::optional<Font>& font) -> PyObject* {
        if (!font) Py_RETURN_NONE;
        return tuple_of({str(font->name), str(font->lang), list_of_str(font->families),
                         list_of_str(font->features)});
      });
}

PyObject* converter_meta_template(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  return one_text(
      self, args, nargs, kwnames, "meta_template", "key",
      [](const Glyphloom& core, std::string_view key) { return core.meta_template(key); },
      [](const std::optional<std::string_view>& text) -> PyObject* {
        if (!text) Py_RETURN_NONE;
        return str(*text);
      });
}

PyObject* converter_html(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  static const char* const names[] = {"text", "runs"};
  PyObject* objs[2];
  std::string_view text;
  Styled styled;
  if (!parse(args, nargs, kwnames, {"html", names, 2, 2}, objs) ||
      !text_arg(objs[0], "text", text)) {
    return nullptr;
  }
  try {
    if (!runs_arg(objs[1], text, styled.runs)) return nullptr;
    styled.text = std::string(text);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  return with_core(
      self, [&](const Glyphloom& core) { return core.html(styled); },
      [](const std::string& html) { return str(html); });
}

PyMethodDef converter_methods[] = {
    {"convert", fast(converter_convert), METH_FASTCALL | METH_KEYWORDS,
     "convert($self, source, mode)\n--\n\n(text, warnings, None) or (None, [], error)"},
    {"to_glyphloom", fast(converter_to_glyphloom), METH_FASTCALL | METH_KEYWORDS,
     "to_glyphloom($self, text)\n--\n\n"},
    {"meta_runs", fast(converter_meta_runs), METH_FASTCALL | METH_KEYWORDS,
     "meta_runs($self, tagged)\n--\n\n(plain text, runs, warnings)"},
    {"html", fast(converter_html), METH_FASTCALL | METH_KEYWORDS,
     "html($self, text, runs)\n--\n\n"},
    {"font", fast(converter_font), METH_FASTCALL | METH_KEYWORDS,
     "font($self, name)\n--\n\n(name, lang, families, features)"},
    {"meta_template", fast(converter_meta_template), METH_FASTCALL | METH_KEYWORDS,
     "meta_template($self, key)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot converter_slots[] = {
    {Py_tp_doc, const_cast<char*>("Converter(index)\n--\n\nA converter over one index")},
    {Py_tp_new, reinterpret_cast<void*>(converter_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<PyConverter>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_nothing)},
    {Py_tp_methods, converter_methods},
    {0, nullptr}};

PyType_Spec converter_spec = {"_glyphloom.Converter", sizeof(PyConverter), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, converter_slots};

}  // namespace

PyObject* make_converter_type() {
  return PyType_FromSpec(&converter_spec);
}

}  // namespace glyphloom::py
