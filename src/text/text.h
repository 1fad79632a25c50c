// Text values of the whole program: GBK bytes with 1-based byte positions.
//
// A Text never holds a zero byte (constructors stop at the first one), so
// the empty and the absent text are one value. A byte 0x80-0xFF starts a
// two-byte character; every scanning operation steps over such a pair as one
// unit and never starts a match, a cut or a case change at its second byte.
// Positions are 1-based byte positions; a search that finds nothing gives
// kNotFound (-1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

inline constexpr int kNotFound = -1;

class Text {
 public:
  Text() = default;
  // Takes the bytes up to, not including, the first zero byte.
  Text(const char* zeroTerminated);  // NOLINT(google-explicit-constructor)
  explicit Text(std::string_view bytes);
  explicit Text(std::string&& bytes);
  // For producers that cannot make a zero byte (the GBK encoder given units
  // without a zero unit): takes the bytes as they are, without the scan.
  struct NoZeroByte {};
  Text(std::string&& bytes, NoZeroByte) : bytes_(std::move(bytes)) {}
  // The same in place, keeping the storage: for a text refilled call after
  // call from bytes that were a Text's.
  void Assign(std::string_view bytes, NoZeroByte) { bytes_.assign(bytes); }

  const std::string& bytes() const { return bytes_; }
  std::string_view view() const { return bytes_; }
  int size() const { return static_cast<int>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }

  // Appends in place (no zero byte can enter: the arguments are Texts).
  Text& operator+=(const Text& other) {
    bytes_ += other.bytes_;
    return *this;
  }
  void reserve(std::size_t n) { bytes_.reserve(n); }

  friend bool operator==(const Text& a, const Text& b) = default;
  friend Text operator+(Text a, const Text& b) { return a += b; }

 private:
  std::string bytes_;
};

// A byte array that may hold zero bytes.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(std::string_view bytes) : data_(bytes) {}
  explicit Bytes(std::string&& bytes) : data_(std::move(bytes)) {}

  const std::string& data() const { return data_; }
  std::string& mutable_data() { return data_; }
  std::string_view view() const { return data_; }
  int size() const { return static_cast<int>(data_.size()); }
  bool empty() const { return data_.empty(); }

  friend bool operator==(const Bytes& a, const Bytes& b) = default;

 private:
  std::string data_;
};

// Elements are read in order (range-for); code that needs an element's number
// counts from 1, as IndexOfText does.
using TextArray = std::vector<Text>;

int TxLen(const Text& text);
Text TxLeft(const Text& text, int n);
Text TxRight(const Text& text, int n);
Text TxMid(const Text& text, int start, int n);

// Start omitted, 0 or negative searches from position 1.
int TxFind(const Text& text, const Text& needle, std::optional<int> start = std::nullopt,
           bool caseInsensitive = false);
// Last occurrence lying wholly before position start; start omitted searches
// the whole text, a start of 1 or less finds nothing.
int TxFindLast(const Text& text, const Text& needle, std::optional<int> start = std::nullopt,
               bool caseInsensitive = false);

Text TxReplace(const Text& text, const Text& find, const Text& replacement);
TextArray TxSplit(const Text& text, const Text& separator);
Text TxTrim(const Text& text);
Text TxStripSpaces(const Text& text);
Text TxLower(const Text& text);
int TxToInt(const Text& text);
Text TxFromInt(int value);
Text TxHex(int value);
Text TxChar(int code);
Text TxSpaces(int n);

template <typename... Rest>
Text TxJoin(const Text& first, const Rest&... rest) {
  Text joined = first;
  ((joined += rest), ...);
  return joined;
}

int TxCompare(const Text& a, const Text& b);
Bytes TxToBytes(const Text& text);

Text BxToText(const Bytes& bytes);
Bytes BxZeros(int n);
Bytes BxLeft(const Bytes& bytes, int n);
int BxFind(const Bytes& bytes, const Bytes& needle);
int BxLen(const Bytes& bytes);

template <typename... Rest>
Bytes BxJoin(const Bytes& first, const Rest&... rest) {
  std::string joined = first.data();
  ((joined += rest.data()), ...);
  return Bytes(std::move(joined));
}

// In both markers every "#引号" stands for a double quote.
Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start = std::nullopt, bool caseInsensitive = false);
Text HeaderValue(const Text& text);

}  // namespace tessaly
