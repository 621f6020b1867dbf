// Device memory transfer: local images of the three memory areas, cut into
// blocks, moved one block per request until no marked block is left.

#include <algorithm>
#include <cstring>

#include "bus/bus_engine.h"
#include "bus/memory_layout.h"

namespace quinterra {
namespace {

bool IsMarked(uint8_t state) { return state == bus::kBlockToRead || state == bus::kBlockToWrite; }

bool IsReadBackMode(uint8_t mode) {
  return mode == bus::kTransferDirectoryRead || mode == bus::kTransferDisplayRead;
}

bool IsReadMode(uint8_t mode) { return mode == bus::kTransferConfigRead || IsReadBackMode(mode); }

}  // namespace

bool TComVornBus::InFlightAt(uint32_t address) const {
  for (const MemoryArea* area : {&config_, &display_, &directory_}) {
    if (address < area->Base || block_size_ == 0) continue;
    const uint32_t offset = address - area->Base;
    if (offset % block_size_ != 0 || offset / block_size_ >= area->States.size()) continue;
    return area->States[offset / block_size_] == bus::kBlockReading;
  }
  return false;
}

void TComVornBus::FreshImages(uint8_t device_address) {
  if (const auto layout = ChooseMemoryLayout(info_record_[0], info_record_[8])) {
    block_size_ = layout->BlockSize;
    config_.Blocks = layout->ConfigBlocks;
    display_.Blocks = layout->DisplayBlocks;
    directory_.Blocks = layout->DirectoryBlocks;
  }
  for (MemoryArea* area : {&display_, &directory_, &config_}) {
    area->Image.assign(area->Size(block_size_), 0xFF);
    area->States.assign(area->Blocks, bus::kBlockUntouched);
    area->ReadBack.clear();
  }
  // The old blocks are gone, and with them any transfer over them.
  transfer_mode_ = bus::kTransferNone;
  if (config_.Image.size() > bus::kConfigAddressByte) {
    config_.Image[bus::kConfigAddressByte] = device_address;
  }
}

bool TComVornBus::ReadConfig() {
  if (config_.Image.empty()) return false;
  std::fill(config_.States.begin(), config_.States.end(), bus::kBlockToRead);
  return StartTransfer(bus::kTransferConfigRead);
}

bool TComVornBus::WriteDirectory(uint32_t offset, const uint8_t* bytes, uint32_t count) {
  if (!MarkForWrite(directory_, offset, bytes, count)) return false;
  return StartTransfer(bus::kTransferDirectoryWrite);
}

bool TComVornBus::WriteDisplay(uint32_t offset, const uint8_t* bytes, uint32_t count) {
  if (!MarkForWrite(display_, offset, bytes, count)) return false;
  return StartTransfer(bus::kTransferDisplayWrite);
}

bool TComVornBus::ReadDirectory(uint32_t offset, uint32_t count) {
  if (!MarkForRead(directory_, offset, count)) return false;
  return StartTransfer(bus::kTransferDirectoryRead);
}

bool TComVornBus::ReadDisplay(uint32_t offset, uint32_t count) {
  if (!MarkForRead(display_, offset, count)) return false;
  return StartTransfer(bus::kTransferDisplayRead);
}

bool TComVornBus::MarkForRead(MemoryArea& area, uint32_t offset, uint32_t count) {
  if (area.Image.empty() || count == 0) return false;
  if (uint64_t{offset} + count > area.Image.size()) return false;
  const uint32_t first = offset / block_size_;
  const uint32_t last = (offset + count - 1) / block_size_;
  // A read starts from nothing: no byte of an earlier one, no old refusal.
  std::replace(area.States.begin(), area.States.end(), bus::kBlockUnread, bus::kBlockUntouched);
  area.ReadBack.assign(size_t{last + 1} * block_size_, 0);
  std::fill(area.States.begin() + first, area.States.begin() + last + 1, bus::kBlockToRead);
  return true;
}

bool TComVornBus::MarkForWrite(MemoryArea& area, uint32_t offset, const uint8_t* bytes,
                               uint32_t count) {
  if (area.Image.empty()) return false;
  // In 64 bits: an offset near the top of the range must not wrap around
  // and pass the size test.
  if (uint64_t{offset} + count > area.Image.size()) return false;
  if (count > 0 && bytes == nullptr) return false;
  if (count == 0) return true;
  std::memcpy(area.Image.data() + offset, bytes, count);
  const uint32_t first = offset / block_size_;
  const uint32_t last = (offset + count - 1) / block_size_;
  std::fill(area.States.begin() + first, area.States.begin() + last + 1, bus::kBlockToWrite);
  return true;
}

uint32_t TComVornBus::PendingBytes() const {
  uint32_t blocks = 0;
  for (const MemoryArea* area : {&config_, &display_, &directory_}) {
    blocks += static_cast<uint32_t>(std::count_if(area->States.begin(), area->States.end(), IsMarked));
  }
  return blocks * block_size_;
}

bool TComVornBus::StartTransfer(uint8_t mode) {
  planned_bytes_ = PendingBytes();
  if (planned_bytes_ == 0) {
    transfer_mode_ = bus::kTransferNone;
    return false;
  }
  transfer_mode_ = mode;
  done_bytes_ = 0;
  if (OnProgress) OnProgress(this, planned_bytes_, 0);
  // While Busy the block's request is dropped like any other: the block
  // stays in flight and the transfer stalls, which the caller must know.
  const bool goes_out = !busy_;
  NextBlock();
  return goes_out;
}

bool TComVornBus::NextBlock() {
  ClearAnswered();
  for (MemoryArea* area : {&config_, &display_, &directory_}) {
    for (uint32_t index = 0; index < area->States.size(); ++index) {
      uint8_t& state = area->States[index];
      if (!IsMarked(state)) continue;
      const uint32_t address = area->Base + index * block_size_;
      uint8_t param[5] = {static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                          static_cast<uint8_t>(address), 0, 0};
      if (state == bus::kBlockToWrite) {
        state = bus::kBlockWriting;
        SendRequest(bus::kMemoryWrite, param, area->Image.data() + index * block_size_, block_size_);
      } else {
        state = bus::kBlockReading;
        param[3] = static_cast<uint8_t>(block_size_ >> 8);
        param[4] = static_cast<uint8_t>(block_size_);
        SendRequest(bus::kMemoryRead, param, nullptr, 0);
      }
      return true;
    }
  }
  return false;
}

TComVornBus::MemoryArea* TComVornBus::AreaHolding(uint32_t address, size_t count) {
  for (MemoryArea* area : {&config_, &display_, &directory_}) {
    const uint64_t end = uint64_t{area->Base} + area->Image.size();
    if (address >= area->Base && address < end && address + uint64_t{count} <= end) return area;
  }
  return nullptr;
}

bool TComVornBus::AreaHasBlockInFlight(uint8_t mode) const {
  const MemoryArea* area = nullptr;
  uint8_t in_flight = bus::kBlockWriting;
  switch (mode) {
    case bus::kTransferConfigRead:
      area = &config_;
      in_flight = bus::kBlockReading;
      break;
    case bus::kTransferDirectoryWrite:
      area = &directory_;
      break;
    case bus::kTransferDisplayWrite:
      area = &display_;
      break;
    default:
      return false;
  }
  return std::find(area->States.begin(), area->States.end(), in_flight) != area->States.end();
}

void TComVornBus::FinishTransferIfDone(bool after_read) {
  if (NextBlock()) return;
  const uint8_t mode = transfer_mode_;
  const bool ends_here = after_read ? IsReadMode(mode)
                                    : mode == bus::kTransferDirectoryWrite ||
                                          mode == bus::kTransferDisplayWrite;
  if (!ends_here) return;
  // Cleared before the event, so that a handler may start the next transfer.
  transfer_mode_ = bus::kTransferNone;
  if (IsReadBackMode(mode)) {
    const MemoryArea& area = mode == bus::kTransferDisplayRead ? display_ : directory_;
    const bool whole = std::none_of(area.States.begin(), area.States.end(), [](uint8_t state) {
      return state == bus::kBlockReading || state == bus::kBlockUnread;
    });
    auto& event = mode == bus::kTransferDisplayRead ? OnDisplayRead : OnDirectoryRead;
    if (event) event(this, whole);
    return;
  }
  // A block whose answer named another place was never confirmed: that is
  // not a finished transfer, and the caller's own wait reports the failure.
  if (AreaHasBlockInFlight(mode)) return;
  switch (mode) {
    case bus::kTransferConfigRead:
      if (OnConfigRead) OnConfigRead(this);
      break;
    case bus::kTransferDirectoryWrite:
      if (OnDirectoryWritten) OnDirectoryWritten(this);
      break;
    case bus::kTransferDisplayWrite:
      if (OnDisplayWritten) OnDisplayWritten(this);
      break;
    default:
      break;
  }
}

bool TComVornBus::IsStrayReadBack(const Answer& answer) const {
  return answer.Code == bus::kMemoryRead && IsReadBackMode(transfer_mode_) &&
         !InFlightAt(answer.MemoryAddress());
}

void TComVornBus::ReadBackAnswered(const Answer& answer) {
  // Only the block asked for is answered here (IsStrayReadBack), and only
  // its own bytes, whole, count: a refusal marks that block and no other.
  const uint32_t address = answer.MemoryAddress();
  for (MemoryArea* area : {&display_, &directory_}) {
    if (address < area->Base || address - area->Base >= area->ReadBack.size()) continue;
    const uint32_t offset = address - area->Base;
    const bool whole = answer.Payload.size() == block_size_;
    if (whole) std::copy(answer.Payload.begin(), answer.Payload.end(), area->ReadBack.begin() + offset);
    area->States[offset / block_size_] = whole ? bus::kBlockDone : bus::kBlockUnread;
    break;
  }
  done_bytes_ += block_size_;
  if (OnProgress) OnProgress(this, planned_bytes_, done_bytes_);
  FinishTransferIfDone(true);
}

void TComVornBus::MemoryReadAnswered(const Answer& answer) {
  if (IsReadBackMode(transfer_mode_)) {
    ReadBackAnswered(answer);
    return;
  }
  const uint32_t address = answer.MemoryAddress();
  if (MemoryArea* area = AreaHolding(address, answer.Payload.size())) {
    std::copy(answer.Payload.begin(), answer.Payload.end(),
              area->Image.begin() + (address - area->Base));
    std::replace(area->States.begin(), area->States.end(), bus::kBlockReading, bus::kBlockDone);
  }
  done_bytes_ += block_size_;
  if (OnProgress) OnProgress(this, planned_bytes_, done_bytes_);
  FinishTransferIfDone(true);
}

void TComVornBus::MemoryWriteAnswered(const Answer& answer) {
  if (MemoryArea* area = AreaHolding(answer.MemoryAddress(), answer.Payload.size())) {
    std::replace(area->States.begin(), area->States.end(), bus::kBlockWriting, bus::kBlockDone);
    done_bytes_ += block_size_;
  }
  if (OnProgress) OnProgress(this, planned_bytes_, done_bytes_);
  FinishTransferIfDone(false);
}

}  // namespace quinterra
