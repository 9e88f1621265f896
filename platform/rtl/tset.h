// TSet<Enum>: a small bit set over an enumeration with ordinals 0..63, as the platform's sets.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace vcl {

template <class E>
class TSet {
    static_assert(std::is_enum_v<E>);

public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) bits_ |= Bit(e);
    }
    static constexpr TSet FromBits(uint64_t b) { TSet s; s.bits_ = b; return s; }
    constexpr uint64_t Bits() const { return bits_; }

    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSet& Include(E e) { bits_ |= Bit(e); return *this; }
    constexpr TSet& Exclude(E e) { bits_ &= ~Bit(e); return *this; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr int Count() const { return __builtin_popcountll(bits_); }

    constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
    constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
    constexpr TSet& operator+=(TSet o) { bits_ |= o.bits_; return *this; }
    constexpr TSet& operator-=(TSet o) { bits_ &= ~o.bits_; return *this; }
    constexpr TSet& operator*=(TSet o) { bits_ &= o.bits_; return *this; }
    constexpr bool operator==(const TSet&) const = default;
    // Subset test (a <= b: every member of a is in b).
    constexpr bool operator<=(TSet o) const { return (bits_ & ~o.bits_) == 0; }

    // Iteration in ordinal order.
    class iterator {
    public:
        constexpr iterator(uint64_t rest) : rest_(rest) {}
        constexpr E operator*() const { return E(__builtin_ctzll(rest_)); }
        constexpr iterator& operator++() { rest_ &= rest_ - 1; return *this; }
        constexpr bool operator!=(const iterator& o) const { return rest_ != o.rest_; }

    private:
        uint64_t rest_;
    };
    constexpr iterator begin() const { return iterator(bits_); }
    constexpr iterator end() const { return iterator(0); }

private:
    static constexpr uint64_t Bit(E e) { return uint64_t(1) << unsigned(e); }
    uint64_t bits_ = 0;
};

}  // namespace vcl
