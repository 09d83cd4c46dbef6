#include "settingseditor/CompressedFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "deskcommon/FileLookup.h"

namespace settingseditor {

using namespace deskcommon;

CCompressedFile::CCompressedFile() {
    Reset();
}

CCompressedFile::~CCompressedFile() {
    if (!m_file)
        return;
    std::fclose(m_file);
}

void CCompressedFile::Reset() {
    for (int i = 0; i < 512; ++i)
        m_dict[i] = static_cast<uint8_t>(i);
    std::memset(m_group, 0, sizeof m_group);
    m_mask = 0;
    m_count = 0;
    m_outLength = 0;
    m_nothingPending = false;
}

bool CCompressedFile::Open(const std::string& name, Mode mode) {
    if (m_file)
        return false;
    Reset();
    m_mode = mode;
    m_name = FindFileNoCase(name);
    if (mode == kRead) {
        m_file = std::fopen(m_name.c_str(), "rb");
        // A folder opens for reading here but holds no bytes: it is no file.
        struct stat st {};
        if (m_file && (::fstat(::fileno(m_file), &st) != 0 || S_ISDIR(st.st_mode))) {
            std::fclose(m_file);
            m_file = nullptr;
            errno = EISDIR;
        }
        return m_file != nullptr;
    }
    if (!m_save.Open(m_name))
        return false;
    int fd = ::dup(m_save.Fd());
    m_file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (!m_file) {
        if (fd >= 0)
            ::close(fd);
        m_save.Discard();
    }
    return m_file != nullptr;
}

uint64_t CCompressedFile::Size() const {
    struct stat st {};
    if (!m_file || ::fstat(::fileno(m_file), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

int CCompressedFile::GetByte() {
    return std::fgetc(m_file);
}

void CCompressedFile::PutByte(uint8_t b) {
    Emit(&b, 1);
}

void CCompressedFile::Emit(const uint8_t* bytes, size_t n) {
    if (m_outLength + n > sizeof m_out)
        Drain();
    std::memcpy(m_out + m_outLength, bytes, n);
    m_outLength += n;
}

void CCompressedFile::Drain() {
    if (m_outLength && std::fwrite(m_out, 1, m_outLength, m_file) != m_outLength)
        throw FileError(m_name);
    m_outLength = 0;
}

void CCompressedFile::Learn() {
    unsigned slot = (m_count & ~7u) % 256;
    std::memcpy(m_dict + slot, m_group, 8);
    std::memcpy(m_dict + 256 + slot, m_group, 8);
}

size_t CCompressedFile::Read(void* buffer, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (!m_file || m_mode != kRead)
        return 0;
    for (; done < count; ++done) {
        m_nothingPending = true;
        unsigned a = m_count % 8;
        if (a == 0) {
            int m = GetByte();
            if (m == EOF)
                break;
            m_mask = static_cast<uint8_t>(m);
            if (m_mask != 0) {
                int s = GetByte();
                if (s == EOF)
                    throw FileError(m_name);
                for (unsigned j = 0; j < 8; ++j)
                    m_group[j] = m_dict[(static_cast<unsigned>(s) + j) % 256];
            }
        }
        if (!(m_mask & (0x80 >> a))) {
            int literal = GetByte();
            if (literal == EOF)
                break;
            m_group[a] = static_cast<uint8_t>(literal);
        }
        out[done] = m_group[a];
        if (a == 7)
            Learn();
        ++m_count;
    }
    return done;
}

void CCompressedFile::Write(const void* buffer, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    if (!m_file || m_mode != kWrite)
        throw FileError(m_name);
    for (size_t i = 0; i < count; ++i) {
        // Whole groups at once; at a group's start a cut group is over.
        while (m_count % 8 == 0 && count - i >= 8) {
            m_nothingPending = false;
            std::memcpy(m_group, in + i, 8);
            WriteGroup();
            Learn();
            m_count += 8;
            i += 8;
        }
        if (i == count)
            break;
        unsigned a = m_count % 8;
        m_group[a] = in[i];
        if (m_nothingPending && a != 0) {
            // The rest of a group that a Flush cut: it goes out as it is
            // and reads back as the literals of a mask-0 group.
            PutByte(in[i]);
        } else {
            m_nothingPending = false;
            if (a == 7)
                WriteGroup();
        }
        if (a == 7)
            Learn();
        ++m_count;
    }
}

namespace {

// The first start s (0 to 255) with the most positions j where
// group[j] == dict[s + j]; its count is 0 when no start matches any byte.
struct Match {
    unsigned start = 0, count = 0;
};

#ifdef __SSE2__
// The greatest of sixteen bytes.
inline unsigned MaxByte(__m128i v) {
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    return static_cast<unsigned>(_mm_cvtsi128_si32(v) & 0xFF);
}

// All 256 starts at once, sixteen a vector: per position j one comparison
// of the group's byte with the dictionary from every start.
Match FirstLongestSse2(const uint8_t* group, const uint8_t* dict) {
    __m128i counts[16];
    __m128i top = _mm_setzero_si128();
    for (int b = 0; b < 16; ++b) {
        __m128i n = _mm_setzero_si128();
        for (int j = 0; j < 8; ++j) {
            __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dict + 16 * b + j));
            n = _mm_sub_epi8(n, _mm_cmpeq_epi8(d, _mm_set1_epi8(static_cast<char>(group[j]))));
        }
        if (int all = _mm_movemask_epi8(_mm_cmpeq_epi8(n, _mm_set1_epi8(8))))
            return Match{static_cast<unsigned>(16 * b + __builtin_ctz(static_cast<unsigned>(all))), 8};
        counts[b] = n;
        top = _mm_max_epu8(top, n);
    }
    Match m;
    m.count = MaxByte(top);
    if (m.count == 0)
        return m;
    const __m128i want = _mm_set1_epi8(static_cast<char>(m.count));
    for (int b = 0; b < 16; ++b) {
        int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(counts[b], want));
        if (hits) {
            m.start = static_cast<unsigned>(16 * b + __builtin_ctz(static_cast<unsigned>(hits)));
            break;
        }
    }
    return m;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same, thirty-two starts a vector, where the processor has AVX2.
__attribute__((target("avx2"))) Match FirstLongestAvx2(const uint8_t* group, const uint8_t* dict) {
    __m256i counts[8];
    __m256i top = _mm256_setzero_si256();
    for (int b = 0; b < 8; ++b) {
        __m256i n = _mm256_setzero_si256();
        for (int j = 0; j < 8; ++j) {
            __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dict + 32 * b + j));
            n = _mm256_sub_epi8(n, _mm256_cmpeq_epi8(d, _mm256_set1_epi8(static_cast<char>(group[j]))));
        }
        if (unsigned all = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(n, _mm256_set1_epi8(8)))))
            return Match{static_cast<unsigned>(32 * b + __builtin_ctz(all)), 8};
        counts[b] = n;
        top = _mm256_max_epu8(top, n);
    }
    __m128i half = _mm_max_epu8(_mm256_castsi256_si128(top), _mm256_extracti128_si256(top, 1));
    Match m;
    m.count = MaxByte(half);
    if (m.count == 0)
        return m;
    const __m256i want = _mm256_set1_epi8(static_cast<char>(m.count));
    for (int b = 0; b < 8; ++b) {
        unsigned hits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(counts[b], want)));
        if (hits) {
            m.start = static_cast<unsigned>(32 * b + __builtin_ctz(hits));
            break;
        }
    }
    return m;
}

