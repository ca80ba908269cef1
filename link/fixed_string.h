#pragma once
// Fixed-capacity, always-terminated character buffers held by value.
// Any thread may use an object it owns; none is shared without a lock.

class CFixedString {
public:
    virtual char* Buffer() = 0;
    virtual int Capacity() const = 0;

    const char* Text() const { return const_cast<CFixedString*>(this)->Buffer(); }

    // Sets every character of the buffer to zero.
    void Clear();
    // Copies at most Capacity()-1 characters; longer text is cut. Null changes nothing.
    void Assign(const char* text);
    // Appends what fits behind the current text. Null changes nothing.
    void Append(const char* text);

protected:
    CFixedString() = default;
    CFixedString(const CFixedString&) = default;
    CFixedString& operator=(const CFixedString&) = default;
    ~CFixedString() = default;
};

template <int N>
class CFixedStringN final : public CFixedString {
public:
    CFixedStringN() { Clear(); }
    CFixedStringN(const CFixedStringN& other) : CFixedString() { Copy(other); }
    CFixedStringN& operator=(const CFixedStringN& other) {
        if (this != &other) Copy(other);
        return *this;
    }
    char* Buffer() override { return m_chars; }
    int Capacity() const override { return N; }

private:
    void Copy(const CFixedStringN& other) {
        for (int i = 0; i < N; ++i) m_chars[i] = other.m_chars[i];
    }
    char m_chars[N];
};

using CFixedString32 = CFixedStringN<32>;    // port names
using CFixedString128 = CFixedStringN<128>;  // device and image names
using CFixedString256 = CFixedStringN<256>;  // file paths
