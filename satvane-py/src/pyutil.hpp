// Building blocks shared by every class of the extension module.
//
// Declaring a class with them (see tle.cpp for a value class, elements.cpp for an enumeration):
//
//   1. Every class has its slot in SATVANE_PY_CLASSES (module.hpp) and in the class table
//      (lib.cpp), which names `const ClassDef Name_class{&type_spec, ready}`, defined in the
//      class's source file.
//   2. Value classes wrap a plain C++ record `T` in `Boxed<T>`: `box(type, value)` makes an
//      instance, `unbox<T>(obj)` reads it, `dealloc_boxed<T>` is the tp_dealloc. Check argument
//      types with `is_exact(obj, state.type(ClassId::Name))` (every class is final).
//   3. Constructors and methods take METH_FASTCALL | METH_KEYWORDS and read their arguments
//      with `parse_args` against a constexpr `Signature`; its errors read like the
//      interpreter's own. Constructors go through `Constructor<make>`: `install` in the ready
//      hook (or `ready` itself as the hook) sets the vectorcall fast path, `tp_new` serves the
//      tuple/dict path. Static
//      methods are added by the ready hook with `add_static_methods`.
//   4. Convert each argument with the `arg_*` converters of convert.hpp; they add the note
//      "while processing '<param>'" on failure. Return values go through `to_py(state, x)`.
//   5. Read-only attributes: `readonly_field<T, &T::member>("name", "doc")` in the PyGetSetDef
//      table (converted with `to_py`), or `readonly<T, fn>("name", "doc")` for computed ones.
//   6. Equality: `{Py_tp_richcompare, richcompare_by_value<T>}` (==/!= via T::operator==,
//      NotImplemented for other types and ordering). Unhashable: `{Py_tp_hash,
//      PyObject_HashNotImplemented}`; hashable: feed the fields to `SipHasher13` and return
//      `python_hash(hasher.finish())`.
//   7. Wrap every slot or method that may allocate in C++ with `Guard<fn>::call`.
//   8. Text signatures go at the head of the docstring: "name(sig)\n--\n\ndoc".
//   9. Enumerations: a constexpr `EnumInfo` and `Enumeration<info>::type_spec/ready`; members are
//      singletons, compare equal to ints and hash like them.
//  10. Fill a `PyType_Spec` with `class_spec<T>(...)`; its name is "satvane._satvane.Name". A
//      value class takes its slot table from `value_slots<T>` (types/value_helpers.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "module.hpp"

namespace satvane::py {

// ---------------------------------------------------------------------------------------------
// Owned references.

class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* owned) : ptr_(owned) {}
  static Ref borrow(PyObject* borrowed) {
    Py_XINCREF(borrowed);
    return Ref(borrowed);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Py_XSETREF(ptr_, std::exchange(other.ptr_, nullptr));
    return *this;
  }
  ~Ref() { Py_XDECREF(ptr_); }

  PyObject* get() const { return ptr_; }
  PyObject* release() { return std::exchange(ptr_, nullptr); }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  PyObject* ptr_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Errors.

// The class name without its module: "datetime", "Tle".
const char* short_type_name(PyTypeObject* type);

// TypeError "'int' object is not an instance of 'datetime'" ("'None' is not an instance of ..."
// for None). Returns nullptr.
std::nullptr_t raise_not_instance(PyObject* obj, const char* expected_type);

// Whether `obj`'s class has the name of `type` but is another class object: one made by another
// instance of this module (the module imported again after its removal from sys.modules).
bool from_another_module_instance(PyObject* obj, PyTypeObject* type);

// TypeError "'Circle' object is not an instance of 'Circle': it comes from another instance of
// the module satvane._satvane", for an object that from_another_module_instance found.
// Returns nullptr.
std::nullptr_t raise_from_another_module_instance(PyObject* obj);

// Adds the note "while processing '<param>'" to the exception being raised; a failure to add
// it is swallowed so the original exception survives.
void note_parameter(const char* param) noexcept;

// A Python str from UTF-8 text that may be malformed (bad bytes are replaced): never fails
// for a decoding reason.
PyObject* str_from_utf8_lossy(std::string_view text);

// A C++ exception (std::bad_alloc from a string copy, say) must never unwind into the
// interpreter: `Guard<fn>::call` runs fn and turns one into MemoryError or RuntimeError,
// returning the slot's error value (nullptr or -1). Constructor<> applies it by itself.
void raise_from_current_exception() noexcept;