// And sixty-four a vector with AVX-512. GCC 12 warns of an uninitialised
// value inside its own header's 256-bit extraction.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f,avx512bw"))) Match FirstLongestAvx512(const uint8_t* group, const uint8_t* dict) {
    __m512i counts[4];
    __m512i top = _mm512_setzero_si512();
    const __m512i one = _mm512_set1_epi8(1);
    for (int b = 0; b < 4; ++b) {
        __m512i n = _mm512_setzero_si512();
        for (int j = 0; j < 8; ++j) {
            __m512i d = _mm512_loadu_si512(dict + 64 * b + j);
            __mmask64 k = _mm512_cmpeq_epi8_mask(d, _mm512_set1_epi8(static_cast<char>(group[j])));
            n = _mm512_mask_add_epi8(n, k, n, one);
        }
        // A start that matches all eight is the first longest at once.
        if (uint64_t all = _mm512_cmpeq_epi8_mask(n, _mm512_set1_epi8(8)))
            return Match{static_cast<unsigned>(64 * b + __builtin_ctzll(all)), 8};
        counts[b] = n;
        top = _mm512_max_epu8(top, n);
    }
    __m256i quarter = _mm256_max_epu8(_mm512_castsi512_si256(top), _mm512_extracti64x4_epi64(top, 1));
    __m128i half = _mm_max_epu8(_mm256_castsi256_si128(quarter), _mm256_extracti128_si256(quarter, 1));
    Match m;
    m.count = MaxByte(half);
    if (m.count == 0)
        return m;
    const __m512i want = _mm512_set1_epi8(static_cast<char>(m.count));
    for (int b = 0; b < 4; ++b) {
        uint64_t hits = _mm512_cmpeq_epi8_mask(counts[b], want);
        if (hits) {
            m.start = static_cast<unsigned>(64 * b + __builtin_ctzll(hits));
            break;
        }
    }
    return m;
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
#endif

