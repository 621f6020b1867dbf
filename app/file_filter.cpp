#include "app/file_filter.h"

#include <QStringList>

namespace quinterra {

QString QtNameFilters(const QString& pipe_filter) {
  const QStringList parts = pipe_filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts))
      patterns << (pattern.trimmed() == "*.*" ? QStringLiteral("*") : pattern.trimmed());
    const QString shown = "(" + patterns.join(' ') + ")";
    const QString windows_shown = "(" + parts[i + 1].trimmed() + ")";
    if (description.endsWith(shown))
      filters << description;
    else if (description.endsWith(windows_shown))
      filters << description.left(description.size() - windows_shown.size()) + shown;
    else
      filters << description + " " + shown;
  }
  return filters.join(";;");
}

}  // namespace quinterra
