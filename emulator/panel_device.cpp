#include "emulator/panel_device.h"

#include <stdexcept>

#include "bus/crc16.h"
#include "emulator/device_commands.h"

namespace quinterra {

using namespace device_commands;

const char* OutcomeName(TRequestOutcome outcome) {
  switch (outcome) {
    case TRequestOutcome::Answered: return "answered";
    case TRequestOutcome::AnswerDropped: return "answer dropped";
    case TRequestOutcome::AnswerCorrupted: return "answer corrupted";
    case TRequestOutcome::OtherAddress: return "other address";
    case TRequestOutcome::Refused: return "refused";
    case TRequestOutcome::UnknownCommand: return "unknown command";
    case TRequestOutcome::Silent: return "silent";
    case TRequestOutcome::ReadIgnored: return "read ignored";
  }
  return "?";
}

std::vector<uint8_t> EncodeAnswer(uint8_t address, uint8_t command, const uint8_t (&param)[5],
                                  const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame;
  frame.reserve(payload.size() + kFrameOverhead);
  frame.push_back(address);
  frame.push_back(static_cast<uint8_t>(command | kAnswerBit));
  frame.insert(frame.end(), param, param + 5);
  frame.push_back(static_cast<uint8_t>(payload.size() >> 8));
  frame.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
  frame.insert(frame.end(), payload.begin(), payload.end());
  const uint16_t check = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(check >> 8));
  frame.push_back(static_cast<uint8_t>(check & 0xFF));
  return frame;
}

std::string TPanelDeviceEmulator::ValidateOptions(const TPanelDeviceOptions& options) {
  if (options.Address < 1 || options.Address > 127) return "the address must be 1 to 127";
  if (options.Model != 10 && options.Model != 11) return "the model must be 10 or 11";
  if (!LayoutFor(options.Model, options.SmallBlocks)) return "128-byte blocks exist for model 10 only";
  if (options.DropPercent < 0 || options.DropPercent > 100) return "the drop percentage must be 0 to 100";
  if (options.CorruptPercent < 0 || options.CorruptPercent > 100)
    return "the corrupt percentage must be 0 to 100";
  if (options.DelayMs < 0) return "the delay must not be negative";
  return {};
}

static const TPanelDeviceOptions& Validated(const TPanelDeviceOptions& options) {
  const std::string problem = TPanelDeviceEmulator::ValidateOptions(options);
  if (!problem.empty()) throw std::invalid_argument(problem);
  return options;
}

TPanelDeviceEmulator::TPanelDeviceEmulator(const TPanelDeviceOptions& options)
    : options_(Validated(options)),
      memory_(*LayoutFor(options.Model, options.SmallBlocks), options.Address),
      random_(options.Seed) {
  // The text and its zero byte must fit one answer.
  if (options_.BuildText.size() > kMaxPayload - 1) options_.BuildText.resize(kMaxPayload - 1);
}

void TPanelDeviceEmulator::ReceiveBytes(const uint8_t* bytes, size_t count) {
  incoming_.insert(incoming_.end(), bytes, bytes + count);
  if (serving_) return;  // an event handler fed us: the loop below picks it up
  serving_ = true;
  try {
    for (size_t next = 0; next < incoming_.size(); ++next) {
      scanner_.Push(incoming_[next]);
      TDeviceRequest request;
      while (scanner_.Take(request)) Serve(request);
    }
  } catch (...) {
    incoming_.clear();
    serving_ = false;
    throw;
  }
  incoming_.clear();
  serving_ = false;
}

void TPanelDeviceEmulator::LineIdle() {
  if (serving_) return;
  serving_ = true;
  try {
    while (scanner_.HasUnfinished()) {
      scanner_.AbandonUnfinished();
      TDeviceRequest request;
      while (scanner_.Take(request)) Serve(request);
    }
  } catch (...) {
    serving_ = false;
    throw;
  }
  serving_ = false;
  // Bytes fed from inside a handler meanwhile.
  if (!incoming_.empty()) {
    std::vector<uint8_t> pending;
    pending.swap(incoming_);
    ReceiveBytes(pending.data(), pending.size());
  }
}

bool TPanelDeviceEmulator::IsSilent() const {
  return options_.SilentAfter >= 0 && answered_ >= static_cast<uint64_t>(options_.SilentAfter);
}