// Every start in turn; the first to reach all eight ends the search.
Match FirstLongestPlain(const uint8_t* group, const uint8_t* dict) {
    Match m;
    for (unsigned s = 0; s < 256 && m.count < 8; ++s) {
        unsigned n = 0;
        for (unsigned j = 0; j < 8; ++j)
            n += group[j] == dict[s + j];
        if (n > m.count) {
            m.count = n;
            m.start = s;
        }
    }
    return m;
}

int g_widthLimit = 64;

int SupportedWidth() {
#if defined(__x86_64__) && defined(__GNUC__)
    return __builtin_cpu_supports("avx512bw") ? 64 : __builtin_cpu_supports("avx2") ? 32 : 16;
#elif defined(__SSE2__)
    return 16;
#else
    return 1;
#endif
}

Match FirstLongest(const uint8_t* group, const uint8_t* dict) {
    static const int supported = SupportedWidth();
    const int width = std::min(supported, g_widthLimit);
#if defined(__x86_64__) && defined(__GNUC__)
    if (width >= 64)
        return FirstLongestAvx512(group, dict);
    if (width >= 32)
        return FirstLongestAvx2(group, dict);
#endif
#ifdef __SSE2__
    if (width >= 16)
        return FirstLongestSse2(group, dict);
#endif
    return FirstLongestPlain(group, dict);
}

}  // namespace

int CCompressedFile::LimitSearchWidth(int bytes) {
    g_widthLimit = bytes;
    return std::min(SupportedWidth(), bytes);
}

// The format fixes the first longest match, not how it is found.
void CCompressedFile::WriteGroup() {
    Match m = FirstLongest(m_group, m_dict);
    // Without branches on the data: which bytes match is as good as random.
    uint8_t mask = 0;
    if (m.count) {
        for (unsigned j = 0; j < 8; ++j)
            mask |= static_cast<uint8_t>((m_group[j] == m_dict[m.start + j]) << (7 - j));
    }
    uint8_t out[11];
    size_t n = 0;
    out[n++] = mask;
    out[n] = static_cast<uint8_t>(m.start);
    n += mask != 0;
    for (unsigned j = 0; j < 8; ++j) {
        out[n] = m_group[j];
        n += ((mask >> (7 - j)) & 1) ^ 1;
    }
    Emit(out, n);
}

void CCompressedFile::WritePart() {
    unsigned k = m_count % 8;
    if (m_mode != kWrite || m_nothingPending || k == 0)
        return;
    m_nothingPending = true;
    PutByte(0);
    for (unsigned j = 0; j < k; ++j)
        PutByte(m_group[j]);
}

void CCompressedFile::Flush() {
    if (!m_file)
        return;
    WritePart();
    if (m_mode == kWrite)
        Drain();
    if (std::fflush(m_file) != 0)
        throw FileError(m_name);
}

void CCompressedFile::Close() {
    if (!m_file)
        return;
    if (m_mode == kRead) {
        std::fclose(m_file);
        m_file = nullptr;
        return;
    }
    Flush();
    bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!ok || !m_save.Commit()) {
        m_save.Discard();
        throw FileError(m_name);
    }
}

}  // namespace settingseditor
