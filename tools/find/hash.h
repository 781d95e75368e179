#pragma once

// A fast 64-bit checksum for telling a damaged or changed file from a good one (not for
// anything an attacker chooses): four independent multiply-xor lanes over 8-byte words.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lexivane::find {

inline uint64_t mix64(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

inline uint64_t hash64(const void* data, size_t size, uint64_t seed = 0) {
    constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
    const auto* p = static_cast<const unsigned char*>(data);
    uint64_t h[4] = {seed ^ 0x243F6A8885A308D3ull, seed ^ 0x13198A2E03707344ull,
                     seed ^ 0xA4093822299F31D0ull, seed ^ 0x082EFA98EC4E6C89ull};
    size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (int lane = 0; lane < 4; ++lane) {
            uint64_t v;
            std::memcpy(&v, p + i + 8 * size_t(lane), 8);
            h[lane] = (h[lane] ^ v) * k;
            h[lane] ^= h[lane] >> 29;
        }
    }
    uint64_t tail[4] = {0, 0, 0, 0};
    std::memcpy(tail, p + i, size - i);
    for (int lane = 0; lane < 4; ++lane) {
        h[lane] = (h[lane] ^ tail[lane]) * k;
        h[lane] ^= h[lane] >> 29;
    }
    return mix64(h[0] ^ mix64(h[1] + 1) ^ mix64(h[2] + 2) ^ mix64(h[3] + 3) ^ uint64_t(size));
}

} // namespace lexivane::find
