#include "app/window_texts.h"

#include <cctype>
#include <sstream>

#include "panels/panel_layout.h"

namespace quinterra {

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char kCaptionStem[] = "Quinterra v4.3";

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text)
    if (!std::isdigit(c)) return false;
  return true;
}

bool EndsWithLtr(const std::string& title) {
  if (title.size() < 4) return false;
  std::string tail = title.substr(title.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".ltr";
}

}  // namespace

std::string CaptionFromBuildDate(const std::string& date_text) {
  std::istringstream words(date_text);
  std::string month_word, day_word, year_word, extra;
  if (!(words >> month_word >> day_word >> year_word) || (words >> extra)) return kCaptionStem;
  int month = 0;
  for (int i = 0; i < 12; ++i)
    if (month_word == kMonths[i]) month = i + 1;
  if (month == 0 || !AllDigits(day_word) || !AllDigits(year_word) || day_word.size() > 2 ||
      year_word.size() > 4)
    return kCaptionStem;
  const int day = std::stoi(day_word);
  const int year = std::stoi(year_word);
  if (day < 1 || day > 31) return kCaptionStem;
  return std::string(kCaptionStem) + "." + std::to_string(year % 100) + "." +
         std::to_string(month) + "." + std::to_string(day);
}

std::string FileTitle(const std::string& file_name) {
  const std::string::size_type cut = file_name.find_last_of("\\/");
  return cut == std::string::npos ? file_name : file_name.substr(cut + 1);
}

std::string DocumentTitle(const std::string& file_name) {
  std::string title = FileTitle(file_name);
  if (EndsWithLtr(title)) title.resize(title.size() - 4);
  return title;
}

std::string DocumentCaption(const std::string& base_caption, const std::string& document_name) {
  if (document_name.empty()) return base_caption + " - Nuevo";
  return base_caption + " - " + DocumentTitle(document_name);
}

std::string ShortDocumentNote(size_t items) {
  return "El documento tiene " + std::to_string(items) + " de " + std::to_string(kCellCount) +
         " casillas; las demás quedan vacías";
}

}  // namespace quinterra