std::vector<uint8_t> TPanelDeviceEmulator::InfoRecord() const {
  std::vector<uint8_t> record(9, 0);
  record[0] = static_cast<uint8_t>(options_.Model);
  record[8] = options_.SmallBlocks ? 0 : 1;
  return record;
}

void TPanelDeviceEmulator::Serve(const TDeviceRequest& request) {
  auto report = [&](TRequestOutcome outcome) {
    if (OnRequest) OnRequest(*this, request, outcome);
  };
  if (request.Address != options_.Address) return report(TRequestOutcome::OtherAddress);
  if (IsSilent()) return report(TRequestOutcome::Silent);
  std::vector<uint8_t> answer;
  TRequestOutcome why_not = TRequestOutcome::Refused;
  if (!Execute(request, answer, why_not)) return report(why_not);
  ++answered_;
  // Three draws per answer whatever the settings, so that one seed gives the
  // same sequence of faults when only a percentage changes.
  const bool drop = random_() % 100 < static_cast<unsigned>(options_.DropPercent);
  const bool corrupt = random_() % 100 < static_cast<unsigned>(options_.CorruptPercent);
  const size_t position = random_() % answer.size();
  if (drop) return report(TRequestOutcome::AnswerDropped);
  if (corrupt) {
    answer[position] ^= 0xFF;
    report(TRequestOutcome::AnswerCorrupted);
  } else {
    report(TRequestOutcome::Answered);
  }
  if (OnAnswer) OnAnswer(*this, answer.data(), answer.size());
}

bool TPanelDeviceEmulator::Execute(const TDeviceRequest& request, std::vector<uint8_t>& answer,
                                   TRequestOutcome& why_not) {
  uint8_t param[5] = {0, 0, 0, 0, 0};
  std::vector<uint8_t> payload;
  const uint32_t address = request.MemoryAddress();
  switch (request.Command) {
    case kPing:
      for (size_t i = 0; i < 5; ++i) param[i] = request.Param[i];
      break;
    case kInformation:
      payload = InfoRecord();
      break;
    case kBuild:
      payload.assign(options_.BuildText.begin(), options_.BuildText.end());
      payload.push_back(0);
      break;
    case kMemoryRead:
      if (options_.NoReads) {
        why_not = TRequestOutcome::ReadIgnored;
        return false;
      }
      if (request.Count() > kMaxPayload || !memory_.Read(address, request.Count(), payload)) {
        why_not = TRequestOutcome::Refused;
        return false;
      }
      if (CutsThisRead(address, payload.size())) payload.resize(payload.size() / 2);
      param[0] = request.Param[0];
      param[1] = request.Param[1];
      param[2] = request.Param[2];
      break;
    case kMemoryWrite: {
      const auto span = memory_.Locate(address, static_cast<uint32_t>(request.Payload.size()));
      if (!span || !memory_.Write(address, request.Payload.data(), request.Payload.size())) {
        why_not = TRequestOutcome::Refused;
        return false;
      }
      StoreWrong(address, request.Payload.size());
      if (OnMemoryWritten) OnMemoryWritten(*this, span->Area);
      param[0] = request.Param[0];
      param[1] = request.Param[1];
      param[2] = request.Param[2];
      break;
    }
    case kCheck: {
      const uint16_t check = Crc16(request.Payload.data(), request.Payload.size());
      param[0] = static_cast<uint8_t>(check >> 8);
      param[1] = static_cast<uint8_t>(check & 0xFF);
      break;
    }
    default:
      why_not = TRequestOutcome::UnknownCommand;
      return false;
  }
  answer = EncodeAnswer(options_.Address, request.Command, param, payload);
  return true;
}

bool TPanelDeviceEmulator::CutsThisRead(uint32_t address, size_t count) const {
  if (!options_.ShortReadDisplayOffset) return false;
  const uint32_t at = kDisplayBase + *options_.ShortReadDisplayOffset;
  return at >= address && at < address + count;
}

void TPanelDeviceEmulator::StoreWrong(uint32_t address, size_t count) {
  if (!options_.StoreFault) return;
  const uint32_t at = kDisplayBase + options_.StoreFault->DisplayOffset;
  if (at < address || at >= address + count) return;
  std::vector<uint8_t> byte;
  if (!memory_.Read(at, 1, byte)) return;
  byte[0] ^= options_.StoreFault->Mask;
  memory_.Write(at, byte.data(), 1);
}

}  // namespace quinterra
