#include "pyutil.hpp"

#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

namespace satvane::py {

// ---------------------------------------------------------------------------------------------
// Errors.

const char* short_type_name(PyTypeObject* type) {
  const char* dot = std::strrchr(type->tp_name, '.');
  return dot ? dot + 1 : type->tp_name;
}

std::nullptr_t raise_not_instance(PyObject* obj, const char* expected_type) {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected_type);
  } else {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'",
                 short_type_name(Py_TYPE(obj)), expected_type);
  }
  return nullptr;
}

bool from_another_module_instance(PyObject* obj, PyTypeObject* type) {
  return Py_TYPE(obj) != type && std::strcmp(Py_TYPE(obj)->tp_name, type->tp_name) == 0;
}

std::nullptr_t raise_from_another_module_instance(PyObject* obj) {
  const char* name = short_type_name(Py_TYPE(obj));
  PyErr_Format(PyExc_TypeError,
               "'%s' object is not an instance of '%s': it comes from another instance of the module "
               "satvane._satvane",
               name, name);
  return nullptr;
}

void note_parameter(const char* param) noexcept {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr) PyException_SetTraceback(value, traceback);
  // Built by the interpreter, not in a std::string: unguarded callers (attribute setters) rely
  // on this throwing nothing.
  Ref note(PyUnicode_FromFormat("while processing '%s'", param));
  Ref result(note ? PyObject_CallMethod(value, "add_note", "O", note.get()) : nullptr);
  if (!result) PyErr_Clear();
  PyErr_Restore(type, value, traceback);
}

void raise_from_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_Format(PyExc_RuntimeError, "internal error: %s", e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "internal error");
  }
}

PyObject* str_from_utf8_lossy(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// ---------------------------------------------------------------------------------------------
// Argument parsing.

namespace {

std::string quoted_list(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text.append("'").append(names[i]).append("'");
  }
  return text;
}

bool raise_missing(const Signature& sig, std::span<const Param> params, std::size_t first_index,
                   PyObject** out, const char* kind) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].required && out[first_index + i] == nullptr) missing.push_back(params[i].name);
  }
  if (missing.empty()) return true;
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required %s argument%s: %s", sig.name,
               missing.size(), kind, missing.size() == 1 ? "" : "s", quoted_list(missing).c_str());
  return false;
}

bool raise_too_many_positional(const Signature& sig, Py_ssize_t given, PyObject** out) {
  const std::size_t max = sig.positional.size();
  std::size_t min = 0;
  for (const Param& p : sig.positional) min += p.required ? 1 : 0;
  std::size_t keyword_only_given = 0;
  for (std::size_t i = 0; i < sig.keyword_only.size(); ++i)
    keyword_only_given += out[max + i] ? 1 : 0;

  std::string takes = min == max ? std::to_string(max)
                                 : "from " + std::to_string(min) + " to " + std::to_string(max);
  const bool plural = min != max || max != 1;
  std::string extra;
  if (keyword_only_given > 0) {
    extra = std::string(" positional argument") + (given != 1 ? "s" : "") + " (and " +
            std::to_string(keyword_only_given) + " keyword-only argument" +
            (keyword_only_given != 1 ? "s" : "") + ")";
  }
  PyErr_Format(PyExc_TypeError, "%s() takes %s positional argument%s but %zd%s %s given", sig.name,
               takes.c_str(), plural ? "s" : "", given, extra.c_str(),
               given == 1 && keyword_only_given == 0 ? "was" : "were");
  return false;
}

// Index of the parameter called `keyword`, or -1.
Py_ssize_t find_param(const Signature& sig, PyObject* keyword) {
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(keyword, &length);
  if (text == nullptr) {
    PyErr_Clear();
    return -1;
  }
  const std::string_view name(text, static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < sig.positional.size(); ++i) {
    if (sig.positional[i].name == name) return static_cast<Py_ssize_t>(i);
  }
  for (std::size_t i = 0; i < sig.keyword_only.size(); ++i) {
    if (sig.keyword_only[i].name == name) return static_cast<Py_ssize_t>(sig.positional.size() + i);
  }
  return -1;
}

}  // namespace

bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject** out) {
  const std::size_t n_positional = sig.positional.size();
  for (std::size_t i = 0; i < sig.size(); ++i) out[i] = nullptr;
  for (std::size_t i = 0; i < n_positional && static_cast<Py_ssize_t>(i) < nargs; ++i)
    out[i] = args[i];

  const Py_ssize_t n_keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < n_keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    const Py_ssize_t index = find_param(sig, keyword);
    if (index < 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", sig.name,
                   keyword);
      return false;
    }
    if (out[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%S'", sig.name,
                   keyword);
      return false;
    }
    out[index] = args[nargs + k];
  }
  if (static_cast<std::size_t>(nargs) > n_positional)
    return raise_too_many_positional(sig, nargs, out);
  return raise_missing(sig, sig.positional, 0, out, "positional") &&
         raise_missing(sig, sig.keyword_only, n_positional, out, "keyword-only");
}