template <auto Fn>
struct Guard;
template <class R, class... A, R (*Fn)(A...)>
struct Guard<Fn> {
  static R call(A... args) noexcept {
    try {
      return Fn(args...);
    } catch (...) {
      raise_from_current_exception();
    }
    if constexpr (std::is_pointer_v<R>) {
      return nullptr;
    } else {
      return static_cast<R>(-1);
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Argument parsing for METH_FASTCALL | METH_KEYWORDS.

struct Param {
  std::string_view name;
  bool required = true;
};

struct Signature {
  const char* name;                     // as errors show it: "Tle", "Elements.from_json"
  std::span<const Param> positional;    // positional-or-keyword, in order
  std::span<const Param> keyword_only;  // after `*`

  std::size_t size() const { return positional.size() + keyword_only.size(); }
};

// Matches positional arguments and keywords to the signature. On success out[i] holds the
// borrowed argument for parameter i (positional first, then keyword-only), or nullptr when an
// optional one was not given. On failure raises the interpreter's TypeError and returns false.
bool parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject** out);

// Fixed-size argument array for one signature.
template <std::size_t N>
struct Args {
  std::array<PyObject*, N> values{};
  bool parse(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return parse_args(sig, args, nargs, kwnames, values.data());
  }
  PyObject* operator[](std::size_t i) const { return values[i]; }
};

// A constructor implemented once in fastcall form and reachable both from `Class(...)`
// (vectorcall) and from `Class.__new__(Class, ...)` (tuple and dict).
using FastConstructor = PyObject* (*)(PyTypeObject* type, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames);
PyObject* call_fast_constructor(FastConstructor make, PyTypeObject* type, PyObject* args,
                                PyObject* kwargs);

template <FastConstructor Make>
struct Constructor {
  static PyObject* vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf,
                              PyObject* kwnames) {
    return Guard<Make>::call(reinterpret_cast<PyTypeObject*>(type), args,
                             PyVectorcall_NARGS(nargsf), kwnames);
  }
  // Guarded as a whole: repacking the tuple and dict allocates too.
  static PyObject* new_from_tuple(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return call_fast_constructor(Make, type, args, kwargs);
  }
  static PyObject* tp_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return Guard<new_from_tuple>::call(type, args, kwargs);
  }
  static void install(PyTypeObject* type) { type->tp_vectorcall = vectorcall; }
  // The ready hook of a class that needs nothing else.
  static int ready(ModuleState&, PyTypeObject* type) {
    install(type);
    return 0;
  }
};

// Static methods: the interpreter hands a METH_STATIC function no `self`, which leaves it no
// way to reach the module state. So static methods are listed apart from Py_tp_methods (flags
// without METH_STATIC) and added by the ready hook with this, which binds the module as `self`:
// inside, use state_of_module(self).
int add_static_methods(PyTypeObject* type, PyMethodDef* methods);

// ---------------------------------------------------------------------------------------------
// Value classes.

template <class T>
struct Boxed {
  PyObject ob_base;
  T value;
};

template <class T>
T& unbox(PyObject* obj) {
  return reinterpret_cast<Boxed<T>*>(obj)->value;
}

inline bool is_exact(PyObject* obj, PyTypeObject* type) { return Py_TYPE(obj) == type; }

template <class T>
PyObject* box(PyTypeObject* type, T value) {
  PyObject* obj = type->tp_alloc(type, 0);
  if (obj == nullptr) return nullptr;
  new (&unbox<T>(obj)) T(std::move(value));
  return obj;
}

template <class T>
void dealloc_boxed(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  unbox<T>(self).~T();
  type->tp_free(self);
  Py_DECREF(type);
}

// Immutable, final classes; `constructible` false makes calling the class a TypeError.
template <class T>
constexpr PyType_Spec class_spec(const char* qualified_name, PyType_Slot* slots,
                                 bool constructible = true) {
  unsigned flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
  if (!constructible) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  return PyType_Spec{qualified_name, static_cast<int>(sizeof(Boxed<T>)), 0, flags, slots};
}

// Result of == or != from the equality of the two operands.
inline PyObject* comparison_result(bool equal, int op) {
  return PyBool_FromLong((op == Py_EQ) == equal);
}

// == and != between two instances of the same class by T::operator==; NotImplemented for any
// other operand type and for ordering, so Python falls back to identity or raises TypeError.
template <class T>
PyObject* richcompare_by_value(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
  return comparison_result(unbox<T>(self) == unbox<T>(other), op);
}

