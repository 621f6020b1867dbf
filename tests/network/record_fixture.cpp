#include "tests/network/record_fixture.h"

#include "history/sha256.h"
#include "tests/e2e/sample_document.h"

namespace quinterra::test {

TSystemTime Minute(double minutes) {
  return *ParseUtcText("2026-03-02T00:00:00.000Z") +
         std::chrono::milliseconds(static_cast<int64_t>(minutes * 60000));
}

TSignedDocument SignedDocument(const TKeyPair& key, int64_t version, int64_t published, int64_t lifetime) {
  TSignedDocument d;
  d.Publication.Network = "cadena";
  d.Publication.Version = version;
  d.Publication.Published =
      published ? published : std::chrono::duration_cast<std::chrono::seconds>(Minute(0).time_since_epoch()).count();
  d.Publication.Expires = d.Publication.Published + lifetime;
  d.Publication.Items = e2e::VariedDocumentTexts(static_cast<int>(version));
  d.Message = SignPublication(d.Publication, key.Secret);
  d.Hash = DocumentHashOf(d.Message);
  d.Images = PublicationImages(d.Publication);
  return d;
}

TShopState VerifiedState(const std::string& shop, const TSignedDocument& document) {
  TShopState s;
  s.Shop = shop;
  s.Network = "cadena";
  s.Instance = "a1";
  s.Version = document.Publication.Version;
  s.DocumentHash = document.Hash;
  s.Result = "verified";
  s.AppliedVersion = document.Publication.Version;
  s.CheckEvery = 600;
  for (const bool results : {true, false}) {
    TShopPanel& panel = results ? s.Results : s.Jackpots;
    panel.Status = TPanelStatus::Verified;
    panel.Version = document.Publication.Version;
    panel.ReadBack = results ? document.Images.results : document.Images.jackpots;
    panel.ReadHash = Sha256Hex(*panel.ReadBack);
  }
  return s;
}

void RecordBuilder::At(double minute, std::vector<TRecordEntry> entries) {
  std::vector<THistoryEvent> events;
  std::vector<THistoryImage> images;
  for (TRecordEntry& entry : entries) {
    entry.Event.Time = UtcText(Minute(minute));
    entry.Event.ImageSha256 = entry.Image.empty() ? std::string() : HexText(Sha256(entry.Image));
    if (!entry.Image.empty()) images.push_back({entry.Event.ImageSha256, entry.Image});
    events.push_back(entry.Event);
  }
  store_.Append(events, images);
}

}  // namespace quinterra::test
