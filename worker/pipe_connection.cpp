#include "worker/pipe_connection.h"

namespace Quellmar::worker {
namespace {
// A client that connects and closes before the connect is asked for leaves
// the instance to be disconnected and asked again; a few rounds, then the
// instance is given up and another one listens.
constexpr int kConnectRounds = 4;
// Reads and writes done at once that one turn takes in before it lets the
// pool serve other connections: a client that sends and reads as fast as it
// can shares the pool's threads with the others.
constexpr int kInlineRounds = 16;
}  // namespace

PipeConnection::PipeConnection(Key, ConnectionHost& host, unique_file instance)
    : host_(host), pipe_(std::move(instance)) {
  connect_.kind = Op::kConnect;
  read_.kind = Op::kRead;
  write_.kind = Op::kWrite;
}

std::shared_ptr<PipeConnection> PipeConnection::Create(ConnectionHost& host, unique_file instance,
                                                       PTP_CALLBACK_ENVIRON pool) {
  std::shared_ptr<PipeConnection> c;
  try {
    c = std::make_shared<PipeConnection>(Key{}, host, std::move(instance));
  } catch (...) {
    return nullptr;
  }
  c->pool_ = pool;
  c->io_ = CreateThreadpoolIo(c->pipe_.get(), OnIo, c.get(), pool);
  if (!c->io_) return nullptr;
  c->inline_done_ =
      SetFileCompletionNotificationModes(c->pipe_.get(), FILE_SKIP_COMPLETION_PORT_ON_SUCCESS);
  return c;
}

PipeConnection::~PipeConnection() {
  // No operation is outstanding here: each one keeps its connection.
  if (io_) CloseThreadpoolIo(io_);
}

bool PipeConnection::Listen() {
  bool connected = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (int round = 0; round < kConnectRounds && !connected; ++round) {
      connect_.keep = shared_from_this();
      static_cast<OVERLAPPED&>(connect_) = OVERLAPPED{};
      StartThreadpoolIo(io_);
      const BOOL done = ConnectNamedPipe(pipe_.get(), &connect_);
      const DWORD error = done ? NO_ERROR : GetLastError();
      if (error == ERROR_IO_PENDING || (done && !inline_done_)) {
        return true;  // its completion comes
      }
      CancelThreadpoolIo(io_);
      connect_.keep.reset();
      if (done || error == ERROR_PIPE_CONNECTED) {
        connected = true;
      } else if (error == ERROR_NO_DATA) {
        // Came and went: free the instance for the next client at once.
        DisconnectNamedPipe(pipe_.get());
      } else {
        break;
      }
    }
  }
  if (!connected) {
    host_.ListenFailed(*this);
    After after;
    {
      std::lock_guard<std::mutex> hold(lock_);
      gone_ = true;
      after = Pump();
    }
    Finish(std::move(after));
    return false;
  }
  Connected();
  return true;
}

void PipeConnection::Connected() {
  std::shared_ptr<PipeConnection> self = shared_from_this();
  const bool accepted = host_.Accept(*this);
  After after;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (accepted) {
      try {
        session_.emplace(host_.budget(), host_.info(), GetTickCount(), host_.limits());
      } catch (...) {
        after.gone = Ending::kOutOfMemory;
      }
    }
    // Refused: closed without a disconnect, so the client sees its pipe break.
    if (!session_) gone_ = true;
    After pumped = Pump();
    pumped.gone = pumped.gone ? pumped.gone : after.gone;
    after = std::move(pumped);
  }
  Finish(std::move(after));
}

PipeConnection::Started PipeConnection::Start(Op& op, std::span<const uint8_t> bytes,
                                              DWORD& moved) {
  op.keep = shared_from_this();
  static_cast<OVERLAPPED&>(op) = OVERLAPPED{};
  StartThreadpoolIo(io_);
  const DWORD size = static_cast<DWORD>(bytes.size());
  moved = 0;
  BOOL ok = op.kind == Op::kRead
                ? ReadFile(pipe_.get(), const_cast<uint8_t*>(bytes.data()), size, &moved, &op)
                : WriteFile(pipe_.get(), bytes.data(), size, &moved, &op);
  if ((ok && !inline_done_) || (!ok && GetLastError() == ERROR_IO_PENDING)) {
    return Started::kPending;
  }
  CancelThreadpoolIo(io_);
  op.keep.reset();
  return ok ? Started::kDone : Started::kFailed;
}

