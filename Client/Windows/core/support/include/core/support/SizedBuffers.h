// Sized heap buffers: a count and a pointer to elements that the buffer owns.
// Allocate replaces the contents (new elements are not cleared); the count is
// kept as asked even when nothing could be allocated, so owners that care
// check the pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

template <typename T>
class CSizedBuffer {
public:
    using Element = T;

    CSizedBuffer() = default;
    ~CSizedBuffer() { Free(); }

    CSizedBuffer(const CSizedBuffer&) = delete;
    CSizedBuffer& operator=(const CSizedBuffer&) = delete;
    CSizedBuffer(CSizedBuffer&& other) noexcept : m_count(other.m_count), m_data(other.m_data) {
        other.m_count = 0;
        other.m_data = nullptr;
    }
    CSizedBuffer& operator=(CSizedBuffer&& other) noexcept {
        if (this != &other) {
            Free();
            m_count = other.m_count;
            m_data = other.m_data;
            other.m_count = 0;
            other.m_data = nullptr;
        }
        return *this;
    }

    // Null for a count of 0 or less, or when memory runs out.
    T* Allocate(int32_t count) {
        Free();
        m_count = count;
        if (count > 0) m_data = new (std::nothrow) T[static_cast<std::size_t>(count)];
        return m_data;
    }
    // The count stays; freeing twice is harmless.
    void Free() {
        delete[] m_data;
        m_data = nullptr;
    }

    int32_t GetCount() const { return m_count; }
    T* GetBuffer() { return m_data; }
    const T* GetBuffer() const { return m_data; }
    // No range check.
    T* At(int32_t i) { return m_data + i; }
    const T* At(int32_t i) const { return m_data + i; }

private:
    int32_t m_count = 0;
    T* m_data = nullptr;
};

// One decoder setting {decoder, parameter, value}; parameter -1 is the
// decoder's enabled state.
struct DecoderTriple {
    int32_t decoder;
    int32_t parameter;
    int32_t value;
};
static_assert(sizeof(DecoderTriple) == 12);

class CWideBuffer : public CSizedBuffer<char16_t> {
public:
    char16_t* GetString() { return GetBuffer(); }
    const char16_t* GetString() const { return GetBuffer(); }
};

class CByteBuffer : public CSizedBuffer<uint8_t> {
public:
    uint8_t* GetData() { return GetBuffer(); }
    const uint8_t* GetData() const { return GetBuffer(); }
};

class CCharBuffer : public CSizedBuffer<char> {};
class CDwordBuffer : public CSizedBuffer<uint32_t> {};
// Pointers to wide strings (the feature strings); the pointed-to strings are
// owned by the buffer's owner, not by the buffer.
class CPointerBuffer : public CSizedBuffer<char16_t*> {};
class CTripleBuffer : public CSizedBuffer<DecoderTriple> {};
