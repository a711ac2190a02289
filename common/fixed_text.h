// Fixed-capacity text field: holds at most N-1 characters plus the terminating NUL,
// cuts on assignment and can never overflow. The capacity is part of the field's
// behaviour ("cut to 31 characters"), so it lives in the type, not at each call site.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

template <std::size_t N> class FixedText {
    static_assert(N >= 1, "a fixed text needs room for its NUL");

  public:
    static constexpr std::size_t capacity = N - 1;

    FixedText() { data_[0] = '\0'; }
    FixedText(std::string_view text) { assign(text); } // NOLINT: implicit like the C arrays it replaces

    FixedText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }

    // Stores at most `capacity` characters of text; stops at an embedded NUL.
    void assign(std::string_view text) {
        std::size_t n = 0;
        while (n < text.size() && n < capacity && text[n] != '\0') {
            data_[n] = text[n];
            ++n;
        }
        data_[n] = '\0';
    }

    void append(std::string_view text) {
        std::size_t n = size();
        for (std::size_t i = 0; i < text.size() && n < capacity && text[i] != '\0'; ++i)
            data_[n++] = text[i];
        data_[n] = '\0';
    }

    void clear() { data_[0] = '\0'; }

    const char* c_str() const { return data_; }
    std::string_view view() const { return std::string_view(data_, size()); }
    std::string str() const { return std::string(view()); }
    std::size_t size() const { return std::strlen(data_); }
    bool empty() const { return data_[0] == '\0'; }

    // Raw buffer for formatting calls; the last byte always stays NUL.
    char* buffer() { return data_; }
    static constexpr std::size_t bufferSize() { return N; }

    friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

  private:
    char data_[N];
};