PipeConnection::After PipeConnection::Pump() {
  After after;
  if (session_) {
    Session& s = *session_;
    // Reads and writes that finish at once are taken in here, until the
    // session waits for the client or has nothing to say.
    bool moved = true;
    for (int round = 0; moved && !s.over(); ++round) {
      if (round == kInlineRounds) {
        after.resume = true;
        break;
      }
      moved = false;
      DWORD n = 0;
      if (!read_.keep) {
        std::span<uint8_t> into = s.BeginRead();
        if (!into.empty()) {
          Started r = Start(read_, into, n);
          if (r == Started::kDone) {
            s.OnRead(n, GetTickCount());
            moved = n > 0;
            after.touched |= moved;
          } else if (r == Started::kFailed) {
            s.OnReadFailed();
          }
        }
      }
      if (!write_.keep && !s.over()) {
        std::span<const uint8_t> out = s.BeginWrite(GetTickCount());
        if (!out.empty()) {
          Started r = Start(write_, out, n);
          if (r == Started::kDone) {
            s.OnWritten(n, GetTickCount());
            moved = true;
          } else if (r == Started::kFailed) {
            s.OnWriteFailed();
          }
        }
      }
    }
    if (!s.over()) after.job = s.TakeJob();
    if (s.over() && !gone_) {
      gone_ = true;
      after.gone = s.ending();
      // Ends what is outstanding; the closing waits for their completions.
      if (read_.keep || write_.keep) CancelIoEx(pipe_.get(), nullptr);
    }
  }
  if (gone_ && pipe_ && !read_.keep && !write_.keep && !connect_.keep) {
    // No disconnect: what was written stays readable for the client, which
    // then finds its pipe closed.
    CloseThreadpoolIo(io_);
    io_ = nullptr;
    pipe_.reset();
    after.closed = true;
  }
  return after;
}

void PipeConnection::Finish(After after) {
  if (after.job) {
    const uint64_t id = after.job->id;
    try {
      host_.Synthesize(shared_from_this(), std::move(*after.job));
    } catch (...) {
      Deliver(id, {}, AudioMark::kLast);  // it ends with no audio
    }
  }
  if (after.touched) host_.Touch();
  if (after.resume) {
    std::unique_ptr<std::shared_ptr<PipeConnection>> self;
    try {
      self = std::make_unique<std::shared_ptr<PipeConnection>>(shared_from_this());
    } catch (...) {
    }
    if (self && TrySubmitThreadpoolCallback(Resume, self.get(), pool_)) {
      self.release();  // owned by Resume
    } else {
      Tick();
    }
  }
  if (after.gone) host_.ClientGone(*this, *after.gone);
  if (after.closed) host_.Closed(*this);
}

void CALLBACK PipeConnection::OnIo(PTP_CALLBACK_INSTANCE, void* context, void* overlapped,
                                   ULONG result, ULONG_PTR bytes, PTP_IO) {
  auto* c = static_cast<PipeConnection*>(context);
  auto* op = static_cast<Op*>(static_cast<OVERLAPPED*>(overlapped));
  std::shared_ptr<PipeConnection> self;
  if (op->kind == Op::kConnect) {
    {
      std::lock_guard<std::mutex> hold(c->lock_);
      self = std::move(op->keep);
    }
    if (result == NO_ERROR) return c->Connected();
    c->host_.ListenFailed(*c);
    After after;
    {
      std::lock_guard<std::mutex> hold(c->lock_);
      c->gone_ = true;
      after = c->Pump();
    }
    return c->Finish(std::move(after));
  }
  After after;
  {
    std::lock_guard<std::mutex> hold(c->lock_);
    self = std::move(op->keep);
    Session& s = *c->session_;
    const uint32_t now = GetTickCount();
    if (op->kind == Op::kRead) {
      if (result == NO_ERROR) {
        s.OnRead(bytes, now);
      } else {
        s.OnReadFailed();
      }
    } else if (result == NO_ERROR) {
      s.OnWritten(bytes, now);
    } else {
      s.OnWriteFailed();
    }
    after = c->Pump();
    after.touched |= op->kind == Op::kRead && result == NO_ERROR && bytes > 0;
  }
  c->Finish(std::move(after));
}

void CALLBACK PipeConnection::Resume(PTP_CALLBACK_INSTANCE, void* context) {
  std::unique_ptr<std::shared_ptr<PipeConnection>> c(
      static_cast<std::shared_ptr<PipeConnection>*>(context));
  (*c)->Tick();
}

void PipeConnection::Tick() {
  std::shared_ptr<PipeConnection> self = shared_from_this();
  After after;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!session_) return;
    // Read under the lock, so never before an event the session has seen.
    session_->OnTick(GetTickCount());
    after = Pump();
  }
  Finish(std::move(after));
}

uint32_t PipeConnection::UnreadFor(uint32_t now) {
  std::lock_guard<std::mutex> hold(lock_);
  return session_ ? session_->UnreadFor(now) : 0;
}

void PipeConnection::Evict() {
  std::shared_ptr<PipeConnection> self = shared_from_this();
  After after;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!session_) return;
    session_->Evict();
    after = Pump();
  }
  Finish(std::move(after));
}

bool PipeConnection::AudioWanted(uint64_t job) {
  std::lock_guard<std::mutex> hold(lock_);
  return session_ && session_->AudioWanted(job);
}

Delivery PipeConnection::Deliver(uint64_t job, std::vector<int16_t> samples, AudioMark mark) {
  std::shared_ptr<PipeConnection> self = shared_from_this();
  Delivery d = Delivery::kNotWanted;
  After after;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!session_) return d;
    d = session_->Hand(job, std::move(samples), mark);
    // The writes it makes possible start on the pool: each is a system call
    // (a round trip to the server under Wine), and the engine's thread goes
    // on with the next segment meanwhile.
    after.resume = true;
  }
  Finish(std::move(after));
  return d;
}

}  // namespace Quellmar::worker