PyObject* call_fast_constructor(FastConstructor make, PyTypeObject* type, PyObject* args,
                                PyObject* kwargs) {
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  const Py_ssize_t n_keywords = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
  std::vector<PyObject*> stack(static_cast<std::size_t>(nargs + n_keywords));
  for (Py_ssize_t i = 0; i < nargs; ++i)
    stack[static_cast<std::size_t>(i)] = PyTuple_GET_ITEM(args, i);
  if (n_keywords == 0) return make(type, stack.data(), nargs, nullptr);

  Ref kwnames(PyTuple_New(n_keywords));
  if (!kwnames) return nullptr;
  Py_ssize_t pos = 0;
  Py_ssize_t k = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &pos, &key, &value)) {
    if (!PyUnicode_Check(key)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return nullptr;
    }
    PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
    stack[static_cast<std::size_t>(nargs + k)] = value;
    ++k;
  }
  return make(type, stack.data(), nargs, kwnames.get());
}

int add_static_methods(PyTypeObject* type, PyMethodDef* methods) {
  for (PyMethodDef* def = methods; def->ml_name != nullptr; ++def) {
    PyObject* module = PyType_GetModule(type);
    if (module == nullptr) return -1;
    Ref function(PyCFunction_NewEx(def, module, nullptr));
    if (!function) return -1;
    Ref method(PyStaticMethod_New(function.get()));
    if (!method || PyDict_SetItemString(type->tp_dict, def->ml_name, method.get()) < 0) return -1;
  }
  PyType_Modified(type);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// SipHash-1-3.

namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

void sip_round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) {
  v0 += v1;
  v1 = rotl(v1, 13);
  v1 ^= v0;
  v0 = rotl(v0, 32);
  v2 += v3;
  v3 = rotl(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = rotl(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = rotl(v1, 17);
  v1 ^= v2;
  v2 = rotl(v2, 32);
}

}  // namespace

void SipHasher13::compress(std::uint64_t word) {
  v3_ ^= word;
  sip_round(v0_, v1_, v2_, v3_);
  v0_ ^= word;
}

void SipHasher13::write_u8(std::uint8_t byte) {
  tail_ |= std::uint64_t(byte) << (8 * tail_len_);
  ++length_;
  if (++tail_len_ == 8) {
    compress(tail_);
    tail_ = 0;
    tail_len_ = 0;
  }
}

void SipHasher13::write(std::string_view bytes) {
  std::size_t i = 0;
  while (tail_len_ != 0 && i < bytes.size()) write_u8(static_cast<std::uint8_t>(bytes[i++]));
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word = 0;
    for (int b = 7; b >= 0; --b)
      word = (word << 8) | static_cast<std::uint8_t>(bytes[i + std::size_t(b)]);
    compress(word);
    length_ += 8;
  }
  for (; i < bytes.size(); ++i) write_u8(static_cast<std::uint8_t>(bytes[i]));
}

void SipHasher13::write_u64(std::uint64_t value) {
  for (int b = 0; b < 8; ++b) write_u8(static_cast<std::uint8_t>(value >> (8 * b)));
}

std::uint64_t SipHasher13::finish() const {
  std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  const std::uint64_t last = (length_ << 56) | tail_;
  v3 ^= last;
  sip_round(v0, v1, v2, v3);
  v0 ^= last;
  v2 ^= 0xFF;
  for (int i = 0; i < 3; ++i) sip_round(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

// ---------------------------------------------------------------------------------------------
// Enumerations.

PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  if (Py_TYPE(other) == Py_TYPE(self))
    return comparison_result(enum_value(self) == enum_value(other), op);
  if (!PyLong_Check(other)) Py_RETURN_NOTIMPLEMENTED;
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(other, &overflow);
  return comparison_result(overflow == 0 && number == static_cast<long long>(enum_value(self)), op);
}

// hash(int(member)): a small non-negative int hashes to itself.
Py_hash_t enum_hash(PyObject* self) { return static_cast<Py_hash_t>(enum_value(self)); }

PyObject* enum_int(PyObject* self) { return PyLong_FromUnsignedLong(enum_value(self)); }

PyObject* enum_repr_of(const EnumInfo& info, PyObject* self) {
  return PyUnicode_FromFormat("%s.%s", info.name, info.members[enum_value(self)]);
}

int enum_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return 0;
}

void enum_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  type->tp_free(self);
  Py_DECREF(type);
}

int enum_ready(const EnumInfo& info, ModuleState& state, PyTypeObject* type) {
  PyObject** members = state.enum_members[static_cast<unsigned>(info.id)];
  for (unsigned value = 0; value < info.count; ++value) {
    PyObject* member = type->tp_alloc(type, 0);
    if (member == nullptr) return -1;
    reinterpret_cast<EnumObject*>(member)->value = value;
    members[value] = member;
    // The class is immutable from Python, so its members go straight into its dict.
    if (PyDict_SetItemString(type->tp_dict, info.members[value], member) < 0) return -1;
  }
  PyType_Modified(type);
  return 0;
}

}  // namespace satvane::py
