// The module _glyphloom: multi-phase initialisation, no per-module state.
#include "binding.hpp"

namespace glyphloom::py {

namespace {

PyObject* fn_text_hash(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const char* const names[] = {"text"};
  PyObject* obj = nullptr;
  std::string_view text;
  if (!parse(args, nargs, kwnames, {"text_hash", names, 1, 1}, &obj) ||
      !text_arg(obj, "text", text)) {
    return nullptr;
  }
  return PyLong_FromUnsignedLong(text_hash(text));
}

PyMethodDef text_hash_def[] = {
    {"text_hash", fast(fn_text_hash), METH_FASTCALL | METH_KEYWORDS, "text_hash(text)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr}};

int add_type(PyObject* module, const char* name, PyObject* type) {
  if (!type) return -1;
  int status = PyModule_AddObjectRef(module, name, type);
  Py_DECREF(type);
  return status;
}

// Registers the module's contents in their fixed order, stopping at the first failure.
int exec_module(PyObject* module) {
  if (add_type(module, "Index", make_index_type()) < 0) return -1;
  if (add_type(module, "Converter", make_converter_type()) < 0) return -1;
  if (add_meta_functions(module) < 0) return -1;
  if (PyModule_AddFunctions(module, text_hash_def) < 0) return -1;
  PyObject* version = str(kGlyphloomVersion);
  if (!version) return -1;
  int status = PyModule_AddObjectRef(module, "GLYPHLOOM_VERSION", version);
  Py_DECREF(version);
  return status;
}

PyModuleDef_Slot module_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)},
                                   {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_glyphloom", "",      0,      nullptr,
                          module_slots,          nullptr,      nullptr, nullptr};

}  // namespace

}  // namespace glyphloom::py

extern "C" PyMODINIT_FUNC PyInit__glyphloom(void) {
  return PyModuleDef_Init(&glyphloom::py::module_def);
}
