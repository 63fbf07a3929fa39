// The fields of a Vendor Info File, packed: each field is its name and its
// value, each ended by a NUL, one after the other in file order. A file's
// fields take no more room than their texts, whatever their number; their
// line numbers are kept beside them, each as its distance from the one
// before in one to ten bytes.
#pragma once

#include <scrivlet/vendor_info_file.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A malloc'd byte buffer that may grow and shrink.
class CByteBuffer {
public:
    CByteBuffer() = default;
    explicit CByteBuffer(std::size_t capacity) { Reserve(capacity); }
    CByteBuffer(const CByteBuffer& other) : CByteBuffer(other.m_Size) {
        if (other.m_Size) std::memcpy(m_pBytes, other.m_pBytes, other.m_Size);
        m_Size = other.m_Size;
    }
    CByteBuffer(CByteBuffer&& other) noexcept
        : m_pBytes(std::exchange(other.m_pBytes, nullptr)),
          m_Size(std::exchange(other.m_Size, 0)),
          m_Capacity(std::exchange(other.m_Capacity, 0)) {}
    CByteBuffer& operator=(CByteBuffer other) noexcept {
        std::swap(m_pBytes, other.m_pBytes);
        std::swap(m_Size, other.m_Size);
        std::swap(m_Capacity, other.m_Capacity);
        return *this;
    }
    ~CByteBuffer() { std::free(m_pBytes); }

    char* Data() { return m_pBytes; }
    const char* Data() const { return m_pBytes; }
    std::size_t Size() const { return m_Size; }
    std::size_t Capacity() const { return m_Capacity; }
    void Resize(std::size_t size) {
        if (size > m_Capacity) Reserve(size);
        m_Size = size;
    }
    // Sets the capacity to exactly this (at least the size).
    void Reserve(std::size_t capacity) {
        if (capacity < m_Size) capacity = m_Size;
        void* bytes = std::realloc(m_pBytes, capacity ? capacity : 1);
        if (bytes == nullptr) throw std::bad_alloc();
        m_pBytes = static_cast<char*>(bytes);
        m_Capacity = capacity;
    }
    void Append(const char* bytes, std::size_t size) {
        if (m_Capacity - m_Size < size) Reserve(m_Size + std::max(size, m_Size / 2 + 64));
        std::memcpy(m_pBytes + m_Size, bytes, size);
        m_Size += size;
    }

private:
    char* m_pBytes = nullptr;
    std::size_t m_Size = 0;
    std::size_t m_Capacity = 0;
};

class CFieldStore {
public:
    std::size_t Count() const { return m_Count; }

    // Appends a field; the value is cut at a NUL, as a C text would be.
    void Append(std::string_view name, std::string_view value, std::size_t line = 0) {
        value = value.substr(0, value.find('\0'));
        m_Bytes.Append(name.data(), name.size());
        m_Bytes.Append("", 1);
        m_Bytes.Append(value.data(), value.size());
        m_Bytes.Append("", 1);
        AppendLine(line);
        ++m_Count;
    }

    // Packs the fields in the buffer that holds the text they were read
    // from. The caller appends fields in the order of the text, each from
    // text that lies at or after the end of what was packed so far, with one
    // byte to spare: a name, a separator, a value, and a byte after it. The
    // value holds no NUL.
    void TakeText(CByteBuffer&& text) {
        m_Bytes = std::move(text);
        m_Bytes.Resize(0);
        m_Lines = CByteBuffer();
        m_Count = 0;
        m_LastLine = 0;
    }
    void AppendFromText(std::string_view name, std::string_view value, std::size_t line) {
        if (m_Bytes.Capacity() - m_Bytes.Size() < name.size() + value.size() + 2)
            throw std::length_error("field packed past the end of its text");
        char* const write = m_Bytes.Data() + m_Bytes.Size();
        std::memmove(write, name.data(), name.size());
        write[name.size()] = '\0';
        std::memmove(write + name.size() + 1, value.data(), value.size());
        write[name.size() + 1 + value.size()] = '\0';
        m_Bytes.Resize(m_Bytes.Size() + name.size() + value.size() + 2);
        AppendLine(line);
        ++m_Count;
    }

    // Gives back the room the fields do not use.
    void Shrink() {
        m_Bytes.Reserve(m_Bytes.Size());
        m_Lines.Reserve(m_Lines.Size());
    }

    // Calls visit(name, value, line) for each field in order; names are
    // views, both texts are NUL-terminated.
    template <typename TVisit>
    void ForEach(TVisit&& visit) const {
        const char* at = m_Bytes.Data();
        const auto* lines = reinterpret_cast<const unsigned char*>(m_Lines.Data());
        std::size_t line = 0;
        for (std::size_t i = 0; i < m_Count; ++i) {
            const std::string_view name(at);
            const char* value = at + name.size() + 1;
            std::size_t step = 0;
            for (unsigned shift = 0;; shift += 7) {
                step |= static_cast<std::size_t>(*lines & 0x7F) << shift;
                if ((*lines++ & 0x80) == 0) break;
            }
            line += step;
            visit(name, value, line);
            at = value + std::strlen(value) + 1;
        }
    }

private:
    void AppendLine(std::size_t line) {
        std::size_t step = line - m_LastLine;  // lines never go back but in lists without them
        m_LastLine = line;
        char bytes[10];
        std::size_t size = 0;
        do {
            bytes[size++] = static_cast<char>((step & 0x7F) | (step > 0x7F ? 0x80 : 0));
            step >>= 7;
        } while (step != 0);
        m_Lines.Append(bytes, size);
    }

    CByteBuffer m_Bytes;
    CByteBuffer m_Lines;
    std::size_t m_Count = 0;
    std::size_t m_LastLine = 0;
};

// The warnings of a reader: the first SCRIVLET_MAX_WARNINGS, and a count of all.
class CWarningList {
public:
    void Add(std::size_t line, std::string_view text, std::string reason) {
        if (m_Count++ >= SCRIVLET_MAX_WARNINGS) return;
        std::string shown(text.substr(0, SCRIVLET_WARNING_TEXT_LENGTH));
        if (text.size() > SCRIVLET_WARNING_TEXT_LENGTH) shown += "...";
        m_List.push_back({line, std::move(shown), std::move(reason)});
    }
    std::size_t Count() const { return m_Count; }
    const std::vector<CVIFWarning>& List() const { return m_List; }

private:
    std::vector<CVIFWarning> m_List;
    std::size_t m_Count = 0;
};
