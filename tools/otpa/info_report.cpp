#include "tools/otpa/info_report.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

void Appendf(std::string* out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char small[256];
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(small, sizeof small, format, arguments);
  va_end(arguments);
  if (length > 0 && static_cast<size_t>(length) < sizeof small) {
    out->append(small, static_cast<size_t>(length));
  } else if (length > 0) {
    const size_t at = out->size();
    out->resize(at + static_cast<size_t>(length) + 1);
    std::vsnprintf(&(*out)[at], static_cast<size_t>(length) + 1, format, again);
    out->resize(at + static_cast<size_t>(length));
  }
  va_end(again);
}

void JsonReport::Begin(const char* name, bool list) {
  Key(name);
  out_->append(list ? "[" : "{");
  first_.push_back(true);
  list_.push_back(list);
}

void JsonReport::End() {
  const bool list = list_.back();
  first_.pop_back();
  list_.pop_back();
  out_->append(list ? "]" : "}");
  if (first_.empty()) out_->append("\n");
}

void JsonReport::Number(const char* name, uint64_t value) {
  Key(name);
  Appendf(out_, "%" PRIu64, value);
}

void JsonReport::Hex(const char* name, uint32_t value) {
  Key(name);
  Appendf(out_, "\"0x%08" PRIX32 "\"", value);
}

void JsonReport::Text(const char* name, const std::string& value) {
  Key(name);
  Quoted(value, false);
}

void JsonReport::Utf8(const char* name, const std::string& value) {
  Key(name);
  Quoted(value, true);
}

void JsonReport::Flag(const char* name, bool value) {
  Key(name);
  out_->append(value ? "true" : "false");
}

void JsonReport::Null(const char* name) {
  Key(name);
  out_->append("null");
}

// Separator and name before a value or a container.
void JsonReport::Key(const char* name) {
  if (!first_.empty() && !first_.back()) out_->append(",");
  if (!list_.empty() && !list_.back() && name != nullptr) Appendf(out_, "\"%s\":", name);
  if (!first_.empty()) first_.back() = false;
}

void JsonReport::Quoted(const std::string& value, bool utf8) {
  out_->append("\"");
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') {
      Appendf(out_, "\\%c", c);
    } else if (c < 0x20 || c == 0x7F || (c > 0x7F && !utf8)) {
      Appendf(out_, "\\u%04x", c);
    } else {
      out_->push_back(static_cast<char>(c));
    }
  }
  out_->append("\"");
}

std::string TagText(const uint8_t* tag) {
  std::string text;
  for (int k = 0; k < 4; ++k) text += (tag[k] >= 0x20 && tag[k] < 0x7F) ? static_cast<char>(tag[k]) : '?';
  return text;
}

uint64_t DateNumber(const uint8_t (&date)[8]) {
  uint64_t number = 0;
  for (uint8_t b : date) number = (number << 8) | b;
  return number;
}

std::string DateText(const uint8_t (&date)[8]) {
  const int64_t seconds = static_cast<int64_t>(DateNumber(date));
  // Whole days and the seconds into the last one, rounded down for dates
  // before 1904.
  int64_t days = seconds / 86400;
  int64_t second = seconds % 86400;
  if (second < 0) {
    second += 86400;
    days -= 1;
  }
  // The civil date of a day count, counted in 400-year eras from 0000-03-01
  // (H. Hinnant's days-to-civil); 1904-01-01 is day 695,361 after that.
  const int64_t z = days + 695361;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  std::string text;
  Appendf(&text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRId64 ":%02" PRId64 ":%02" PRId64 " UTC", year,
          month, day, second / 3600, second / 60 % 60, second % 60);
  return text;
}

std::string CountText(uint64_t count) {
  std::string digits = std::to_string(count);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string Counted(uint64_t count, const char* singular, const char* plural) {
  return CountText(count) + " " + (count == 1 ? singular : plural);
}
