// memchr in WebAssembly SIMD, in place of musl's, which looks a word (four bytes) at a time: the
// filter looks through every block it reads with it.
#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

/* memchr
 *     The first byte c of the n bytes at source, or none. Byte by byte up to a 16-byte
 *     boundary, then 16 aligned bytes at a time (an aligned load never passes the end of the
 *     memory), then byte by byte again. */
extern "C" void *memchr(const void *source, int c, std::size_t n)
{
    const auto *s = static_cast<const unsigned char *>(source);
    const auto byte = static_cast<unsigned char>(c);
    for (; n > 0 && (reinterpret_cast<std::uintptr_t>(s) & 15) != 0; s++, n--)
        if (*s == byte)
            return const_cast<unsigned char *>(s);
    const v128_t wanted = wasm_i8x16_splat(static_cast<std::int8_t>(byte));
    for (; n >= 16; s += 16, n -= 16) {
        auto found =
            static_cast<unsigned>(wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(s), wanted)));
        if (found != 0)
            return const_cast<unsigned char *>(s + __builtin_ctz(found));
    }
    for (; n > 0; s++, n--)
        if (*s == byte)
            return const_cast<unsigned char *>(s);
    return nullptr;
}
