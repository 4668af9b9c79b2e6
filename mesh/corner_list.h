// A polygon's per-corner array: the first few corners held inside the polygon itself, so that
// the triangles and quads of a mesh are built, copied and freed without touching the heap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <type_traits>
#include <vector>

namespace kestrune {

template <typename T, uint32_t Inline = 4>
class CornerList {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    using value_type = T;
    using size_type = size_t;
    using iterator = T*;
    using const_iterator = const T*;
    using reference = T&;
    using const_reference = const T&;

    CornerList() = default;
    CornerList(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
    CornerList(const CornerList& other) { copyFrom(other); }
    CornerList(CornerList&& other) noexcept { take(other); }
    ~CornerList() { release(); }

    CornerList& operator=(const CornerList& other) {
        if (this != &other) copyFrom(other);
        return *this;
    }
    CornerList& operator=(CornerList&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    CornerList& operator=(std::initializer_list<T> values) {
        assign(values.begin(), values.end());
        return *this;
    }
    CornerList& operator=(const std::vector<T>& values) {
        assign(values.begin(), values.end());
        return *this;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    template <typename It>
    void assign(It first, It last) {
        const size_t n = static_cast<size_t>(std::distance(first, last));
        clear();
        reserve(n);
        std::copy(first, last, data_);
        size_ = static_cast<uint32_t>(n);
    }
    void assign(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
    void assign(size_t n, const T& value) {
        clear();
        resize(n, value);
    }
    // New corners are value-initialised (zero), as a vector's are.
    void resize(size_t n) { resize(n, T{}); }
    void resize(size_t n, const T& value) {
        reserve(n);
        if (n > size_) std::fill(data_ + size_, data_ + n, value);
        size_ = static_cast<uint32_t>(n);
    }
    void push_back(const T& value) {
        if (size_ == capacity_) reserve(size_t{capacity_} * 2);
        data_[size_++] = value;
    }
    void clear() { size_ = 0; }

    void reserve(size_t n) {
        if (n <= capacity_) return;
        T* grown = new T[n];
        if (size_) std::memcpy(grown, data_, sizeof(T) * size_);
        release();
        data_ = grown;
        capacity_ = static_cast<uint32_t>(n);
    }

    friend bool operator==(const CornerList& a, const CornerList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const CornerList& a, const std::vector<T>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    bool onHeap() const { return data_ != inline_; }
    // Short lists, nearly every polygon's, are copied as one block.
    void copyFrom(const CornerList& other) {
        if (!other.onHeap() && !onHeap()) {
            std::memcpy(inline_, other.inline_, sizeof inline_);
            size_ = other.size_;
        } else {
            assign(other.begin(), other.end());
        }
    }
    void release() {
        if (onHeap()) delete[] data_;
        data_ = inline_;
        capacity_ = Inline;
    }
    // Leaves other empty; heap storage changes hands, inline corners are copied.
    void take(CornerList& other) {
        if (other.onHeap()) {
            data_ = other.data_;
            capacity_ = other.capacity_;
            other.data_ = other.inline_;
            other.capacity_ = Inline;
        } else {
            std::memcpy(inline_, other.inline_, sizeof(T) * other.size_);
        }
        size_ = other.size_;
        other.size_ = 0;
    }

    T* data_ = inline_;
    uint32_t size_ = 0;
    uint32_t capacity_ = Inline;
    T inline_[Inline] = {};
};

} // namespace kestrune
