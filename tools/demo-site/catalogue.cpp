#include "demo-site/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tessaly::demo {
namespace {

// splitmix64: a fixed, well-mixed sequence per row index, so the sample data
// never changes between runs or machines.
std::uint64_t MixBits(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

class RowRandom {
 public:
  explicit RowRandom(std::size_t rowIndex) : state_(rowIndex * 0x100000001B3ULL + 7) {}
  std::size_t Next(std::size_t bound) {
    state_ = MixBits(state_);
    return static_cast<std::size_t>(state_ % bound);
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 14> kChineseTitles = {
    "高清电影合集", "经典电视剧全集", "纪录片精选", "动漫剧场版", "无损音乐专辑",
    "编程入门教程", "国语配音版",     "蓝光原盘",   "综艺节目",   "儿童动画",
    "考研复习资料", "摄影后期教程",   "科幻电影",   "历史讲座"};

constexpr std::array<std::string_view, 8> kAsciiTitles = {
    "Ubuntu ISO Collection", "Linux Kernel Notes", "Retro Game Pack", "Jazz Standards",
    "Open Movie Project",    "Night Sky Photos",   "Piano Lessons",   "City Walks"};

// "AVC" and "Java" hold the default search word too, in other letter cases
// and inside longer words.
constexpr std::array<std::string_view, 12> kTags = {
    "1080P", "4K", "HD", "BluRay", "FLAC", "MP4", "WEB-DL", "x265", "AVC", "Java", "中字", "双语"};

std::string FormatSize(std::size_t megabytes) {
  if (megabytes < 1000) return std::to_string(megabytes) + " MB";
  const std::size_t hundredths = megabytes * 100 / 1024;
  std::string cents = std::to_string(hundredths % 100);
  if (cents.size() < 2) cents.insert(0, 1, '0');
  return std::to_string(hundredths / 100) + "." + cents + " GB";
}

std::string MakeGiftCode(RowRandom& random) {
  constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string code;
  for (int i = 0; i < 4; ++i) code += kAlphabet[random.Next(kAlphabet.size())];
  return code;
}

// Civil date from a count of days since 1970-01-01 (proleptic Gregorian).
std::string FormatDate(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  // Built up by appending: GCC 12 at -O3 takes the prepending form for an
  // overlapping copy (-Wrestrict) and the Release build would fail.
  auto twoDigits = [](std::int64_t value) {
    std::string digits(value < 10 ? "0" : "");
    digits += std::to_string(value);
    return digits;
  };
  return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
}

constexpr std::int64_t kNewestDay = 20760;  // 2026-11-03
constexpr std::size_t kRowsPerDay = 9;

CatalogueRow MakeRow(std::size_t index) {
  RowRandom random(index);
  const std::string number = std::to_string(index + 1);
  const std::string_view tag = kTags[random.Next(kTags.size())];
  // Every sixth resource is tagged with the default search word itself.
  const std::string_view searchTag = index % 6 == 0 ? std::string_view("AV") : tag;
  CatalogueRow row;
  row.pageName = "code/" + std::to_string(100000 + index);
  if (index % 5 == 3) {
    row.name = std::string(kAsciiTitles[random.Next(kAsciiTitles.size())]) + " " +
               std::string(searchTag) + " Part " + number;
  } else {
    row.name = std::string(kChineseTitles[random.Next(kChineseTitles.size())]) + " " +
               std::string(searchTag) + " 第" + number + "辑";
  }
  row.size = FormatSize(50 + random.Next(8000));
  row.giftCode = MakeGiftCode(random);
  row.date = FormatDate(kNewestDay - static_cast<std::int64_t>(index / kRowsPerDay));
  return row;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

Catalogue::Catalogue(CatalogueShape shape)
    : pageCount_(std::max(shape.pages, 1)), rowsPerPage_(std::max(shape.rowsPerPage, 1)) {
  const std::size_t total = static_cast<std::size_t>(pageCount_) * rowsPerPage_;
  rows_.reserve(total);
  for (std::size_t i = 0; i < total; ++i) rows_.push_back(MakeRow(i));
}

std::span<const CatalogueRow> Catalogue::PageRows(int page) const {
  if (page < 1 || page > pageCount_) return {};
  return std::span<const CatalogueRow>(rows_).subspan(
      static_cast<std::size_t>(page - 1) * rowsPerPage_, rowsPerPage_);
}

std::vector<CatalogueRow> Catalogue::Search(std::string_view word) const {
  std::vector<CatalogueRow> found;
  if (word.empty()) return found;
  for (const CatalogueRow& row : rows_) {
    if (FindIgnoringAsciiCase(row.name, word) != std::string_view::npos) found.push_back(row);
  }
  return found;
}

int KeywordPageCount(std::size_t resultCount) {
  return static_cast<int>((resultCount + kResultsPerKeywordPage - 1) / kResultsPerKeywordPage);
}

std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view word, std::size_t from) {
  if (word.empty() || word.size() > text.size()) return std::string_view::npos;
  for (std::size_t start = from; start + word.size() <= text.size(); ++start) {
    std::size_t i = 0;
    while (i < word.size() && AsciiLower(text[start + i]) == AsciiLower(word[i])) ++i;
    if (i == word.size()) return start;
  }
  return std::string_view::npos;
}

}  // namespace tessaly::demo
