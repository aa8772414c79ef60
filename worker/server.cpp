#include "worker/server.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <memory>

#include "common/log.h"
#include "common/win_handles.h"
#include "engine_host/engine_driver.h"
#include "engine_host/install_root.h"
#include "engine_host/render.h"
#include "worker/connection.h"
#include "worker/idle_rule.h"
#include "worker/pipe_security.h"
#include "worker/pipe_transport.h"

namespace Quellmar::worker {
namespace {

constexpr DWORD kPipeBufferBytes = 65536;
// How long a connection keeps its thread after an exchange, for the next one.
constexpr DWORD kLingerMs = 2000;

// Process-wide state shared by the accept loop and the client threads.
struct ServerState {
  EngineDriver& engine = EngineDriver::Instance();
  std::mutex engine_lock;
  unique_kernel_handle shutdown_event;
  std::atomic<long> active_clients{0};
  std::atomic<uint32_t> last_activity{0};

  void Touch() { last_activity.store(GetTickCount()); }
};

// What one connection asks of the worker.
class ConnectionServices : public Services {
 public:
  ConnectionServices(ServerState& state, HANDLE pipe) : state_(state), pipe_(pipe) {}

  void Touch() override { state_.Touch(); }

  std::vector<int16_t> Synthesize(const protocol::SynthesisRequest& request) override {
    try {
      std::string text(request.text);  // the engine needs the terminating zero
      std::vector<unsigned char> raw;
      bool ok;
      int32_t status;
      {
        std::lock_guard<std::mutex> lock(state_.engine_lock);
        for (int i = 0; i < 4; ++i) {
          if (request.params.pauses[i] >= 0) state_.engine.SetPause(i + 1, request.params.pauses[i]);
        }
        ok = state_.engine.SynthesizeToBuffer(text.c_str(), request.params.tags, raw);
        status = state_.engine.LastStatus();
      }
      if (!ok && raw.empty()) {
        Log("worker: synthesis produced nothing (status %d)", status);
        return {};
      }
      // Partial output of a failed synthesis is still spoken.
      return Render(DecodeMuLaw(raw.data(), raw.size()), request.params);
    } catch (const std::bad_alloc&) {
      Log("worker: out of memory rendering a request of %lu bytes",
          static_cast<unsigned long>(request.text.size()));
      return {};
    }
  }

  protocol::WorkerInfo Info() override {
    EngineDriver& e = state_.engine;
    return protocol::MakeWorkerInfo(e.SampleRate(), e.BitsPerSample(), e.FormatCode(),
                                    e.ChannelsAllowed(), e.Version());
  }

  void Shutdown() override {
    Log("worker: shutdown requested by a client");
    FlushFileBuffers(pipe_);
    SetEvent(state_.shutdown_event.get());
  }

