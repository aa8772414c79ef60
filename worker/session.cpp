#include "worker/session.h"

#include <algorithm>
#include <cstring>

namespace Quellmar::worker {
namespace {
using namespace protocol;

// Room for a few requests' worth of bytes per read; longer payloads are
// read straight into their own buffer, at most this much per read.
constexpr size_t kInboxBytes = 4096;
constexpr size_t kDirectReadBytes = size_t{1} << 20;
// Answers waiting for a client that does not read them: past this the
// session reads nothing more until they have gone out.
constexpr size_t kReplyBacklogBytes = 16384;
constexpr size_t kPieceMessageBytes = kHeaderBytes + 4 + kMaxPieceBytes;
}  // namespace

bool MemoryBudget::TryCharge(size_t n) {
  size_t held = held_.load();
  do {
    if (n > cap_ || held > cap_ - n) return false;
  } while (!held_.compare_exchange_weak(held, held + n));
  return true;
}

Session::Session(MemoryBudget& budget, const WorkerInfo& info, uint32_t now, SessionLimits limits)
    : budget_(budget),
      info_(info),
      limits_(limits),
      inbox_(std::make_unique<uint8_t[]>(kInboxBytes)) {
  write_progress_ = now;
  message_started_ = now;
}

Session::~Session() { budget_.Release(held_bytes()); }

// Every way in runs its work through this: a connection that runs out of
// memory ends, the worker does not.
template <typename Work>
bool Session::Guarded(Work&& work) noexcept {
  try {
    work();
    return true;
  } catch (...) {
    Fail(Ending::kOutOfMemory);
    return false;
  }
}

std::span<uint8_t> Session::BeginRead() {
  if (over() || closing_ || read_in_flight_) return {};
  if (in_payload_ && keep_payload_ && inbox_begin_ == inbox_end_) {
    size_t want = std::min<size_t>(header_.length - payload_got_, kDirectReadBytes);
    if (!GrowPayload(payload_got_ + want)) return {};
    read_in_flight_ = read_direct_ = true;
    return {payload_.data() + payload_got_, want};
  }
  if (inbox_begin_ > 0) {  // keep what is not parsed yet, at the front
    std::memmove(inbox_.get(), inbox_.get() + inbox_begin_, inbox_end_ - inbox_begin_);
    inbox_end_ -= inbox_begin_;
    inbox_begin_ = 0;
  }
  if (inbox_end_ == kInboxBytes) return {};  // waiting for the client to take its answers
  read_in_flight_ = true;
  read_direct_ = false;
  return {inbox_.get() + inbox_end_, kInboxBytes - inbox_end_};
}

void Session::OnRead(size_t n, uint32_t now) {
  read_in_flight_ = false;
  if (over()) return;
  if (n == 0) return Fail(Ending::kClientLeft);
  if (closing_) return;
  Guarded([&] {
    if (read_direct_) {
      payload_got_ += static_cast<uint32_t>(n);
      payload_.resize(payload_got_);
      if (payload_got_ == header_.length) Complete();
    } else {
      inbox_end_ += n;
    }
    Parse(now);
  });
}

void Session::OnReadFailed() {
  read_in_flight_ = false;
  if (!over()) Fail(Ending::kClientLeft);
}

size_t Session::Receive(std::span<const uint8_t> bytes, uint32_t now) {
  size_t taken = 0;
  while (taken < bytes.size()) {
    std::span<uint8_t> into = BeginRead();
    if (into.empty()) break;
    size_t n = std::min(into.size(), bytes.size() - taken);
    std::memcpy(into.data(), bytes.data() + taken, n);
    taken += n;
    OnRead(n, now);
  }
  return taken;
}

bool Session::MayStartMessage() const {
  // While a synthesis runs every message is read (it may be its Cancel);
  // between exchanges each one gets an answer, which must have room.
  return exchange_ || replies_bytes_ < kReplyBacklogBytes;
}

void Session::Parse(uint32_t now) {
  while (!over() && !closing_ && inbox_begin_ < inbox_end_) {
    const size_t available = inbox_end_ - inbox_begin_;
    const uint8_t* at = inbox_.get() + inbox_begin_;
    if (!in_payload_) {
      if (header_got_ == 0) {
        if (!MayStartMessage()) break;
        message_open_ = true;
        message_started_ = now;
      }
      size_t n = std::min(kHeaderBytes - header_got_, available);
      std::memcpy(header_bytes_ + header_got_, at, n);
      header_got_ += n;
      inbox_begin_ += n;
      if (header_got_ < kHeaderBytes) break;
      header_got_ = 0;
      header_ = DecodeHeader(header_bytes_);
      // Nothing of an over-long message is read: the connection ends unanswered.
      if (header_.length > kServerPayloadLimit) return Fail(Ending::kTooLong);
      in_payload_ = true;
      payload_got_ = 0;
      // A message begun inside a synthesis belongs to it, however late it
      // ends. Only a request's payload is of use; any other is dropped.
      message_job_ = exchange_ ? exchange_job_ : 0;
      keep_payload_ = header_.type == kSynthesizeRequest && !exchange_;
      if (header_.length == 0) Complete();
      continue;
    }
    size_t n = std::min<size_t>(header_.length - payload_got_, available);
    if (keep_payload_) {
      if (!GrowPayload(payload_got_ + n)) return;
      std::memcpy(payload_.data() + payload_got_, at, n);
    }
    payload_got_ += static_cast<uint32_t>(n);
    inbox_begin_ += n;
    if (payload_got_ == header_.length) Complete();
  }
  if (inbox_begin_ == inbox_end_) inbox_begin_ = inbox_end_ = 0;
}

bool Session::GrowPayload(size_t size) {
  if (size > payload_.capacity()) {
    // Grows with what arrives (a header announcing 64 MiB and sending
    // little costs little), doubling so that copies stay few.
    size_t capacity = std::max(size, std::min<size_t>(header_.length, 2 * payload_.capacity()));
    size_t more = capacity - payload_.capacity();
    if (!budget_.TryCharge(more)) {
      Fail(Ending::kOutOfMemory);
      return false;
    }
    payload_charge_ += more;
    try {
      payload_.reserve(capacity);
    } catch (...) {
      Fail(Ending::kOutOfMemory);
      return false;
    }
  }
  payload_.resize(size);
  return true;
}

void Session::FreePayload() {
  std::vector<uint8_t>().swap(payload_);
  budget_.Release(payload_charge_);
  payload_charge_ = 0;
}

void Session::Complete() {
  in_payload_ = false;
  message_open_ = false;
  read_direct_ = false;
  Dispatch();
}

void Session::Reply(std::vector<uint8_t> message) {
  replies_bytes_ += message.size();
  replies_.push_back(std::move(message));
}

void Session::Dispatch() {
  if (message_job_ != 0) {
    // Inside a synthesis only its Cancel counts; anything else is dropped.
    if (header_.type == kCancel && exchange_ && message_job_ == exchange_job_ && !cancelled_) {
      cancelled_ = true;
      DropAudio();
    }
    return;
  }
  switch (header_.type) {
    case kHello:
      Reply(BuildVersionReply());
      break;
    case kSynthesizeRequest:
      StartSynthesis();
      break;
    case kCancel:  // one that came after its synthesis had ended
      Reply(BuildMessage(kAck));
      break;
    case kShutdown:
      Reply(BuildMessage(kAck));
      closing_ = true;
      break;
    case kInfoRequest:
      Reply(BuildInfoReply(info_));
      break;
    default:
      Reply(BuildMessage(kError));
      break;
  }
}

void Session::StartSynthesis() {
  SynthesisRequest request;
  if (!ParseSynthesizeRequest(std::span<const uint8_t>(payload_.data(), header_.length), request)) {
    FreePayload();
    return Reply(BuildMessage(kError));
  }
  SynthesisJob job{next_job_++, request.params, std::string(request.text)};
  FreePayload();
  if (job_) {
    // A request cancelled before its synthesis began: its pauses still
    // apply, as they would have had it run.
    for (size_t i = 0; i < job.params.pauses.size(); ++i) {
      if (job.params.pauses[i] < 0) job.params.pauses[i] = job_->params.pauses[i];
    }
    budget_.Release(pending_charge_);
    pending_charge_ = 0;
  }
  // The text stays held until its synthesis ends; it was a payload a moment ago.
  if (!budget_.TryCharge(job.text.size())) return Fail(Ending::kOutOfMemory);
  pending_charge_ = job.text.size();
  exchange_job_ = job.id;
  job_ = std::move(job);
  exchange_ = true;
  cancelled_ = refused_ = piece_sent_ = synthesis_done_ = false;
}

std::optional<SynthesisJob> Session::TakeJob() {
  if (over() || !job_ || job_running_ != 0) return std::nullopt;
  std::optional<SynthesisJob> job = std::move(job_);
  job_.reset();
  job_running_ = job->id;
  running_charge_ = pending_charge_;
  pending_charge_ = 0;
  return job;
}

bool Session::AudioWanted(uint64_t job) const {
  return !over() && exchange_ && job == exchange_job_ && !cancelled_ && !refused_;
}

Delivery Session::OnAudio(uint64_t job, std::vector<int16_t> samples) {
  if (!AudioWanted(job)) return Delivery::kNotWanted;
  const size_t bytes = samples.size() * sizeof(int16_t);
  if (bytes == 0) return Delivery::kQueued;
  if (!budget_.TryCharge(bytes)) {
    // Nothing sent yet: the request is refused with Error and the
    // connection serves on. Half a stream cannot be taken back.
    if (piece_sent_) {
      Fail(Ending::kOutOfMemory);
    } else {
      refused_ = true;
      DropAudio();
    }
    return Delivery::kRefused;
  }
  audio_charge_ += bytes;
  audio_bytes_ += bytes;
  return Guarded([&] { audio_.push_back(std::move(samples)); }) ? Delivery::kQueued
                                                                : Delivery::kNotWanted;
}

void Session::Flush(uint64_t job) {
  if (AudioWanted(job)) flushed_bytes_ = audio_bytes_;
}

void Session::OnSynthesisEnd(uint64_t job) {
  if (job == job_running_) {
    job_running_ = 0;
    budget_.Release(running_charge_);
    running_charge_ = 0;
  }
  if (job == exchange_job_) synthesis_done_ = true;
}

Delivery Session::Hand(uint64_t job, std::vector<int16_t> samples, AudioMark mark) {
  Delivery d = Delivery::kQueued;
  if (!samples.empty()) {
    d = OnAudio(job, std::move(samples));
  } else if (!AudioWanted(job)) {
    d = Delivery::kNotWanted;
  }
  if (mark == AudioMark::kFlush) Flush(job);
  if (mark == AudioMark::kLast) OnSynthesisEnd(job);
  return d;
}

void Session::DropAudio() {
  audio_.clear();
  audio_offset_ = audio_bytes_ = flushed_bytes_ = 0;
  budget_.Release(audio_charge_);
  audio_charge_ = 0;
}

// Cuts pieces of 8192 bytes into `out` while it has room below `limit`; a
// shorter one only for audio flushed or at the end of the stream.
void Session::AppendPieces(std::vector<uint8_t>& out, size_t limit) {
  while (audio_bytes_ > 0 && (out.empty() || out.size() + kPieceMessageBytes <= limit)) {
    size_t take = kMaxPieceBytes;
    if (audio_bytes_ < kMaxPieceBytes) {
      if (synthesis_done_) {
        take = audio_bytes_;
      } else if (flushed_bytes_ > 0) {
        take = flushed_bytes_;
      } else {
        break;  // more is coming at once
      }
    }
    const uint32_t n = static_cast<uint32_t>(take);
    flushed_bytes_ -= std::min<size_t>(flushed_bytes_, n);
    size_t at = out.size();
    out.resize(at + kHeaderBytes + 4 + n);
    EncodeHeader(&out[at], Header{kAudioPiece, n + 4});
    PutU32(&out[at + kHeaderBytes], n);
    at += kHeaderBytes + 4;
    for (uint32_t left = n; left > 0;) {
      const std::vector<int16_t>& block = audio_.front();
      const size_t block_bytes = block.size() * sizeof(int16_t);
      size_t take = std::min<size_t>(left, block_bytes - audio_offset_);
      std::memcpy(&out[at], reinterpret_cast<const uint8_t*>(block.data()) + audio_offset_, take);
      at += take;
      left -= static_cast<uint32_t>(take);
      audio_offset_ += take;
      if (audio_offset_ == block_bytes) {
        budget_.Release(block_bytes);
        audio_charge_ -= block_bytes;
        audio_.pop_front();
        audio_offset_ = 0;
      }
    }
    audio_bytes_ -= n;
    piece_sent_ = true;
  }
}

std::span<const uint8_t> Session::BeginWrite(uint32_t now) {
  if (over() || write_in_flight_) return {};
  if (written_ < writing_.size()) {  // the rest of a partial write
    write_in_flight_ = true;
    return {writing_.data() + written_, writing_.size() - written_};
  }
  Guarded([&] {
    writing_.clear();
    written_ = 0;
    const size_t limit = std::max<size_t>(limits_.write_bytes, 1);
    while (!replies_.empty() &&
           (writing_.empty() || writing_.size() + replies_.front().size() <= limit)) {
      writing_.insert(writing_.end(), replies_.front().begin(), replies_.front().end());
      replies_bytes_ -= replies_.front().size();
      replies_.pop_front();
    }
    if (exchange_ && replies_.empty()) {
      if (!cancelled_ && !refused_) AppendPieces(writing_, limit);
      const bool done = cancelled_ || refused_ || (synthesis_done_ && audio_bytes_ == 0);
      if (done && (writing_.empty() || writing_.size() + kHeaderBytes <= limit)) {
        std::vector<uint8_t> last = BuildMessage(refused_ ? kError : kEnd);
        writing_.insert(writing_.end(), last.begin(), last.end());
        // From here a message is a new exchange: a Cancel now gets an Ack.
        exchange_ = false;
        DropAudio();
      }
    }
  });
  if (over() || writing_.empty()) return {};
  write_in_flight_ = true;
  write_progress_ = now;
  return {writing_.data(), writing_.size()};
}

void Session::OnWritten(size_t n, uint32_t now) {
  write_in_flight_ = false;
  if (over()) return;
  write_progress_ = now;
  written_ = std::min(writing_.size(), written_ + n);
  if (closing_ && written_ == writing_.size() && replies_.empty()) ending_ = Ending::kShutdown;
  // Answers have gone out: what waits in the inbox may be read on.
  Guarded([&] { Parse(now); });
}

void Session::OnWriteFailed() {
  write_in_flight_ = false;
  if (!over()) Fail(Ending::kClientLeft);
}

namespace {
// Milliseconds from `then` to `now`; 0 when `now` was read before `then`
// (a clock read on another thread just before an event of this one).
uint32_t Elapsed(uint32_t now, uint32_t then) {
  uint32_t d = TicksSince(now, then);
  return d > 0x7FFFFFFFu ? 0 : d;
}
}  // namespace

void Session::OnTick(uint32_t now) {
  if (over()) return;
  if (message_open_ && Elapsed(now, message_started_) > limits_.message_ms) {
    return Fail(Ending::kSlowMessage);
  }
  if (write_in_flight_ && Elapsed(now, write_progress_) > limits_.stall_ms) {
    Fail(Ending::kStalled);
  }
}

uint32_t Session::UnreadFor(uint32_t now) const {
  return write_in_flight_ && !over() ? Elapsed(now, write_progress_) : 0;
}

void Session::Fail(Ending why) {
  if (over()) return;
  ending_ = why;
  // Buffers a read or write in flight may use stay until the session goes.
  replies_.clear();
  replies_bytes_ = 0;
  DropAudio();
  if (job_) {
    job_.reset();
    budget_.Release(pending_charge_);
    pending_charge_ = 0;
  }
  exchange_ = false;
}

}  // namespace Quellmar::worker
