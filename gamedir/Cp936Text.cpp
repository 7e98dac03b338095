#include "gamedir/Cp936Text.h"

bool ContainsText(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  for (std::size_t i = 0; i + part.size() <= text.size(); i += platform::CharLength(text, i))
    if (text.compare(i, part.size(), part) == 0) return true;
  return false;
}
