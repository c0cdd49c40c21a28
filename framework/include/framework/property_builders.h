#pragma once

// Helpers that make a TPropInfo from a class's accessors, so a description
// reads like the class's published section:
//
//   published::Ordinal<TSQLServer>("ServerTimeout", TypeInfoInteger(),
//       &TSQLServer::ServerTimeout, &TSQLServer::SetServerTimeout, 30)
//
// Getters and setters may be member functions, data members or lambdas taking
// the object; the object is cast to C, which the reader and writer guarantee.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/event_handlers.h"
#include "framework/object.h"
#include "framework/typinfo.h"

namespace tessel::published {

namespace detail {

template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {
  using Element = E;
};

template <class V>
std::int64_t ToOrdinal(const V& value) {
  if constexpr (IsSet<V>::value) {
    return static_cast<std::int64_t>(value.Bits());
  } else {
    return static_cast<std::int64_t>(value);
  }
}

template <class V>
V FromOrdinal(std::int64_t ordinal) {
  if constexpr (IsSet<V>::value) {
    V set;
    for (unsigned bit = 0; bit < 64; ++bit) {
      if ((static_cast<std::uint64_t>(ordinal) >> bit) & 1U) {
        set.Include(static_cast<typename IsSet<V>::Element>(bit));
      }
    }
    return set;
  } else if constexpr (std::is_same_v<V, bool>) {
    return ordinal != 0;
  } else {
    return static_cast<V>(ordinal);
  }
}

template <class C, class G>
using ValueOf = std::decay_t<std::invoke_result_t<G, const C&>>;

}  // namespace detail

// An integer, boolean, enumeration or set property. default_value: the value
// left out of form files (none: always written).
template <class C, class G, class S>
TPropInfo Ordinal(std::string name, const TTypeInfo* type, G get, S set,
                  std::optional<std::int64_t> default_value) {
  using V = detail::ValueOf<C, G>;
  TPropInfo p;
  p.name = std::move(name);
  p.type = type;
  p.default_ordinal = default_value;
  p.get_ordinal = [get](const TPersistent& o) {
    return detail::ToOrdinal<V>(std::invoke(get, static_cast<const C&>(o)));
  };
  p.set_ordinal = [set](TPersistent& o, std::int64_t v) {
    std::invoke(set, static_cast<C&>(o), detail::FromOrdinal<V>(v));
  };
  return p;
}

// A string property; written when not empty.
template <class C, class G, class S>
TPropInfo String(std::string name, G get, S set) {
  TPropInfo p;
  p.name = std::move(name);
  p.type = TypeInfoString();
  p.get_string = [get](const TPersistent& o) {
    return std::string(std::invoke(get, static_cast<const C&>(o)));
  };
  p.set_string = [set](TPersistent& o, const std::string& v) {
    std::invoke(set, static_cast<C&>(o), v);
  };
  return p;
}

// An object the class owns and that is written in place: a string list, a
// collection or a nested persistent object.
template <class C, class G>
TPropInfo Owned(std::string name, const TTypeInfo* type, G get) {
  TPropInfo p;
  p.name = std::move(name);
  p.type = type;
  p.get_object = [get](const TPersistent& o) -> TPersistent* {
    return std::invoke(get, static_cast<const C&>(o));
  };
  return p;
}

// A reference to another component, of the class type->class_info.
template <class C, class R, class G, class S>
TPropInfo Reference(std::string name, const TTypeInfo* type, G get, S set) {
  TPropInfo p;
  p.name = std::move(name);
  p.type = type;
  p.get_object = [get](const TPersistent& o) -> TPersistent* {
    return std::invoke(get, static_cast<const C&>(o));
  };
  p.set_object = [set](TPersistent& o, TPersistent* v) {
    std::invoke(set, static_cast<C&>(o), dynamic_cast<R*>(v));
  };
  return p;
}

// An event held in a data member of type E (a std::function type).
template <class C, class E>
TPropInfo Event(std::string name, const TTypeInfo* type, E C::*member) {
  TPropInfo p;
  p.name = std::move(name);
  p.type = type;
  p.get_handler = [member](const TPersistent& o) {
    return EventHandlerName(static_cast<const C&>(o).*member);
  };
  p.bind_handler = [member](TPersistent& o, const std::string& handler_name,
                            const std::any* handler) {
    return BindEventHandler(static_cast<C&>(o).*member, handler_name, handler);
  };
  p.accepts_handler = [](const std::any& handler) { return IsEventHandlerOf<E>(handler); };
  return p;
}

// An event read and written through accessors.
template <class C, class G, class S>
TPropInfo Event(std::string name, const TTypeInfo* type, G get, S set) {
  using E = detail::ValueOf<C, G>;
  TPropInfo p;
  p.name = std::move(name);
  p.type = type;
  p.get_handler = [get](const TPersistent& o) {
    return EventHandlerName<E>(std::invoke(get, static_cast<const C&>(o)));
  };
  p.bind_handler = [set](TPersistent& o, const std::string& handler_name, const std::any* handler) {
    E event;
    if (!BindEventHandler(event, handler_name, handler)) return false;
    std::invoke(set, static_cast<C&>(o), std::move(event));
    return true;
  };
  p.accepts_handler = [](const std::any& handler) { return IsEventHandlerOf<E>(handler); };
  return p;
}

}  // namespace tessel::published
