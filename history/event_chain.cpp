#include "history/event_chain.h"

#include <vector>

namespace quinterra {

bool OutcomeReadsImage(const std::string& outcome) {
  return outcome == history_outcome::kVerified || outcome == history_outcome::kDifferent ||
         outcome == history_outcome::kRead;
}

bool THistoryEvent::operator==(const THistoryEvent& o) const {
  return Id == o.Id && Time == o.Time && Source == o.Source && Shop == o.Shop &&
         Device == o.Device && DeviceName == o.DeviceName && Panel == o.Panel && Kind == o.Kind &&
         Outcome == o.Outcome && ImageSha256 == o.ImageSha256 &&
         DocumentSha256 == o.DocumentSha256 && Version == o.Version && Chain == o.Chain &&
         Detail == o.Detail;
}

std::string ChainedFields(const THistoryEvent& event) {
  std::string text;
  auto field = [&text](const std::string& value) {
    text += std::to_string(value.size());
    text += ':';
    text += value;
  };
  field(std::to_string(event.Id));
  field(event.Time);
  field(event.Source);
  field(event.Shop);
  field(event.Device);
  field(event.DeviceName);
  field(event.Panel);
  field(event.Kind);
  field(event.Outcome);
  field(event.ImageSha256);
  field(event.DocumentSha256);
  field(event.Version ? std::to_string(*event.Version) : std::string());
  // Only when there is one: the events of before it hash as they did.
  if (!event.Detail.empty()) field(event.Detail);
  return text;
}

TDigest NextChain(const TDigest& previous, const THistoryEvent& event) {
  const std::string fields = ChainedFields(event);
  std::vector<uint8_t> input(previous.begin(), previous.end());
  input.insert(input.end(), fields.begin(), fields.end());
  return Sha256(input);
}

}  // namespace quinterra
