#pragma once
// File dialog filters written the Windows way ("Text|*.ltr|All|*.*") turned
// into Qt's name filters ("Text (*.ltr);;All (*)").

#include <QString>

namespace quinterra {

// Pairs of description and patterns separated by '|'; patterns separated by
// ';'. "*.*" becomes "*" so that names without a dot match, as on Windows.
// A description that already shows its patterns in parentheses keeps them.
QString QtNameFilters(const QString& pipe_filter);

}  // namespace quinterra
