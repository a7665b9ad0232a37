// The Python iterator classes over the core's lazy searches and series, and the keyword options
// of the methods that build them.
//
// A core iterator `Core` has `std::optional<std::expected<Item, Error>> next()`: nothing once it
// is exhausted (and on every later call), a result, or an error item after which it may go on.
// The Python class adds the iterator protocol and nothing else, so it has exactly the core's
// states: `__iter__` returns the object itself; `__next__` advances the core by one item and
// returns `Wrap(state, item)`, raises the item's error through to_py_err, or raises
// StopIteration (every time, once the core is exhausted). No constructor, repr, equality or hash.
//
// Each object owns its core iterator, which owns its copy of the core predictor: it holds no
// reference to any Python object, so it needs no garbage-collector support. A class is then:
//
//   constexpr IteratorTexts kTexts{ClassId::TransitIter, "satvane._satvane.TransitIter", "doc"};
//   using TransitIterClass = IteratorClass<TransitIter, wrap_transit, kTexts>;
//   const ClassDef TransitIter_class{&TransitIterClass::type_spec, nullptr};
//   ... TransitIterClass::make(state, transits_iter_with_opts(...))
#pragma once

#include <utility>

#include "convert.hpp"
#include "errors.hpp"
#include "pyutil.hpp"

namespace satvane::py {

// The borrow flag of one iterator object. `__next__` takes it exclusively for the whole step:
// wrapping an item allocates Python objects, which may run the garbage collector and through it
// arbitrary finalizers, and one of those could call next() on this very iterator.
class BorrowFlag {
 public:
  // Shared: fails (RuntimeError "Already mutably borrowed") while a `__next__` is running.
  bool check_shared() const;
  // Exclusive: fails (RuntimeError "Already borrowed") while any borrow is held. The shared
  // borrow of `__iter__` ends within its call, so only an exclusive one can be held here.
  bool take_exclusive();

  // Gives the exclusive borrow back on every way out, a C++ exception included.
  struct Release {
    BorrowFlag& flag;
    ~Release() { flag.exclusive_ = false; }
  };

 private:
  bool exclusive_ = false;
};

template <class Core>
struct IteratorState {
  Core core;
  BorrowFlag borrow;
};

struct IteratorTexts {
  ClassId id;
  const char* qualified_name;  // "satvane._satvane.TransitIter"
  const char* doc;
};

template <class Core, auto Wrap, const IteratorTexts& Texts>
struct IteratorClass {
  using CoreIter = Core;
  using State = IteratorState<Core>;

  // A new iterator object owning `core`.
  static PyObject* make(ModuleState& state, Core core) {
    return box(state.type(Texts.id), State{std::move(core), {}});
  }

  static PyObject* iter(PyObject* self) {
    if (!unbox<State>(self).borrow.check_shared()) return nullptr;
    return Py_NewRef(self);
  }

  static PyObject* next(PyObject* self) {
    State& it = unbox<State>(self);
    if (!it.borrow.take_exclusive()) return nullptr;
    const BorrowFlag::Release release{it.borrow};
    auto item = it.core.next();
    if (!item) return nullptr;  // StopIteration, without the cost of an exception object
    if (!*item) return raise(item->error());
    return Wrap(state_of(self), **item);
  }

  static inline PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(Texts.doc)},
      {Py_tp_iter, reinterpret_cast<void*>(iter)},
      {Py_tp_iternext, reinterpret_cast<void*>(Guard<next>::call)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_boxed<State>)},
      {0, nullptr},
  };
  static inline PyType_Spec type_spec = class_spec<State>(Texts.qualified_name, slots, /*constructible=*/false);
};

// The tuple (datetime, value) of a series sample or a peak; `value` is a new reference or
// nullptr with an error set, and is consumed either way.
PyObject* timed_tuple(ModuleState& state, Instant time, PyObject* value);

// ---------------------------------------------------------------------------------------------
// Keyword options of the methods that build searches. Each keyword replaces the field of the
// same name in the core option record; omitted or None keeps the record's default.

// Durations: a `timedelta` only. Flags: a `bool` only.
bool overlay_option(ModuleState& state, PyObject* given, const char* param, Duration& field);
bool overlay_option(ModuleState& state, PyObject* given, const char* param, bool& field);

// Overlays the keyword-only arguments of `sig` (`given`, in signature order, nullptr where
// omitted) on `fields`, one per keyword in the same order; stops at the first failure, which is
// raised with its parameter note.
template <class... Fields>
bool overlay_options(ModuleState& state, const Signature& sig, PyObject* const* given, Fields&... fields) {
  std::size_t i = 0;
  const auto overlay_next = [&](auto& field) {
    const bool ok = overlay_option(state, given[i], sig.keyword_only[i].name.data(), field);
    ++i;
    return ok;
  };
  return (overlay_next(fields) && ...);
}

}  // namespace satvane::py
