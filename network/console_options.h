#pragma once
// Command lines of the network's programs in Spanish: QCommandLineParser
// reads them, but its own help, version and error texts are English, so the
// programs print their own help and these errors.

#include <QCommandLineParser>
#include <QStringList>

#include <string>

namespace quinterra {

// Adds options to parser and parses arguments (the program's name first).
// Empty on success, else why not, in Spanish.
std::string ParseOptions(QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                         const QStringList& arguments);

}  // namespace quinterra
