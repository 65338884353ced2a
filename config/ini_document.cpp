#include "config/ini_document.h"

#include "text/multibyte.h"

namespace config {
namespace {

// Ctrl-Z counts as a blank: it ends old DOS text files.
bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' '; }

std::string Trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The integer reader looks at the value through a buffer of 30 characters.
constexpr size_t kIntegerBufferSize = 30;

}  // namespace

IniDocument::IniDocument(platform::TextEncoding encoding, const uint8_t* bytes, size_t size)
    : encoding_(encoding) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.find('\r', at);
    end = end == std::string::npos ? text.size() : end + 1;
    AddLine(Trimmed(text.substr(at, end - at)));
    at = end;
  }
}

void IniDocument::AddLine(const std::string& line) {
  if (line.empty()) return;
  if (line[0] == '[') {
    size_t close = text::FindLastChar(encoding_, line, ']');
    if (close != std::string::npos && close > 0) {
      sections_.push_back(Section{Trimmed(line.substr(1, close - 1)), {}});
      return;
    }
  }
  // Keys above the first section belong to no section that can be asked for.
  if (sections_.empty()) return;
  size_t equals = text::FindChar(encoding_, line, '=');
  if (equals == std::string::npos) {
    sections_.back().keys.push_back(Key{line, std::string(), false});
  } else {
    sections_.back().keys.push_back(
        Key{Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), true});
  }
}

bool IniDocument::SameName(const std::string& stored, const char* wanted) const {
  std::string other = Trimmed(wanted);
  if (stored.size() != other.size()) return false;
  for (size_t at = 0; at < stored.size();) {
    size_t length = text::CharLength(encoding_, stored, at);
    if (length != text::CharLength(encoding_, other, at)) return false;
    if (length == 1) {
      if (AsciiLower(stored[at]) != AsciiLower(other[at])) return false;
    } else if (stored.compare(at, length, other, at, length) != 0) {
      return false;
    }
    at += length;
  }
  return true;
}

const IniDocument::Key* IniDocument::Find(const char* section, const char* key) const {
  for (const Section& candidate : sections_) {
    if (!SameName(candidate.name, section)) continue;
    for (const Key& entry : candidate.keys) {
      if (SameName(entry.name, key)) return &entry;
    }
    return nullptr;
  }
  return nullptr;
}

bool IniDocument::HasSection(const char* section) const {
  for (const Section& candidate : sections_) {
    if (SameName(candidate.name, section)) return true;
  }
  return false;
}

std::string IniDocument::Text(const char* section, const char* key, size_t bufferSize) const {
  const Key* entry = Find(section, key);
  if (entry == nullptr || !entry->hasValue || bufferSize == 0) return std::string();
  std::string value = entry->value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  value.resize(text::WholeCharsWithin(encoding_, value, bufferSize - 1));
  return value;
}

int32_t IniDocument::Integer(const char* section, const char* key, int32_t fallback) const {
  std::string value = Text(section, key, kIntegerBufferSize);
  return value.empty() ? fallback : LeadingDecimal(value);
}

int32_t LeadingDecimal(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && ((text[at] >= 0x09 && text[at] <= 0x0D) || text[at] == ' ')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  uint32_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10u + static_cast<uint32_t>(text[at] - '0');
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace config