// Read-only attributes. `readonly_field` converts the member with the `to_py(state, value)`
// overload for its type (found through the state argument); `readonly` calls `get(self, value)`.
template <class T, auto Member>
PyObject* get_field(PyObject* self, void*) {
  return to_py(state_of(self), unbox<T>(self).*Member);
}
template <class T, auto Member>
constexpr PyGetSetDef readonly_field(const char* name, const char* doc) {
  return PyGetSetDef{name, get_field<T, Member>, nullptr, doc, nullptr};
}

template <class T, PyObject* (*Get)(PyObject* self, const T& value)>
PyObject* get_computed(PyObject* self, void*) {
  return Get(self, unbox<T>(self));
}
template <class T, PyObject* (*Get)(PyObject* self, const T& value)>
constexpr PyGetSetDef readonly(const char* name, const char* doc) {
  return PyGetSetDef{name, get_computed<T, Get>, nullptr, doc, nullptr};
}

// ---------------------------------------------------------------------------------------------
// Hashing: SipHash-1-3 with an all-zero key, the same in every process.

class SipHasher13 {
 public:
  void write(std::string_view bytes);
  void write_u8(std::uint8_t byte);
  void write_u64(std::uint64_t value);  // 8 little-endian bytes
  // A string as its bytes and a 0xFF terminator, so ("ab", "c") and ("a", "bc") differ.
  void write_str(std::string_view text) {
    write(text);
    write_u8(0xFF);
  }
  std::uint64_t finish() const;

 private:
  void compress(std::uint64_t word);
  std::uint64_t v0_ = 0x736f6d6570736575ULL;
  std::uint64_t v1_ = 0x646f72616e646f6dULL;
  std::uint64_t v2_ = 0x6c7967656e657261ULL;
  std::uint64_t v3_ = 0x7465646279746573ULL;
  std::uint64_t tail_ = 0;    // pending bytes, little-endian
  unsigned tail_len_ = 0;     // 0..7
  std::uint64_t length_ = 0;  // total bytes written
};

// The 64-bit hash read as signed, with -1 (Python's error marker) moved to -2.
inline Py_hash_t python_hash(std::uint64_t hash) {
  auto signed_hash = static_cast<Py_hash_t>(hash);
  return signed_hash == -1 ? -2 : signed_hash;
}

// ---------------------------------------------------------------------------------------------
// Enumerations: singleton members with values 0..count-1. They compare equal to a member of
// the same class or an int of the same value and hash as that int does, so equal objects hash
// equal; ordering is refused. `int()` gives the value; there is no constructor.

struct EnumInfo {
  ClassId id;
  const char* qualified_name;  // "satvane._satvane.Classification"
  const char* name;            // "Classification"
  const char* doc;
  std::array<const char*, kMaxEnumMembers> members;
  unsigned count;
};

struct EnumObject {
  PyObject ob_base;
  unsigned value;
};

inline unsigned enum_value(PyObject* member) {
  return reinterpret_cast<EnumObject*>(member)->value;
}

PyObject* enum_richcompare(PyObject* self, PyObject* other, int op);
Py_hash_t enum_hash(PyObject* self);
PyObject* enum_int(PyObject* self);
PyObject* enum_repr_of(const EnumInfo& info, PyObject* self);
// Members are tracked by the collector: a member refers to its class, whose dict refers to the
// member, and that cycle must be visible for the module to be freed.
int enum_traverse(PyObject* self, visitproc visit, void* arg);
void enum_dealloc(PyObject* self);
int enum_ready(const EnumInfo& info, ModuleState& state, PyTypeObject* type);

// The shared member object (new reference) for a value known to be valid.
inline PyObject* enum_member(ModuleState& state, ClassId id, unsigned value) {
  return Py_NewRef(state.enum_members[static_cast<unsigned>(id)][value]);
}

template <const EnumInfo& Info>
struct Enumeration {
  static PyObject* repr(PyObject* self) { return enum_repr_of(Info, self); }
  static int ready(ModuleState& state, PyTypeObject* type) { return enum_ready(Info, state, type); }

  static inline PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(Info.doc)},
      {Py_tp_repr, reinterpret_cast<void*>(repr)},
      {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(enum_hash)},
      {Py_nb_int, reinterpret_cast<void*>(enum_int)},
      {Py_tp_traverse, reinterpret_cast<void*>(enum_traverse)},
      {Py_tp_dealloc, reinterpret_cast<void*>(enum_dealloc)},
      {0, nullptr},
  };
  static inline PyType_Spec type_spec = {
      Info.qualified_name, static_cast<int>(sizeof(EnumObject)), 0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION |
          Py_TPFLAGS_HAVE_GC,
      slots};
};

}  // namespace satvane::py
