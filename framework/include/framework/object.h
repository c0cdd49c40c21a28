#pragma once

// The root of the framework's classes, the notify event, and TSet, a small
// set of enumerators (the framework's "set of" types).

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <typeinfo>

namespace tessel {

// Every framework class derives from TObject, so events can name a sender of any kind.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The class name without namespace ("TStringList").
  std::string ClassName() const;
};

// The unqualified, readable name of a C++ type.
std::string ClassNameOf(const std::type_info& type);

// Events are method references: called only when assigned.
using TNotifyEvent = std::function<void(TObject* sender)>;

// A set of up to 64 enumerators of E.
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) Include(e);
  }

  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint64_t Bits() const { return bits_; }

  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint64_t Bit(E e) { return std::uint64_t{1} << static_cast<unsigned>(e); }
  static constexpr TSet FromBits(std::uint64_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  std::uint64_t bits_ = 0;
};

}  // namespace tessel
