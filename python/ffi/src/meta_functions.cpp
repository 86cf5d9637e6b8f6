// Module functions that need no index: the header parser and the meta codec.
#include "binding.hpp"

namespace glyphloom::py {

namespace {

constexpr std::pair<std::string_view, MetaKind> kKinds[] = {
    {"open", MetaKind::Open}, {"close", MetaKind::Close}, {"attached", MetaKind::Attached}};

std::string_view kind_name(MetaKind kind) {
  for (const auto& [word, value] : kKinds) {
    if (value == kind) return word;
  }
  return {};
}

PyObject* fn_header(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"source"};
  PyObject* obj = nullptr;
  std::string_view source;
  if (!parse(args, nargs, kwnames, {"header", names, 1, 1}, &obj) ||
      !text_arg(obj, "source", source)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    auto found = header(source);
    if (!found) Py_RETURN_NONE;
    return tuple_of({str(found->version), PyLong_FromSize_t(found->length)});
  });
}

// (kind, key, value) → the meta, then `render` it.
template <class Render>
PyObject* with_meta(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    const char* function, Render&& render) {
  static const char* const names[] = {"kind", "key", "value"};
  PyObject* objs[3];
  std::string_view kind_text, key, value;
  MetaKind kind;
  if (!parse(args, nargs, kwnames, {function, names, 3, 3}, objs) ||
      !text_arg(objs[0], "kind", kind_text) || !text_arg(objs[1], "key", key) ||
      !text_arg(objs[2], "value", value) ||
      !choice_arg(kind_text, kKinds, "unknown meta kind", kind)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    Meta meta{kind, std::string(key), kind == MetaKind::Close ? std::string() : std::string(value)};
    return str(render(meta));
  });
}

PyObject* fn_meta_tags(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_meta(args, nargs, kwnames, "meta_tags", [](const Meta& m) { return m.tags(); });
}

PyObject* fn_meta_glyphloom(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_meta(args, nargs, kwnames, "meta_glyphloom",
                   [](const Meta& m) { return m.glyphloom(); });
}

PyObject* fn_meta_at(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"text"};
  PyObject* obj = nullptr;
  std::string_view text;
  if (!parse(args, nargs, kwnames, {"meta_at", names, 1, 1}, &obj) ||
      !text_arg(obj, "text", text)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    auto found = meta_at(text);
    if (!found) Py_RETURN_NONE;
    const Meta& m = found->meta;
    return tuple_of({tuple_of({str(kind_name(m.kind)), str(m.key), str(m.value)}),
                     PyLong_FromSize_t(found->length)});
  });
}

// One definition list per function, so that each is added in its own place of the module.
PyMethodDef header_def[] = {
    {"header", fast(fn_header), METH_FASTCALL | METH_KEYWORDS,
     "header(source)\n--\n\n(version, length) of the header at the start of the source"},
    {nullptr, nullptr, 0, nullptr}};
PyMethodDef meta_tags_def[] = {{"meta_tags", fast(fn_meta_tags), METH_FASTCALL | METH_KEYWORDS,
                                "meta_tags(kind, key, value)\n--\n\n"
                                "The TAG sequence of a meta: kind `open`, `close` or `attached`"},
                               {nullptr, nullptr, 0, nullptr}};
PyMethodDef meta_glyphloom_def[] = {
    {"meta_glyphloom", fast(fn_meta_glyphloom), METH_FASTCALL | METH_KEYWORDS,
     "meta_glyphloom(kind, key, value)\n--\n\n"
     "The glyphloom of a meta: `<:font han-japanese>`, `<:/font>`, `color red`"},
    {nullptr, nullptr, 0, nullptr}};
PyMethodDef meta_at_def[] = {
    {"meta_at", fast(fn_meta_at), METH_FASTCALL | METH_KEYWORDS,
     "meta_at(text)\n--\n\n"
     "(kind, key, value) of the meta sequence at the start of the text and its byte length"},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace

int add_meta_functions(PyObject* module) {
  for (PyMethodDef* def : {header_def, meta_tags_def, meta_glyphloom_def, meta_at_def}) {
    if (PyModule_AddFunctions(module, def) < 0) return -1;
  }
  return 0;
}

}  // namespace glyphloom::py
