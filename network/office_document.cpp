#include "network/office_document.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "network/fleet.h"
#include "panels/document_check.h"
#include "panels/panel_layout.h"
#include "platform/file_io.h"

namespace quinterra {

const char kPublishedVersionFile[] = "office-version.txt";
const char kPublishedDocumentFile[] = "office-document.json";

std::optional<TOffice> LoadOffice(const std::string& folder, std::string* failure) {
  std::optional<TNetworkBundle> bundle = LoadBundle(folder, failure);
  if (!bundle) return std::nullopt;
  const std::optional<TVerifyKey> key = LoadOfficeKey(*bundle, failure);
  if (!key) return std::nullopt;
  return TOffice{*bundle, *key};
}

std::optional<TSigningKey> LoadSigningKey(const TOffice& office, std::string* failure) {
  const std::string path = office.Bundle.File(kOfficeSigningKeyFile);
  try {
    const std::optional<TSigningKey> key = SigningKeyFromText(ReadWholeFile(path));
    if (key && PublicKeyOf(*key) == office.PublicKey) return key;
  } catch (const FileError& error) {
    if (failure) *failure = error.what();
    return std::nullopt;
  }
  if (failure) *failure = path + " no es la clave de firma de la red";
  return std::nullopt;
}

std::optional<TKeptDocument> KeptDocument(const TOffice& office) {
  const std::optional<std::string> message =
      ReadFileIfExists(office.Bundle.File(kPublishedDocumentFile));
  if (!message || message->empty()) return std::nullopt;
  // Judged as the office judges the broker's: an expired document is still
  // the one the shops were last asked to show.
  const TReadResult read = ReadPublication(*message, office.PublicKey, office.Bundle.Network, 0);
  if (read.Refusal != TRefusal::None && read.Refusal != TRefusal::NotYetValid) return std::nullopt;
  return TKeptDocument{*message, read.DocumentHash, read.Publication->Version};
}

bool BrokerLacks(const TKeptDocument& kept, const TFleet& fleet) {
  if (!fleet.HasDocument()) return true;
  // A document that does not read is left alone: its version is unknown.
  return fleet.Document() && fleet.Document()->Version < kept.Version;
}

std::string RestoredText(const TKeptDocument& kept, const TFleet& fleet) {
  const std::string version = std::to_string(kept.Version);
  if (fleet.Document() && fleet.DocumentHash() != kept.Hash)
    return "el servidor tenía la versión " + std::to_string(fleet.Document()->Version) +
           " en lugar de la " + version + ": publicada de nuevo la " + version;
  return "el servidor había perdido la versión " + version + ": publicada de nuevo";
}

int64_t NextVersion(const TOffice& office, const TFleet& fleet) {
  const std::optional<std::string> kept = ReadFileIfExists(office.Bundle.File(kPublishedVersionFile));
  int64_t last = kept ? std::atoll(kept->c_str()) : 0;
  if (const std::optional<TKeptDocument> document = KeptDocument(office))
    last = std::max(last, document->Version);
  if (fleet.Document()) last = std::max(last, fleet.Document()->Version);
  return std::max(last, fleet.HighestAppliedVersion()) + 1;
}

std::string ItemsProblem(std::vector<std::string>& items, const std::string& document) {
  // A short document would blank every cell it lacks on every shop's panels.
  if (items.size() < static_cast<size_t>(kCellCount))
    return "el documento " + (document.empty() ? std::string() : "«" + document + "» ") + "tiene " +
           std::to_string(items.size()) + " de " + std::to_string(kCellCount) +
           " casillas: no se publica";
  items.resize(kCellCount);
  return DocumentItemsProblem(items);
}

std::string SignChecked(const TOffice& office, const TPublication& publication,
                        const TSigningKey& key, std::string* failure) {
  std::string message = SignPublication(publication, key);
  const TReadResult check = ReadPublication(message, office.PublicKey, office.Bundle.Network,
                                            static_cast<int64_t>(std::time(nullptr)));
  if (check.Refusal == TRefusal::None) return message;
  if (failure) *failure = RefusalReason(check);
  return {};
}

void KeepPublication(const TOffice& office, const std::string& message, int64_t version) {
  // The document first: when only it could be written, the next version
  // still counts above it.
  WriteFileAtomically(office.Bundle.File(kPublishedDocumentFile), message);
  WriteFileAtomically(office.Bundle.File(kPublishedVersionFile), std::to_string(version) + "\n");
}

std::string UnsavedText(int64_t version, const std::string& why) {
  return "publicada la versión " + std::to_string(version) + ", pero no se pudo guardar: " + why;
}

}  // namespace quinterra
