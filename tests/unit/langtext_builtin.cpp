#include <iterator>

#include "format.h"

namespace vl {
// German names and formats as the built-in locale has them.
const char *LangText(int field) {
  static const char *const kFields[] = {
      nullptr, "So", "Mo", "Di", "Mi", "Do", "Fr", "Sa", "Sonntag", "Montag", "Dienstag", "Mittwoch",
      "Donnerstag", "Freitag", "Samstag", "Jan.", "Feb.", "M\xe4rz", "Apr.", "Mai", "Juni", "Juli", "Aug.",
      "Sept.", "Okt.", "Nov.", "Dez.", "Januar", "Februar", "M\xe4rz", "April", "Mai", "Juni", "Juli",
      "August", "September", "Oktober", "November", "Dezember", "%a., %d. %b %Y, %H:%M:%S",
      "%a., %d. %b %Y", "%H:%M:%S", "", "", "%H:%M:%S", ".", "", "", "?", "-",
  };
  return field >= 1 && field < static_cast<int>(std::size(kFields)) ? kFields[field] : nullptr;
}
}  // namespace vl
