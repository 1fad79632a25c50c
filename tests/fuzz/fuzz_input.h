// Turning one fuzz input into the arguments of the operation under test, and
// stopping the run when an invariant does not hold.
//
// Layout of an input: byte 0 is the separator; the next `controlBytes` bytes
// are control values (flags, small numbers); the rest is split on the
// separator into pieces. Short inputs read as zero controls and empty pieces,
// so every input is a valid call. Letting the input choose its separator
// lets pieces hold any byte, zero bytes included.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace tessaly::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size, std::size_t controlBytes) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    if (all.empty()) return;
    const char separator = all.front();
    controls_ = all.substr(1, controlBytes);
    std::string_view rest = all.substr(std::min(all.size(), 1 + controlBytes));
    rest_ = rest;
    for (;;) {
      const std::size_t at = rest.find(separator);
      pieces_.push_back(rest.substr(0, at));
      if (at == std::string_view::npos) break;
      rest.remove_prefix(at + 1);
    }
  }

  // Control byte i as a value 0-255 (0 when the input is too short).
  unsigned Control(std::size_t i) const {
    return i < controls_.size() ? static_cast<unsigned char>(controls_[i]) : 0U;
  }
  bool Flag(std::size_t i, unsigned bit) const { return (Control(i) >> bit) & 1U; }
  // Control byte i as a small signed number, -128..127.
  int SignedControl(std::size_t i) const { return static_cast<int>(Control(i)) - 128; }
  // Four control bytes from i on as a 32-bit signed number.
  int IntControl(std::size_t i) const {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | Control(i + k);
    return static_cast<int>(v);
  }

  std::string_view Piece(std::size_t i) const {
    return i < pieces_.size() ? pieces_[i] : std::string_view();
  }
  Text TextPiece(std::size_t i) const { return Text(Piece(i)); }
  Bytes BytesPiece(std::size_t i) const { return Bytes(Piece(i)); }
  // Everything after the controls, separators included.
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view controls_;
  std::string_view rest_;
  std::vector<std::string_view> pieces_;
};

// Stops the run with a message; libFuzzer then saves the input as a crash.
inline void Require(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

// A Text never holds a zero byte.
inline void RequireNoZero(const Text& text, const char* what) {
  Require(text.view().find('\0') == std::string_view::npos, what);
}

}  // namespace tessaly::fuzz
