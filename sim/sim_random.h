#pragma once
// A small seeded generator for the simulator's fault decisions. Its sequence is
// fixed by the seed alone (SplitMix64), the same on every platform and library,
// so a fault run can be replayed exactly. Not thread-safe: one owner.
#include <cstdint>

class SimRandom {
public:
    explicit SimRandom(uint64_t seed = 1) : m_state(seed) {}

    void Seed(uint64_t seed) { m_state = seed; }

    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value in [0, bound); bound 0 gives 0.
    uint32_t Below(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(Next() % bound); }

    // A uniform value in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

    // True with the given probability. A probability of 0 or less draws nothing,
    // so a fault that is off does not shift the sequence of the others.
    bool Chance(double probability) {
        if (!(probability > 0)) return false;
        return Unit() < probability;
    }

private:
    uint64_t m_state;
};
