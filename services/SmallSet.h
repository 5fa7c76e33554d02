// A set of up to 16 members of an enumeration, held as a 16-bit word whose
// bit n stands for the member with value n.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tellavo {

template <class Enum> class TSmallSet {
public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<Enum> members) {
    for (Enum member : members)
      Include(member);
  }
  static constexpr TSmallSet FromBits(uint16_t bits) {
    TSmallSet set;
    set.bits_ = bits;
    return set;
  }

  constexpr bool Contains(Enum member) const { return (bits_ & Bit(member)) != 0; }
  constexpr void Include(Enum member) { bits_ = static_cast<uint16_t>(bits_ | Bit(member)); }
  constexpr void Exclude(Enum member) { bits_ = static_cast<uint16_t>(bits_ & ~Bit(member)); }
  constexpr void Set(Enum member, bool present) { present ? Include(member) : Exclude(member); }
  constexpr void IncludeAll(TSmallSet other) { bits_ = static_cast<uint16_t>(bits_ | other.bits_); }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSmallSet, TSmallSet) = default;

private:
  static constexpr uint16_t Bit(Enum member) {
    return static_cast<uint16_t>(1u << static_cast<unsigned>(member));
  }
  uint16_t bits_ = 0;
};

} // namespace tellavo
