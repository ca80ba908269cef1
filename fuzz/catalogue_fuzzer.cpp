// Checking a compiled catalogue (.mo) before wxWidgets reads it, with arbitrary
// file contents.
//
// Invariant: whatever CatalogueIsSound passes, a reader that trusts the
// file's offsets, as wxWidgets' does, reads only inside the file and finds
// every text's closing zero byte where its length says (under ASan, a read
// outside the input's own copy fails at once).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "res/translation.h"

namespace {
uint32_t Word(const uint8_t* p, bool bigEndian) {
    return bigEndian ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                     : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// Reads every text the way a trusting reader does; returns a sum so the reads happen.
unsigned ReadTable(const uint8_t* bytes, uint32_t table, uint32_t count, bool bigEndian) {
    unsigned sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t length = Word(bytes + table + 8 * i, bigEndian);
        const uint8_t* text = bytes + Word(bytes + table + 8 * i + 4, bigEndian);
        for (uint32_t k = 0; k < length; ++k) sum += text[k];
        FUZZ_CHECK(text[length] == 0);
    }
    return sum;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that ASan sees any read past the end.
    const std::vector<uint8_t> file(data, data + size);
    if (!CatalogueIsSound(file.data(), file.size())) return 0;
    const bool bigEndian = Word(file.data(), false) == 0xDE120495u;
    const uint32_t count = Word(file.data() + 8, bigEndian);
    volatile unsigned sum = ReadTable(file.data(), Word(file.data() + 12, bigEndian), count, bigEndian) +
                            ReadTable(file.data(), Word(file.data() + 16, bigEndian), count, bigEndian);
    (void)sum;
    return 0;
}
