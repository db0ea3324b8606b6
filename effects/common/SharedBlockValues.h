// Values that every channel filter of an engine computes alike for a block, such as the course of
// an oscillator that all channels follow: the first channel filter makes them and the others
// take them. The key holds the bit patterns of everything the values follow from, so a value
// taken is the very value the filter would have computed.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace corvane {

template <size_t kWords>
class SharedBlockKey {
public:
    using Words = std::array<uint64_t, kWords>;

    // The bits of a number (of up to 8 bytes) as a key word.
    template <class T>
    static uint64_t Bits(T v) {
        static_assert(sizeof(T) <= sizeof(uint64_t), "a key word holds 8 bytes");
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof v);
        return bits;
    }

    // True when the values held were made for `key`.
    bool Holds(const Words& key) const { return m_valid && key == m_key; }
    // The values held are now those of `key`; call only once they are complete.
    void Set(const Words& key) {
        m_key = key;
        m_valid = true;
    }
    // Before the values are overwritten, so that a failure half-way leaves no stale key.
    void Clear() { m_valid = false; }

private:
    Words m_key{};
    bool m_valid = false;
};

// The shared values of an engine whose channel filters compute nothing alike.
struct NoBlockValues {};

}  // namespace corvane
