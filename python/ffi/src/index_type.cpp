// The class Index: one GLX1 image (the default or the caller's copy), looked up in place.
#include "binding.hpp"

namespace glyphloom::py {

namespace {

PyIndex* as_index(PyObject* self) {
  return reinterpret_cast<PyIndex*>(self);
}

PyObject* index_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* const names[] = {"data"};
  PyObject* data = Py_None;
  if (!parse_tuple(args, kwargs, {"Index", names, 1, 0}, &data)) return nullptr;
  if (!data) data = Py_None;
  return guarded([&]() -> PyObject* {
    SharedBytes bytes;
    if (data != Py_None) {
      auto copy = std::make_shared<std::string>();
      if (!bytes_arg(data, "data", *copy)) return nullptr;
      auto opened = Index::open(*copy);
      if (auto* message = std::get_if<std::string>(&opened)) {
        PyErr_SetString(PyExc_ValueError, message->c_str());
        return nullptr;
      }
      bytes = std::move(copy);
    }
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* self = alloc(type, 0);
    if (!self) return nullptr;
    new (&as_index(self)->data) SharedBytes(std::move(bytes));
    return self;
  });
}

bool table_of(uint64_t number, Table& table) {
  if (number >= kTableCount) {
    PyErr_Format(PyExc_ValueError, "no index table %llu", static_cast<unsigned long long>(number));
    return false;
  }
  table = static_cast<Table>(number);
  return true;
}

PyObject* entry_tuple(const Entry& e) {
  return tuple_of({str(e.key), str(e.text)});
}

template <class Lookup>
PyObject* with_table_args(PyObject* self, PyObject* table_obj, PyObject* key_obj, Lookup&& lookup);

// Converts (table_number[, key]) and runs `lookup` over the index's bytes.
template <class Lookup>
PyObject* with_table(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     const char* function, bool has_key, Lookup&& lookup) {
  static const char* const names[] = {"table_number", "key"};
  const int count = has_key ? 2 : 1;
  PyObject* objs[2] = {nullptr, nullptr};
  if (!parse(args, nargs, kwnames, {function, names, count, count}, objs)) return nullptr;
  return with_table_args(self, objs[0], has_key ? objs[1] : nullptr, lookup);
}

// The part of `with_table` after parsing; `key_obj` is null for the methods without a key.
template <class Lookup>
PyObject* with_table_args(PyObject* self, PyObject* table_obj, PyObject* key_obj, Lookup&& lookup) {
  uint64_t number = 0;
  std::string_view key;
  if (!u64_arg(table_obj, "table_number", number)) return nullptr;
  if (key_obj && !text_arg(key_obj, "key", key)) return nullptr;
  return guarded([&]() -> PyObject* {
    Index index = open_accepted(as_index(self)->data);
    Table table;
    if (!table_of(number, table)) return nullptr;
    return lookup(index, table, key);
  });
}

PyObject* get_text(const Index& index, Table table, std::string_view key) {
  auto text = index.get(table, key);
  if (!text) Py_RETURN_NONE;
  return str(*text);
}

PyObject* index_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_table(self, args, nargs, kwnames, "get", true, get_text);
}

PyObject* index_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_table(self, args, nargs, kwnames, "count", false,
                    [](const Index& index, Table table, std::string_view) {
                      return PyLong_FromSize_t(index.len(table));
                    });
}

PyObject* index_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_table(self, args, nargs, kwnames, "entry", true,
                    [](const Index& index, Table table, std::string_view key) -> PyObject* {
                      auto found = index.entry(table, key);
                      if (!found) Py_RETURN_NONE;
                      return entry_tuple(*found);
                    });
}

PyObject* index_entries(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  return with_table(self, args, nargs, kwnames, "entries", false,
                    [](const Index& index, Table table, std::string_view) -> PyObject* {
                      // Collected first, so a malformed record fails before any object exists.
                      std::vector<Entry> all;
                      for (const Entry& e : index.entries(table)) all.push_back(e);
                      return list_of(all, entry_tuple);
                    });
}

PyObject* index_data(PyObject* self, void*) {
  std::string_view bytes = image_of(as_index(self)->data);
  return PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
}

PyMethodDef index_methods[] = {{"get", fast(index_get), METH_FASTCALL | METH_KEYWORDS,
                                "get($self, table_number, key)\n--\n\n"},
                               {"count", fast(index_count), METH_FASTCALL | METH_KEYWORDS,
                                "count($self, table_number)\n--\n\n"},
                               {"entry", fast(index_entry), METH_FASTCALL | METH_KEYWORDS,
                                "entry($self, table_number, key)\n--\n\n"},
                               {"entries", fast(index_entries), METH_FASTCALL | METH_KEYWORDS,
                                "entries($self, table_number)\n--\n\n"},
                               {nullptr, nullptr, 0, nullptr}};

PyGetSetDef index_getset[] = {
    {"data", index_data, nullptr, "The whole image, as a new bytes object.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyType_Slot index_slots[] = {
    {Py_tp_doc, const_cast<char*>("Index(data=None)\n--\n\n"
                                  "An entity index; lookups read its bytes in place")},
    {Py_tp_new, reinterpret_cast<void*>(index_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_object<PyIndex>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_nothing)},
    {Py_tp_methods, index_methods},
    {Py_tp_getset, index_getset},
    {0, nullptr}};

PyType_Spec index_spec = {"_glyphloom.Index", sizeof(PyIndex), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, index_slots};

}  // namespace

PyObject* make_index_type() {
  return PyType_FromSpec(&index_spec);
}

// The class is final, so its instances are exactly the objects with its deallocator; this holds
// for the class of every module instance without keeping any of them in global state.
bool is_index(PyObject* obj) {
  return PyType_GetSlot(Py_TYPE(obj), Py_tp_dealloc) ==
         reinterpret_cast<void*>(dealloc_object<PyIndex>);
}

}  // namespace glyphloom::py
