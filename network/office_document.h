#pragma once
// What the office keeps in the network's folder beside its keys: the last
// version it published (office-version.txt) and that publication's exact
// signed bytes (office-document.json). The broker is not the only memory of
// what was published: one that lost its data, or came back from an older
// snapshot, is given the kept bytes again, and a new version counts above
// everything known (the kept files, the broker's document and what every
// shop says it applied), so that no shop ever refuses it as old.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "network/bundle.h"
#include "network/publication.h"

namespace quinterra {

class TFleet;

// The files of the network's folder that keep the last publication.
extern const char kPublishedVersionFile[];
extern const char kPublishedDocumentFile[];

// The office's bundle and the network's public key.
struct TOffice {
  TNetworkBundle Bundle;
  TVerifyKey PublicKey{};
};
// Nothing, with the reason in Spanish, when the folder is not an office's.
std::optional<TOffice> LoadOffice(const std::string& folder, std::string* failure);
// The office's signing key, when it is the network's; nothing, with the
// reason. Throws nothing.
std::optional<TSigningKey> LoadSigningKey(const TOffice& office, std::string* failure);

// The last publication the broker took from this folder.
struct TKeptDocument {
  std::string Message;  // the exact bytes published
  std::string Hash;     // DocumentHashOf(Message): the document's name
  int64_t Version = 0;
};
// Nothing when none is kept, or what is kept is not a publication signed
// with the network's key (its time aside). Throws FileError when the file
// is there but cannot be read.
std::optional<TKeptDocument> KeptDocument(const TOffice& office);

// Whether the broker must be given the kept document again: it holds no
// document, or a valid one of an older version.
bool BrokerLacks(const TKeptDocument& kept, const TFleet& fleet);
// What the office says when it gave it again: "el servidor había perdido la
// versión 7: publicada de nuevo".
std::string RestoredText(const TKeptDocument& kept, const TFleet& fleet);

// The version a publication made now takes: above the kept version, the
// kept document, the broker's document and every shop's applied version.
// Throws FileError when a kept file cannot be read (no version is guessed).
int64_t NextVersion(const TOffice& office, const TFleet& fleet);

// Why items cannot be published, before anything is signed, in Spanish:
// fewer than the document's cells ("el documento «X» tiene 40 de 134
// casillas: no se publica", X being document), or the first value its cell
// cannot hold, naming the cell. Empty when they can. More items than cells
// are cut, as a delivery cuts them.
std::string ItemsProblem(std::vector<std::string>& items, const std::string& document = {});

// The signed message of publication; empty, with the reason, when every
// shop would refuse it (then nothing is published at all).
std::string SignChecked(const TOffice& office, const TPublication& publication,
                        const TSigningKey& key, std::string* failure);

// Keeps a publication the broker took: its bytes, then its version, each
// written whole or not at all. Throws FileError naming the file that could
// not be written; whatever was written before stays.
void KeepPublication(const TOffice& office, const std::string& message, int64_t version);
// "publicada la versión 7, pero no se pudo guardar: ..." after a failed
// KeepPublication.
std::string UnsavedText(int64_t version, const std::string& why);

}  // namespace quinterra
