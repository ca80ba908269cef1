#include "link/fixed_string.h"

#include <cstring>

void CFixedString::Clear() {
    std::memset(Buffer(), 0, static_cast<size_t>(Capacity()));
}

void CFixedString::Assign(const char* text) {
    if (text == nullptr) return;
    char* buf = Buffer();
    const int cap = Capacity();
    std::strncpy(buf, text, static_cast<size_t>(cap - 1));
    buf[cap - 1] = '\0';
}

void CFixedString::Append(const char* text) {
    if (text == nullptr) return;
    char* buf = Buffer();
    const int cap = Capacity();
    buf[cap - 1] = '\0';
    const int len = static_cast<int>(std::strlen(buf));
    if (len < cap - 1) std::strncpy(buf + len, text, static_cast<size_t>(cap - 1 - len));
    buf[cap - 1] = '\0';
}
