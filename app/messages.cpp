#include "app/messages.h"

#include "platform/string_table.h"
#include "text/format.h"

std::string LoadMessage(uint16_t id, const std::string& argument) {
  std::string format;
  if (!platform::LoadResourceString(id, &format)) return std::string();
  return text::FormatText(format, argument);
}