 private:
  ServerState& state_;
  HANDLE pipe_;
};

// One connected client. An idle connection owns no thread: its next header
// read stays outstanding and a wait of the system thread pool wakes it when
// the client sends something; the exchanges then run on a pool thread. A
// thread of its own would cost the worker a stack for every connected
// program, idle or not.
struct Connection {
  Connection(ServerState& s, unique_file p)
      : state(s), pipe(std::move(p)), transport(pipe.get()), services(s, pipe.get()) {}
  ServerState& state;
  unique_file pipe;
  PipeTransport transport;  // flushes and disconnects when it ends
  ConnectionServices services;
  PTP_WAIT wait = nullptr;
};

void EndConnection(std::unique_ptr<Connection> c) {
  ServerState& state = c->state;
  // Freed once its callback, which may be running this, has returned.
  if (c->wait) CloseThreadpoolWait(c->wait);
  c.reset();
  state.Touch();
  --state.active_clients;
}

// Serves what has arrived, and the client's next messages while they come
// within kLingerMs of each other (the chunks of an utterance, a burst of
// speech): those find this thread waiting for them, as a thread of their
// own would. Then the connection waits for its client without a thread.
void CALLBACK OnClientReady(PTP_CALLBACK_INSTANCE instance, void* context, PTP_WAIT wait,
                            TP_WAIT_RESULT) {
  auto* c = static_cast<Connection*>(context);
  // A synthesis or a stream may take a while: let the pool serve others meanwhile.
  CallbackMayRunLong(instance);
  for (;;) {
    if (ServeWaiting(c->transport, c->services) == Served::kOver) {
      EndConnection(std::unique_ptr<Connection>(c));
      return;
    }
    if (WaitForSingleObject(c->transport.arrival_event(), kLingerMs) != WAIT_OBJECT_0) break;
  }
  SetThreadpoolWait(wait, c->transport.arrival_event(), nullptr);
}

// Takes over a connected instance; false when it could not be served (the
// instance is then closed and the client sees the pipe break).
bool ServeClient(ServerState& state, unique_file& pipe) {
  std::unique_ptr<Connection> c;
  try {
    c = std::make_unique<Connection>(state, std::move(pipe));
  } catch (...) {
    return false;
  }
  long active = ++state.active_clients;
  Log("worker: client connected (%ld active)", active);
  c->wait = CreateThreadpoolWait(OnClientReady, c.get(), nullptr);
  if (!c->wait || !c->transport.arrival_event()) {
    EndConnection(std::move(c));
    return false;
  }
  // Arms the read of the first header. When the client has already spoken
  // (or gone) the read is over and the event is raised here, so the wait
  // fires at once either way.
  if (c->transport.MessageWaiting()) SetEvent(c->transport.arrival_event());
  SetThreadpoolWait(c->wait, c->transport.arrival_event(), nullptr);
  c.release();  // owned by its wait from here on
  return true;
}

unique_file CreateInstance() {
  return unique_file(CreateNamedPipeW(
      protocol::kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes,
      kPipeBufferBytes, 0, PipeSecurity()));
}

// Ends the process: client threads still running end with it.
[[noreturn]] void Exit(unique_kernel_handle& server_mutex, int code) {
  Log("worker: exiting");
  ReleaseMutex(server_mutex.get());
  server_mutex.reset();
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace

int RunServer() {
  unique_kernel_handle server_mutex(CreateMutexW(nullptr, TRUE, protocol::kServerMutexName));
  if (!server_mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  static ServerState state;  // lives as long as the detached client threads may
  state.shutdown_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state.Touch();

  std::wstring engine_path = EngineCorePath();
  if (!state.engine.Load(engine_path)) {
    Log("worker: could not load %ls -- exiting", engine_path.c_str());
    return 1;
  }
  Log("worker: ready, qmcore %s, engine %d Hz %d-bit format %d", state.engine.Version().c_str(),
      state.engine.SampleRate(), state.engine.BitsPerSample(), state.engine.FormatCode());

  unique_file listening = CreateInstance();
  if (!listening) {
    Log("worker: CreateNamedPipe failed (%lu)", GetLastError());
    return 1;
  }
  unique_kernel_handle connect_event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped{};
  overlapped.hEvent = connect_event.get();

  while (WaitForSingleObject(state.shutdown_event.get(), 0) != WAIT_OBJECT_0) {
    ResetEvent(connect_event.get());
    bool connected = false;
    if (ConnectNamedPipe(listening.get(), &overlapped)) {
      connected = true;
    } else {
      DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        HANDLE waits[2] = {connect_event.get(), state.shutdown_event.get()};
        DWORD w = WaitForMultipleObjects(2, waits, FALSE, kAcceptWakeMs);
        if (w == WAIT_OBJECT_0 + 1) {
          CancelIo(listening.get());
          break;
        }
        if (w == WAIT_TIMEOUT) {
          uint32_t now = GetTickCount();
          uint32_t last = state.last_activity.load();
          if (IdleExpired(state.active_clients.load(), now, last)) {
            Log("worker: idle for %ld ms with no clients, exiting",
                static_cast<long>(TicksSince(now, last)));
            CancelIo(listening.get());
            break;
          }
          CancelIo(listening.get());
          continue;
        }
        DWORD unused = 0;
        if (!GetOverlappedResult(listening.get(), &overlapped, &unused, FALSE)) {
          // A client that came and went: the instance must be disconnected
          // before it can accept again.
          DisconnectNamedPipe(listening.get());
          continue;
        }
        connected = true;
      } else if (error == ERROR_PIPE_CONNECTED) {
        connected = true;
      } else {
        // ERROR_NO_DATA and the like: a client connected and already closed
        // its end. Without a disconnect the instance would fail this way
        // forever and nobody could connect again.
        DisconnectNamedPipe(listening.get());
        Sleep(50);
        continue;
      }
    }
    if (!connected) continue;

    unique_file next = CreateInstance();
    if (!next) {
      Log("worker: could not create the next pipe instance (%lu)", GetLastError());
      Sleep(50);  // a breath before the retry, instead of spinning
      continue;
    }
    unique_file client = std::move(listening);
    listening = std::move(next);
    ServeClient(state, client);
  }

  connect_event.reset();
  listening.reset();
  Exit(server_mutex, 0);
}

}  // namespace Quellmar::worker
