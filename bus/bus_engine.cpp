// The request cycle of the bus engine: connection state, tracked requests,
// repetitions, keep-alive and the reception of answers.

#include "bus/bus_engine.h"

#include <algorithm>
#include <utility>

namespace quinterra {

TComVornBus::TComVornBus(ITimerFactory& timers)
    : keep_alive_timer_(timers.CreateTimer()), response_timer_(timers.CreateTimer()) {
  keep_alive_timer_->SetEnabled(false);
  keep_alive_timer_->SetInterval(bus::kKeepAlivePeriod);
  keep_alive_timer_->OnTimer = [this] { KeepAliveTimerTimer(); };
  response_timer_->SetEnabled(false);
  response_timer_->SetInterval(response_timeout_);
  response_timer_->OnTimer = [this] { ResponseTimerTimer(); };
  display_.Base = bus::kDisplayBase;
  directory_.Base = bus::kDirectoryBase;
  config_.Base = bus::kConfigBase;
}

TComVornBus::~TComVornBus() {
  keep_alive_timer_->SetEnabled(false);
  response_timer_->SetEnabled(false);
  keep_alive_timer_->OnTimer = nullptr;
  response_timer_->OnTimer = nullptr;
}

void TComVornBus::SetTarget(uint8_t address) {
  target_ = address;
  responders_.clear();
  if (address != 0) responders_.push_back(Responder{address, false});
}

void TComVornBus::Connect() { SetConnected(true); }

void TComVornBus::Stop() {
  keep_alive_timer_->SetEnabled(false);
  response_timer_->SetEnabled(false);
  response_retries_left_ = retry_count_;
  SetConnected(false);
}

void TComVornBus::RestartKeepAlive() {
  keep_alive_left_ = retry_count_;
  keep_alive_timer_->SetEnabled(false);
  keep_alive_timer_->SetInterval(bus::kKeepAlivePeriod);
  keep_alive_timer_->SetEnabled(connected_);
}

void TComVornBus::RestartResponseTimer() {
  response_retries_left_ = retry_count_;
  response_timer_->SetEnabled(false);
  response_timer_->SetInterval(response_timeout_);
  response_timer_->SetEnabled(connected_);
}

void TComVornBus::SetConnected(bool value) {
  busy_ = false;
  if (value == connected_) return;
  connected_ = value;
  // The keep-alive follows the new state before anyone hears of it, so a
  // handler that stops or reconnects is not undone afterwards.
  RestartKeepAlive();
  if (value) {
    if (OnConnected) OnConnected(this);
  } else {
    if (OnDisconnected) OnDisconnected(this);
  }
}

void TComVornBus::FinishRequest() {
  RestartKeepAlive();
  response_timer_->SetEnabled(false);
}

void TComVornBus::MarkAnswered(int32_t address) {
  for (Responder& responder : responders_) {
    if (responder.Address == address) responder.Answered = true;
  }
}

bool TComVornBus::AllAnswered() const {
  return std::all_of(responders_.begin(), responders_.end(),
                     [](const Responder& responder) { return responder.Answered; });
}

void TComVornBus::ClearAnswered() {
  for (Responder& responder : responders_) responder.Answered = false;
}

bool TComVornBus::SendRequest(uint8_t command, const uint8_t (&param)[5], const uint8_t* payload,
                              size_t payload_count) {
  if (busy_) return false;
  auto frame = std::make_shared<TBusFrame>();
  frame->Address = target_;
  frame->Command = command;
  std::copy(std::begin(param), std::end(param), std::begin(frame->Param));
  frame->ResizePayload(0);
  // A payload over the frame limit is not attached; the request goes out
  // without one.
  frame->SetPayload(payload_count, payload);
  pending_command_ = frame->CommandCode();
  // Marks left by earlier answers (a keep-alive, a former request) must not
  // complete this one.
  ClearAnswered();
  busy_ = true;
  RestartResponseTimer();
  keep_alive_timer_->SetEnabled(false);
  frame->Encode();
  receive_frame_.Clear();
  // The frame is pending before anyone sees its bytes: a handler that sends
  // the next request replaces it rather than being replaced by it.
  pending_frame_ = frame;
  if (OnSend) OnSend(this, frame->Encoded.data(), 1, frame->EncodedLength);
  return true;
}

void TComVornBus::SendKeepAlive() {
  if (busy_) return;
  TBusFrame frame;
  frame.Address = target_;
  frame.Command = bus::kPing;
  frame.Param[4] = bus::kKeepAliveMarker;
  frame.ResizePayload(0);
  pending_command_ = bus::kPing;
  frame.Encode();
  receive_frame_.Clear();
  if (OnSend) OnSend(this, frame.Encoded.data(), 0, frame.EncodedLength);
}

void TComVornBus::ResponseTimerTimer() {
  if (response_retries_left_ > 0) {
    ClearAnswered();
    --response_retries_left_;
    // The recogniser starts afresh with every sending: a damaged length
    // field would otherwise swallow the answers to all the repetitions.
    receive_frame_.Clear();
    // Keep the frame alive through the handler, which may replace it.
    const std::shared_ptr<TBusFrame> frame = pending_frame_;
    if (frame && OnSend) OnSend(this, frame->Encoded.data(), 1, frame->EncodedLength);
    return;
  }
  // Stopped before the link goes down, so that a handler of OnDisconnected
  // that reconnects and sends again keeps its own new timer.
  response_retries_left_ = retry_count_;
  response_timer_->SetEnabled(false);
  SetConnected(false);
  if (OnTimeout) OnTimeout(this);
}

void TComVornBus::KeepAliveTimerTimer() {
  if (keep_alive_left_ > 0) {
    --keep_alive_left_;
    SendKeepAlive();
    return;
  }
  // Going down restarts the keep-alive, which leaves it off.
  SetConnected(false);
  if (OnTimeout) OnTimeout(this);
}

bool TComVornBus::ReceiveByte(uint8_t b) {
  if (!receive_frame_.ReceiveByte(b)) return false;
  if (receive_frame_.CommandCode() != pending_command_) return true;
  Answer answer;
  answer.Address = receive_frame_.Address;
  answer.Code = receive_frame_.CommandCode();
  std::copy(std::begin(receive_frame_.Param), std::end(receive_frame_.Param),
            std::begin(answer.Param));
  answer.Payload = receive_frame_.Payload;
  // The request it seems to answer is still outstanding: its own answer, or
  // a repetition, is still to come.
  if (IsStrayReadBack(answer)) return true;
  busy_ = false;
  Dispatch(answer);
  return true;
}

void TComVornBus::Dispatch(const Answer& answer) {
  switch (answer.Code) {
    case bus::kPing:
      MarkAnswered(answer.Address);
      if (AllAnswered()) {
        response_timer_->SetEnabled(false);
        PingAnswered(answer);
      }
      break;
    case bus::kInfo:
      FinishRequest();
      InfoAnswered(answer);
      break;
    case bus::kMemoryRead:
      FinishRequest();
      MemoryReadAnswered(answer);
      break;
    case bus::kBuild:
      FinishRequest();
      BuildAnswered(answer);
      break;
    case bus::kMemoryWrite:
      MarkAnswered(answer.Address);
      if (AllAnswered()) {
        FinishRequest();
        MemoryWriteAnswered(answer);
      }
      break;
    case bus::kCheck:
      FinishRequest();
      CheckAnswered(answer);
      break;
    default:
      break;
  }
}

}  // namespace quinterra
