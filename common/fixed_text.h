#pragma once

#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace vornix {

// A fixed-width text field padded with zero bytes. A value that fills the width has no
// terminator; every reader treats the field as text of at most N bytes.
template <size_t N>
class FixedText {
 public:
  static constexpr size_t kWidth = N;

  FixedText() { clear(); }

  std::string_view view() const {
    const void* nul = std::memchr(bytes_.data(), '\0', N);
    const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes_.data()) : N;
    return std::string_view(bytes_.data(), len);
  }
  std::string str() const { return std::string(view()); }
  bool empty() const { return bytes_[0] == '\0'; }

  // Stores the value cut to the width.
  void assign(std::string_view value) {
    clear();
    std::memcpy(bytes_.data(), value.data(), value.size() < N ? value.size() : N);
  }
  void clear() { bytes_.fill('\0'); }

  const std::array<char, N>& bytes() const { return bytes_; }

 private:
  std::array<char, N> bytes_;
};

}  // namespace vornix
