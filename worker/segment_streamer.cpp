#include "worker/segment_streamer.h"

#include <utility>

namespace Quellmar::worker {

std::unique_ptr<SegmentStreamer> SegmentStreamer::Create(const RenderParams& params,
                                                         AudioTarget& target) noexcept {
  try {
    return std::make_unique<SegmentStreamer>(params, target);
  } catch (...) {
    return nullptr;
  }
}

SegmentStreamer::SegmentStreamer(const RenderParams& params, AudioTarget& target)
    : target_(target),
      render_(params),
      sink_([this](const int16_t* samples, size_t count) { return Take(samples, count); }) {}

bool SegmentStreamer::OnSegment(const unsigned char* bytes, uint32_t count, void* context) {
  return static_cast<SegmentStreamer*>(context)->Segment(bytes, count);
}

bool SegmentStreamer::Segment(const unsigned char* bytes, size_t count) {
  if (stopped_ || finished_) return false;
  engine_bytes_ += count;
  // A Cancel that came while the engine made this segment stops it here,
  // before any of the segment is rendered.
  if (!target_.AudioWanted() || !render_.FeedMuLaw(bytes, count, sink_)) {
    stopped_ = true;
    return false;
  }
  // The engine now makes its next segment: what this one gave goes out.
  return Hand(AudioMark::kFlush);
}

void SegmentStreamer::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!stopped_ && !render_.Finish(sink_)) stopped_ = true;
  // Also after a stop: the connection learns that the synthesis is over.
  Hand(AudioMark::kLast);
}

// Runs inside the renderer, which stops when this returns false or throws.
bool SegmentStreamer::Take(const int16_t* samples, size_t count) {
  pending_.insert(pending_.end(), samples, samples + count);
  return pending_.size() < kHandSamples || Hand(AudioMark::kMore);
}

bool SegmentStreamer::Hand(AudioMark mark) {
  Delivery d = Delivery::kNotWanted;
  try {
    d = target_.Deliver(std::exchange(pending_, {}), mark);
  } catch (...) {
  }
  if (d == Delivery::kQueued) return true;
  refused_ |= d == Delivery::kRefused;
  stopped_ = true;
  return false;
}

}  // namespace Quellmar::worker
